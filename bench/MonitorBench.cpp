// halvik-bench-monitor: what listening to a line costs. First the decoder's
// CPU against the line it listens to: a stream of the tool's own traffic
// (status polls, block reads and writes, commands, SDO exchanges) framed,
// paired and decoded by the line monitor, its CPU time divided by the time
// the same bytes take on a 115200 Bd wire (the share of one core a fully
// loaded line costs). Then halvik-cli monitor end to end: exchanges written
// into a pseudo-terminal it listens on, and the delay from a reply's last
// byte to its printed line.
//
// Usage: halvik-bench-monitor [--rounds N]
// The last lines are "monitor_cpu_percent_115200=..." and
// "monitor_delay_ms median=... max=...".

#include "driver/LineMonitor.h"
#include "modbus/Crc16.h"
#include "modbus/RtuFrame.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes WithCrc(Bytes f) {
    const uint16_t crc = Crc16Value(f.data(), f.size());
    f.push_back(static_cast<uint8_t>(crc & 0xFF));
    f.push_back(static_cast<uint8_t>(crc >> 8));
    return f;
}

Bytes Request(uint8_t fn, uint16_t a, uint16_t b) {
    return WithCrc({1, fn, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a),
                    static_cast<uint8_t>(b >> 8), static_cast<uint8_t>(b)});
}

Bytes ReadReply(uint16_t count, uint16_t seed) {
    Bytes f = {1, 0x03, static_cast<uint8_t>(2 * count)};
    for (uint16_t i = 0; i < count; ++i) {
        f.push_back(static_cast<uint8_t>((seed + i) >> 8));
        f.push_back(static_cast<uint8_t>(seed + i));
    }
    return WithCrc(f);
}

Bytes WriteMultiple(uint16_t start, uint16_t count) {
    Bytes f = {1,
               0x10,
               static_cast<uint8_t>(start >> 8),
               static_cast<uint8_t>(start),
               0,
               static_cast<uint8_t>(count),
               static_cast<uint8_t>(2 * count)};
    for (uint16_t i = 0; i < count; ++i) {
        f.push_back(0);
        f.push_back(static_cast<uint8_t>(i));
    }
    return WithCrc(f);
}

// One round of the desktop tool's traffic: mostly status polls, some block
// reads and writes, a command, an SDO exchange.
Bytes Traffic() {
    Bytes s;
    auto add = [&s](const Bytes& f) { s.insert(s.end(), f.begin(), f.end()); };
    for (int i = 0; i < 8; ++i) {
        add(Request(0x03, 0x0020, 28));
        add(ReadReply(28, static_cast<uint16_t>(i)));
    }
    add(Request(0x03, 0x0060, 27));
    add(ReadReply(27, 100));
    add(WriteMultiple(0x0100, 14));
    add(Request(0x10, 0x0100, 14));
    add(Request(0x06, 0x0040, 1));
    add(Request(0x06, 0x0040, 1));
    add(WriteMultiple(0x0200, 6));
    add(Request(0x10, 0x0200, 6));
    add(Request(0x03, 0x0200, 6));
    add(ReadReply(6, 0x4300));
    return s;
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double DecoderCpuPercent(int rounds) {
    const Bytes stream = Traffic();
    CLineMonitor mon(50, 1000);
    size_t events = 0;
    double t = 0;
    const double cpu0 = CpuSeconds();
    for (int r = 0; r < rounds; ++r) {
        // In the chunks a USB adapter delivers.
        for (size_t at = 0; at < stream.size(); at += 62) {
            const size_t n = std::min<size_t>(62, stream.size() - at);
            mon.Feed(stream.data() + at, n, t += 1);
        }
        mon.Tick(t);
        for (const SLineEvent& e : mon.Take())
            events += TransactionText(e.tx).empty() ? 0 : 1;
    }
    const double cpu = CpuSeconds() - cpu0;
    const double wire = static_cast<double>(stream.size()) * rounds * 11 / 115200.0;
    std::printf("decoder: %d rounds, %zu bytes each, %zu transactions decoded; %.3f s CPU for "
                "%.1f s of a full 115200 Bd line\n",
                rounds, stream.size(), events, cpu, wire);
    return 100 * cpu / wire;
}

// halvik-cli monitor on a pseudo-terminal: the delay from writing a reply's
// last byte to reading its printed line.
bool MonitorDelay(int rounds, double& median, double& worst) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    int out[2];
    if (pipe(out) != 0)
        return false;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(master);
        execl(HALVIK_CLI_PATH, HALVIK_CLI_PATH, "monitor", "--port", name, "--baud", "115200",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    close(slave);
    usleep(300000); // the port opened
    const Bytes req = Request(0x03, 0x0020, 28), rep = ReadReply(28, 7);
    std::vector<double> delays;
    std::string pending;
    for (int r = 0; r < rounds; ++r) {
        if (write(master, req.data(), req.size()) < 0 ||
            write(master, rep.data(), rep.size() - 1) < 0)
            break;
        usleep(2000);
        const auto t0 = Clock::now();
        if (write(master, &rep.back(), 1) != 1)
            break;
        bool got = false;
        while (!got) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0)
                break;
            char buf[4096];
            const ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0)
                break;
            pending.append(buf, static_cast<size_t>(n));
            got = pending.find('\n') != std::string::npos;
        }
        if (!got)
            break;
        delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        pending.erase(0, pending.find('\n') + 1);
        usleep(3000);
    }
    kill(pid, SIGINT);
    waitpid(pid, nullptr, 0);
    close(master);
    close(out[0]);
    if (delays.empty())
        return false;
    std::sort(delays.begin(), delays.end());
    median = delays[delays.size() / 2];
    worst = delays.back();
    std::printf("monitor: %zu exchanges at 115200 Bd through halvik-cli monitor\n", delays.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 2000;
    if (argc == 3 && std::string(argv[1]) == "--rounds")
        rounds = std::max(1, std::atoi(argv[2]));
    else if (argc != 1) {
        std::fprintf(stderr, "usage: halvik-bench-monitor [--rounds N]\n");
        return 2;
    }
    const double percent = DecoderCpuPercent(rounds);
    double median = -1, worst = -1;
    if (!MonitorDelay(std::min(rounds, 200), median, worst))
        std::fprintf(stderr, "halvik-cli monitor could not be measured\n");
    std::printf("monitor_cpu_percent_115200=%.3f\n", percent);
    std::printf("monitor_delay_ms median=%.2f max=%.2f\n", median, worst);
    return 0;
}
