#pragma once
// What the measurements of halvik-bench share: the read they time (the
// 28-register status block), the line it travels on, and the virtual driver
// in a process of its own.
//
// RoundTrip.cpp  the virtual driver's process and the three clients' reads
// Counts.cpp     instructions and system calls per read, from child runs
// main.cpp       options, idle CPU, the GUI stall and the printed report

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kSlave = 1;
constexpr uint16_t kStatusStart = 0x0020;
constexpr uint16_t kStatusCount = 28;
constexpr int kBitsPerChar = 11; // 8 data bits, no parity, 2 stop bits: the tool's default
constexpr int kTurnaroundUs = 1000;
constexpr int kRequestBytes = 8, kReplyBytes = 5 + 2 * kStatusCount;

struct Options {
    int rounds = 200; // per client and baud rate
    int block = 20;
    int countRounds = 60;
    double guiSeconds = 10;
    double idleSeconds = 10;
    // A child run under callgrind or strace: one client, one device.
    std::string client, device;
    int baud = 9600;
};

inline std::string Settings(int baud) {
    return std::to_string(baud) + ",n,8,2";
}

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// --- The virtual driver in a child process ----------------------------------

// Commands over a pipe: "B <baud>" sets the driver's line, "S 1"/"S 0" makes
// it silent or not, "Q" ends it. Each is answered with one line.
struct SSimChild {
    pid_t pid = -1;
    int toChild = -1, fromChild = -1;
    std::string device;

    bool Command(const std::string& cmd);
};

// Forks before any thread of ours exists.
bool StartSimChild(SSimChild& sim);
void StopSimChild(SSimChild& sim);

// One block of n reads by each client, the round trips appended to rtt
// (when given) and the failed reads counted; false when the port cannot be
// opened.
bool OursBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt, int& failures);
bool LibmodbusBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt,
                    int& failures);
// What Qt Serial Bus's client used: it picks its own delays.
struct SQtSettings {
    int interFrameUs = -1, turnaroundMs = -1, timeoutMs = -1, retries = -1;
};
bool QtBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt, int& failures,
             SQtSettings& used);

// Totals of a whole child run of one client; -1 where the tool is missing
// or fails.
double CallgrindTotal(const std::string& client, const std::string& dev, int rounds);
double StraceTotal(const std::string& client, const std::string& dev, int rounds);
double PerfSyscallTotal(const std::string& client, const std::string& dev, int rounds);
// Per read: the difference of a long and a short run, so that starting,
// opening and closing drop out.
double PerRead(double (*total)(const std::string&, const std::string&, int),
               const std::string& client, const std::string& dev, int rounds);
// The child run itself: one client's reads, status 0 when all succeeded.
int ChildMain(const Options& o);

} // namespace bench
