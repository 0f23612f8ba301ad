// halvik-bench: how long one 28-register status read takes through our Modbus
// master compared with libmodbus against the same virtual driver on a
// pseudo-terminal, and what an open but idle port costs in CPU.
//
// Usage: halvik-bench [--rounds N] [--block N] [--idle-seconds S]
// The last line is "rtt_ratio=<ours/libmodbus>".

#include "modbus/ModbusRtu.h"
#include "sim/SimServer.h"
#include "sim/VirtualDriver.h"

#include <modbus.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kSlave = 1;
constexpr uint16_t kStatusStart = 0x0020;
constexpr uint16_t kStatusCount = 28;
const char* const kSettings = "9600,n,8,1";

struct Options {
    int rounds = 1000; // fewer give medians that wander with the scheduler
    int block = 25;
    double idleSeconds = 10;
};

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](double& v) {
            if (i + 1 >= argc)
                return false;
            char* end = nullptr;
            v = std::strtod(argv[++i], &end);
            return end && *end == '\0' && v >= 0;
        };
        double v = 0;
        if (a == "--rounds" && next(v) && v >= 1)
            o.rounds = static_cast<int>(v);
        else if (a == "--block" && next(v) && v >= 1)
            o.block = static_cast<int>(v);
        else if (a == "--idle-seconds" && next(v))
            o.idleSeconds = v;
        else {
            std::fprintf(stderr,
                         "usage: halvik-bench [--rounds N] [--block N] [--idle-seconds S]\n");
            return false;
        }
    }
    return true;
}

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// One block of reads through our master; the port is opened for the block
// only, since two masters on one line would steal each other's replies.
bool OursBlock(const std::string& dev, int n, std::vector<double>& rtt, int& failures) {
    CModbusRtu master;
    if (!master.OpenPortPath(dev, kSettings)) {
        std::fprintf(stderr, "cannot open %s: %s\n", dev.c_str(),
                     PortErrorText(master.LastOpenError()).c_str());
        return false;
    }
    uint8_t buf[2 * kStatusCount];
    for (int i = -1; i < n; ++i) { // round -1 warms up and is not counted
        uint16_t cap = sizeof buf;
        auto t0 = Clock::now();
        ResultCode rc = master.ReadRegisters(kSlave, kStatusStart, kStatusCount, buf, &cap);
        auto t1 = Clock::now();
        if (rc != kResultOk || cap != sizeof buf)
            ++failures;
        else if (i >= 0)
            rtt.push_back(Micros(t1 - t0));
    }
    master.ClosePort();
    return true;
}

bool LibmodbusBlock(const std::string& dev, int n, std::vector<double>& rtt, int& failures) {
    modbus_t* ctx = modbus_new_rtu(dev.c_str(), 9600, 'N', 8, 1);
    if (!ctx) {
        std::fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
        return false;
    }
    modbus_set_slave(ctx, kSlave);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "libmodbus cannot open %s: %s\n", dev.c_str(), modbus_strerror(errno));
        modbus_free(ctx);
        return false;
    }
    uint16_t regs[kStatusCount];
    for (int i = -1; i < n; ++i) {
        auto t0 = Clock::now();
        int got = modbus_read_registers(ctx, kStatusStart, kStatusCount, regs);
        auto t1 = Clock::now();
        if (got != kStatusCount)
            ++failures;
        else if (i >= 0)
            rtt.push_back(Micros(t1 - t0));
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return true;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double RusageCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    auto sec = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
    };
    return sec(ru.ru_utime) + sec(ru.ru_stime);
}

// CPU of an open port with nothing to do: a pseudo-terminal of our own with no
// peer talking, so only the master's receive thread can spend anything.
bool MeasureIdle(double seconds, double& cpuPercent, double& rusagePercent) {
    int hMaster = -1, hSlave = -1;
    char name[128] = {};
    if (openpty(&hMaster, &hSlave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return false;
    }
    CModbusRtu master;
    bool ok = master.OpenPortPath(name, kSettings);
    if (ok) {
        double c0 = ProcessCpuSeconds(), r0 = RusageCpuSeconds();
        auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        double c1 = ProcessCpuSeconds(), r1 = RusageCpuSeconds();
        cpuPercent = wall > 0 ? 100.0 * (c1 - c0) / wall : 0;
        rusagePercent = wall > 0 ? 100.0 * (r1 - r0) / wall : 0;
        master.ClosePort();
    } else {
        std::fprintf(stderr, "cannot open %s\n", name);
    }
    close(hSlave);
    close(hMaster);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!ParseArgs(argc, argv, opt))
        return 2;

    double oursMedian = 0, theirsMedian = 0;
    {
        CVirtualDriver driver(kSlave);
        CSimServer server(driver);
        if (!server.Start(-1)) {
            std::fprintf(stderr, "the virtual driver did not start\n");
            return 1;
        }
        const std::string dev = server.DevicePath();
        std::vector<double> ours, theirs;
        int oursFailed = 0, theirsFailed = 0;
        // Interleaved blocks, each side first in turn, so drift in machine
        // load falls on both alike.
        for (int done = 0, b = 0; done < opt.rounds; done += opt.block, ++b) {
            int n = std::min(opt.block, opt.rounds - done);
            bool ok = b % 2 == 0 ? OursBlock(dev, n, ours, oursFailed) &&
                                       LibmodbusBlock(dev, n, theirs, theirsFailed)
                                 : LibmodbusBlock(dev, n, theirs, theirsFailed) &&
                                       OursBlock(dev, n, ours, oursFailed);
            if (!ok)
                return 1;
        }
        server.Stop();
        if (ours.empty() || theirs.empty()) {
            std::fprintf(stderr, "no successful reads (ours failed %d, libmodbus failed %d)\n",
                         oursFailed, theirsFailed);
            return 1;
        }
        oursMedian = Median(ours);
        theirsMedian = Median(theirs);
        std::printf("device=%s rounds=%d block=%d\n", dev.c_str(), opt.rounds, opt.block);
        std::printf("ours_median_us=%.1f (%zu reads, %d failed)\n", oursMedian, ours.size(),
                    oursFailed);
        std::printf("libmodbus_median_us=%.1f (%zu reads, %d failed)\n", theirsMedian,
                    theirs.size(), theirsFailed);
    }
    double ratio = theirsMedian > 0 ? oursMedian / theirsMedian : 0;
    std::printf("ratio=%.3f\n", ratio);
    std::fflush(stdout);

    double cpu = 0, ru = 0;
    if (!MeasureIdle(opt.idleSeconds, cpu, ru))
        return 1;
    std::printf("idle_seconds=%.1f idle_cpu_percent=%.3f (getrusage %.3f) of one core\n",
                opt.idleSeconds, cpu, ru);
    std::printf("rtt_ratio=%.3f\n", ratio);
    return 0;
}
