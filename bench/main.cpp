// halvik-bench: what a 28-register status read costs through our Modbus
// master, libmodbus and Qt Serial Bus's QModbusRtuSerialClient against the
// virtual driver in a process of its own, paced like a real line (bytes at
// 11 bits per baud, 1 ms turnaround), at 9600, 38400 and 115200 baud; the
// instructions and system calls per read of ours and libmodbus's (callgrind,
// strace); how long the main window's GUI thread stalls while it polls; and
// the CPU an open idle port uses.
//
// Usage: halvik-bench [--rounds N] [--block N] [--count-rounds N]
//                     [--gui-seconds S] [--idle-seconds S]
// The last lines are "overhead_ms_9600 ours=... libmodbus=... qt=...",
// "instr_ratio=<ours/libmodbus>" and "gui_stall_ms answering=... silent=...".

#include "modbus/ModbusRtu.h"
#include "sim/SimServer.h"
#include "sim/VirtualDriver.h"

#include <modbus.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QModbusDataUnit>
#include <QModbusReply>
#include <QModbusRtuSerialClient>
#include <QSerialPort>
#include <QTimer>
#include <QVariant>

#ifdef HALVIK_BENCH_GUI
#include "app/CtrlUtil.h"
#include "app/MainDlg.h"
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kSlave = 1;
constexpr uint16_t kStatusStart = 0x0020;
constexpr uint16_t kStatusCount = 28;
constexpr int kBitsPerChar = 11; // 8 data bits, no parity, 2 stop bits: the tool's default
constexpr int kTurnaroundUs = 1000;
constexpr int kRequestBytes = 8, kReplyBytes = 5 + 2 * kStatusCount;
const int kBauds[] = {9600, 38400, 115200};

enum class EClient { Ours, Libmodbus, Qt };
const char* const kClientNames[] = {"ours", "libmodbus", "qt"};

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

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc)
            return false;
        std::string v = argv[++i];
        char* end = nullptr;
        double d = std::strtod(v.c_str(), &end);
        bool num = end && *end == '\0' && d >= 0;
        if (a == "--rounds" && num && d >= 1)
            o.rounds = static_cast<int>(d);
        else if (a == "--block" && num && d >= 1)
            o.block = static_cast<int>(d);
        else if (a == "--count-rounds" && num && d >= 2)
            o.countRounds = static_cast<int>(d);
        else if (a == "--gui-seconds" && num)
            o.guiSeconds = d;
        else if (a == "--idle-seconds" && num)
            o.idleSeconds = d;
        else if (a == "--client" && (v == "ours" || v == "libmodbus"))
            o.client = v;
        else if (a == "--device")
            o.device = v;
        else if (a == "--baud" && num && d >= 1200)
            o.baud = static_cast<int>(d);
        else
            return false;
    }
    return true;
}

std::string Settings(int baud) {
    return std::to_string(baud) + ",n,8,2";
}

// Time the request and the reply spend on the wire, plus the turnaround.
double WireMs(int baud) {
    return (kRequestBytes + kReplyBytes) * kBitsPerChar * 1000.0 / baud + kTurnaroundUs / 1000.0;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

// --- The virtual driver in a child process ----------------------------------

// Commands over a pipe: "B <baud>" sets the driver's line, "S 1"/"S 0" makes
// it silent or not, "Q" ends it. Each is answered with one line.
struct SSimChild {
    pid_t pid = -1;
    int toChild = -1, fromChild = -1;
    std::string device;

    bool Command(const std::string& cmd) {
        std::string line = cmd + "\n";
        if (write(toChild, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            return false;
        char c = 0;
        std::string answer;
        while (read(fromChild, &c, 1) == 1 && c != '\n')
            answer += c;
        return answer == "ok";
    }
};

[[noreturn]] void SimChildMain(int in, int out) {
    CVirtualDriver driver(kSlave);
    CSimServer server(driver);
    server.SetPacing(true);
    server.SetTurnaround(std::chrono::microseconds(kTurnaroundUs));
    if (!server.Start(-1))
        _exit(1);
    std::string hello = server.DevicePath() + "\n";
    [[maybe_unused]] ssize_t w = write(out, hello.data(), hello.size());
    FILE* cmds = fdopen(in, "r");
    char buf[64];
    while (cmds && std::fgets(buf, sizeof buf, cmds)) {
        long v = 0;
        if (buf[0] == 'Q')
            break;
        if (buf[0] == 'B' && std::sscanf(buf + 1, "%ld", &v) == 1)
            driver.SetRegisters(
                0x0090, {static_cast<uint16_t>(v >> 16), static_cast<uint16_t>(v & 0xFFFF), 0});
        else if (buf[0] == 'S' && std::sscanf(buf + 1, "%ld", &v) == 1)
            v ? server.InjectFault(EFault::Silent, 0, -1) : server.ClearFaults();
        w = write(out, "ok\n", 3);
    }
    server.Stop();
    _exit(0);
}

// Forks before any thread of ours exists.
bool StartSimChild(SSimChild& sim) {
    int down[2], up[2];
    if (pipe(down) != 0 || pipe(up) != 0)
        return false;
    sim.pid = fork();
    if (sim.pid < 0)
        return false;
    if (sim.pid == 0) {
        close(down[1]);
        close(up[0]);
        SimChildMain(down[0], up[1]);
    }
    close(down[0]);
    close(up[1]);
    sim.toChild = down[1];
    sim.fromChild = up[0];
    char c = 0;
    while (read(sim.fromChild, &c, 1) == 1 && c != '\n')
        sim.device += c;
    return !sim.device.empty();
}

void StopSimChild(SSimChild& sim) {
    if (sim.pid <= 0)
        return;
    sim.Command("Q");
    close(sim.toChild);
    close(sim.fromChild);
    waitpid(sim.pid, nullptr, 0);
    sim.pid = -1;
}

// --- The three clients -------------------------------------------------------

// One block of reads; the port is opened for the block only, since two
// masters on one line would steal each other's replies.
bool OursBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt, int& failures) {
    CModbusRtu master;
    if (!master.OpenPortPath(dev, Settings(baud))) {
        std::fprintf(stderr, "cannot open %s: %s\n", dev.c_str(),
                     PortErrorText(master.LastOpenError()).c_str());
        return false;
    }
    master.SetTimeout(1000);
    uint8_t buf[2 * kStatusCount];
    for (int i = -1; i < n; ++i) { // round -1 warms up and is not counted
        uint16_t cap = sizeof buf;
        auto t0 = Clock::now();
        ResultCode rc = master.ReadRegisters(kSlave, kStatusStart, kStatusCount, buf, &cap);
        auto t1 = Clock::now();
        if (rc != kResultOk || cap != sizeof buf)
            ++failures;
        else if (i >= 0 && rtt)
            rtt->push_back(Ms(t1 - t0));
    }
    master.ClosePort();
    return true;
}

bool LibmodbusBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt,
                    int& failures) {
    modbus_t* ctx = modbus_new_rtu(dev.c_str(), baud, 'N', 8, 2);
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
        else if (i >= 0 && rtt)
            rtt->push_back(Ms(t1 - t0));
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return true;
}

struct SQtSettings {
    int interFrameUs = -1, turnaroundMs = -1, timeoutMs = -1, retries = -1;
};

bool QtBlock(const std::string& dev, int baud, int n, std::vector<double>* rtt, int& failures,
             SQtSettings& used) {
    QModbusRtuSerialClient client;
    client.setConnectionParameter(QModbusDevice::SerialPortNameParameter,
                                  QString::fromStdString(dev));
    client.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, baud);
    client.setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    client.setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
    client.setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::TwoStop);
    client.setTimeout(1000);
    client.setNumberOfRetries(0);
    if (!client.connectDevice() || client.state() != QModbusDevice::ConnectedState) {
        std::fprintf(stderr, "Qt cannot open %s: %s\n", dev.c_str(),
                     client.errorString().toStdString().c_str());
        return false;
    }
    used = {client.interFrameDelay(), client.turnaroundDelay(), client.timeout(),
            client.numberOfRetries()};
    for (int i = -1; i < n; ++i) {
        QEventLoop loop;
        Clock::time_point t1{};
        auto t0 = Clock::now();
        QModbusReply* reply = client.sendReadRequest(
            QModbusDataUnit(QModbusDataUnit::HoldingRegisters, kStatusStart, kStatusCount), kSlave);
        if (!reply) {
            ++failures;
            continue;
        }
        if (!reply->isFinished()) {
            QObject::connect(reply, &QModbusReply::finished, &loop, [&] {
                t1 = Clock::now();
                loop.quit();
            });
            loop.exec();
        } else {
            t1 = Clock::now();
        }
        if (reply->error() != QModbusDevice::NoError ||
            reply->result().valueCount() != kStatusCount)
            ++failures;
        else if (i >= 0 && rtt)
            rtt->push_back(Ms(t1 - t0));
        reply->deleteLater();
    }
    client.disconnectDevice();
    QCoreApplication::processEvents(); // let the port close before the next client opens it
    return true;
}

// --- Instructions and system calls per read (a child of ours runs the reads) -

std::string SelfPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

bool RunChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ReadText(const std::string& path) {
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Instructions of a whole run from callgrind's output; -1 on failure.
double CallgrindTotal(const std::string& client, const std::string& dev, int rounds) {
    const std::string out = "/tmp/halvik-bench-cg." + std::to_string(getpid());
    bool ok = RunChild({"valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, SelfPath(),
                        "--client", client, "--device", dev, "--baud", "9600", "--rounds",
                        std::to_string(rounds)});
    std::string text = ReadText(out);
    unlink(out.c_str());
    size_t at = text.find("\nsummary:");
    if (at == std::string::npos)
        at = text.find("\ntotals:");
    if (!ok || at == std::string::npos)
        return -1;
    return std::strtod(text.c_str() + text.find(':', at) + 1, nullptr);
}

// System calls of a whole run, all threads, from strace's summary; -1 on failure.
double StraceTotal(const std::string& client, const std::string& dev, int rounds) {
    const std::string out = "/tmp/halvik-bench-st." + std::to_string(getpid());
    bool ok = RunChild({"strace", "-f", "-c", "-o", out, SelfPath(), "--client", client, "--device",
                        dev, "--baud", "9600", "--rounds", std::to_string(rounds)});
    std::istringstream lines(ReadText(out));
    unlink(out.c_str());
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream t(line);
        std::vector<std::string> tok;
        for (std::string s; t >> s;)
            tok.push_back(s);
        if (ok && tok.size() >= 5 && tok.back() == "total")
            return std::strtod(tok[3].c_str(), nullptr);
    }
    return -1;
}

// The same counted by the kernel's tracepoint (perf stat), which does not
// slow the client down as strace does; -1 where perf cannot count it.
double PerfSyscallTotal(const std::string& client, const std::string& dev, int rounds) {
    const std::string out = "/tmp/halvik-bench-pf." + std::to_string(getpid());
    bool ok = RunChild({"perf", "stat", "-x", ",", "-e", "raw_syscalls:sys_enter", "-o", out, "--",
                        SelfPath(), "--client", client, "--device", dev, "--baud", "9600",
                        "--rounds", std::to_string(rounds)});
    std::istringstream lines(ReadText(out));
    unlink(out.c_str());
    std::string line;
    while (std::getline(lines, line))
        if (ok && line.find("raw_syscalls:sys_enter") != std::string::npos && !line.empty() &&
            std::isdigit(static_cast<unsigned char>(line[0])))
            return std::strtod(line.c_str(), nullptr);
    return -1;
}

// Per read: the difference of a long and a short run, so that starting,
// opening and closing drop out.
double PerRead(double (*total)(const std::string&, const std::string&, int),
               const std::string& client, const std::string& dev, int rounds) {
    const int shortRun = std::max(1, rounds / 6);
    double a = total(client, dev, shortRun), b = total(client, dev, rounds);
    return a < 0 || b < 0 ? -1 : (b - a) / (rounds - shortRun);
}

int ChildMain(const Options& o) {
    int failures = 0;
    bool ok = o.client == "ours" ? OursBlock(o.device, o.baud, o.rounds, nullptr, failures)
                                 : LibmodbusBlock(o.device, o.baud, o.rounds, nullptr, failures);
    return ok && failures == 0 ? 0 : 1;
}

// --- Idle CPU -------------------------------------------------------------------

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
bool MeasureIdle(double seconds, double& cpuPercent) {
    int hMaster = -1, hSlave = -1;
    char name[128] = {};
    if (openpty(&hMaster, &hSlave, name, nullptr, nullptr) != 0)
        return false;
    CModbusRtu master;
    bool ok = master.OpenPortPath(name, Settings(9600));
    if (ok) {
        double r0 = RusageCpuSeconds();
        auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        cpuPercent = wall > 0 ? 100.0 * (RusageCpuSeconds() - r0) / wall : 0;
        master.ClosePort();
    }
    close(hSlave);
    close(hMaster);
    return ok;
}

// --- The main window's GUI thread ---------------------------------------------

#ifdef HALVIK_BENCH_GUI
// Longest gap, beyond its 1 ms period, between two ticks of a precise timer on
// the GUI thread while the main window polls for the given time.
double LongestStallMs(CMainDlg& dlg, double seconds) {
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    clock.start();
    tick.start(1);
    loop.exec();
    (void)dlg;
    return std::max(0.0, static_cast<double>(worst) / 1e6 - 1.0);
}
#endif

} // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!ParseArgs(argc, argv, opt)) {
        std::fprintf(stderr, "usage: halvik-bench [--rounds N] [--block N] [--count-rounds N] "
                             "[--gui-seconds S] [--idle-seconds S]\n");
        return 2;
    }
    if (!opt.client.empty())
        return ChildMain(opt);
    std::signal(SIGPIPE, SIG_IGN);

    SSimChild sim;
    if (!StartSimChild(sim)) {
        std::fprintf(stderr, "the virtual driver did not start\n");
        return 1;
    }
    const std::string dev = sim.device;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
#ifdef HALVIK_BENCH_GUI
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif

    // Round trips, interleaved in blocks, each client first in turn.
    std::map<int, std::vector<double>> rtt[3];
    std::map<int, int> failed[3];
    SQtSettings qtUsed;
    for (int baud : kBauds) {
        if (!sim.Command("B " + std::to_string(baud))) {
            std::fprintf(stderr, "the virtual driver does not answer its commands\n");
            return 1;
        }
        for (int done = 0, b = 0; done < opt.rounds; done += opt.block, ++b) {
            const int n = std::min(opt.block, opt.rounds - done);
            for (int k = 0; k < 3; ++k) {
                const int c = (b + k) % 3;
                std::vector<double>* v = &rtt[c][baud];
                int& f = failed[c][baud];
                bool ok = c == 0   ? OursBlock(dev, baud, n, v, f)
                          : c == 1 ? LibmodbusBlock(dev, baud, n, v, f)
                                   : QtBlock(dev, baud, n, v, f, qtUsed);
                if (!ok)
                    return 1;
            }
        }
    }

    std::printf("virtual driver %s in its own process: paced at %d bits per byte, %d us "
                "turnaround; %d reads of 28 registers per client and baud rate, blocks of %d\n",
                dev.c_str(), kBitsPerChar, kTurnaroundUs, opt.rounds, opt.block);
    std::printf("Qt Serial Bus %s QModbusRtuSerialClient: inter-frame delay %d us (its default "
                "for the rate of the last run), turnaround delay %d ms (broadcasts only), "
                "time-out %d ms, %d retries\n",
                qVersion(), qtUsed.interFrameUs, qtUsed.turnaroundMs, qtUsed.timeoutMs,
                qtUsed.retries);
    std::printf("%-7s %-10s %9s %9s %9s %9s %12s %12s %7s\n", "baud", "client", "wire_ms", "median",
                "p90", "p99", "over_median", "over_p99", "failed");
    double over9600[3] = {};
    for (int baud : kBauds) {
        const double wire = WireMs(baud);
        for (int c = 0; c < 3; ++c) {
            const auto& v = rtt[c][baud];
            const double med = Percentile(v, 0.5), p90 = Percentile(v, 0.9),
                         p99 = Percentile(v, 0.99);
            if (baud == 9600)
                over9600[c] = med - wire;
            std::printf("%-7d %-10s %9.3f %9.3f %9.3f %9.3f %12.3f %12.3f %7d\n", baud,
                        kClientNames[c], wire, med, p90, p99, med - wire, p99 - wire,
                        failed[c][baud]);
        }
    }
    std::fflush(stdout);

    // Instructions and system calls per read, at 9600 baud.
    sim.Command("B 9600");
    const double irOurs = PerRead(CallgrindTotal, "ours", dev, opt.countRounds);
    const double irTheirs = PerRead(CallgrindTotal, "libmodbus", dev, opt.countRounds);
    const double scOurs = PerRead(StraceTotal, "ours", dev, opt.countRounds);
    const double scTheirs = PerRead(StraceTotal, "libmodbus", dev, opt.countRounds);
    const double pfOurs = PerRead(PerfSyscallTotal, "ours", dev, opt.countRounds);
    const double pfTheirs = PerRead(PerfSyscallTotal, "libmodbus", dev, opt.countRounds);
    std::printf("per read at 9600 baud (-1: tool missing or failed):\n"
                "  instructions (valgrind --tool=callgrind)   ours %8.0f  libmodbus %8.0f\n"
                "  system calls (strace -f -c)                ours %8.1f  libmodbus %8.1f\n"
                "  system calls (perf raw_syscalls, no slow-down) ours %6.1f  libmodbus %8.1f\n",
                irOurs, irTheirs, scOurs, scTheirs, pfOurs, pfTheirs);
    std::fflush(stdout);

    double idle = 0;
    if (opt.idleSeconds > 0 && MeasureIdle(opt.idleSeconds, idle))
        std::printf("idle open port: %.3f %% of one core over %.0f s\n", idle, opt.idleSeconds);

    std::string stall = "answering=n/a silent=n/a";
#ifdef HALVIK_BENCH_GUI
    {
        CMainDlg dlg;
        if (dlg.m_driver.OpenPortPath(dev, Settings(9600))) {
            FindCtrl<QCheckBox>(&dlg, 1015)->setChecked(true);
            const double answering = LongestStallMs(dlg, opt.guiSeconds);
            sim.Command("S 1");
            const double silent = LongestStallMs(dlg, opt.guiSeconds);
            sim.Command("S 0");
            char buf[96];
            std::snprintf(buf, sizeof buf, "answering=%.1f silent=%.1f", answering, silent);
            stall = buf;
            dlg.m_driver.ClosePort();
        }
    }
#endif
    StopSimChild(sim);

    std::printf("overhead_ms_9600 ours=%.3f libmodbus=%.3f qt=%.3f\n", over9600[0], over9600[1],
                over9600[2]);
    if (irOurs > 0 && irTheirs > 0)
        std::printf("instr_ratio=%.3f\n", irOurs / irTheirs);
    else
        std::printf("instr_ratio=n/a\n");
    std::printf("gui_stall_ms %s\n", stall.c_str());
    return 0;
}
