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
// "instr_ratio=<ours/libmodbus>" and
// "gui_stall_ms answering=... silent=... page_read_silent=...".

#include "bench/Bench.h"

#include "modbus/ModbusRtu.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#ifdef HALVIK_BENCH_GUI
#include "guikit/CtrlUtil.h"
#include "guikit/MessageBox.h"
#include "app/MainDlg.h"
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

const int kBauds[] = {9600, 38400, 115200};
const char* const kClientNames[] = {"ours", "libmodbus", "qt"};

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

// Time the request and the reply spend on the wire, plus the turnaround.
double WireMs(int baud) {
    return (kRequestBytes + kReplyBytes) * kBitsPerChar * 1000.0 / baud + kTurnaroundUs / 1000.0;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
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
double LongestStallMs(CMainDlg& dlg, double seconds, const std::function<void()>& start = {}) {
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
    if (start)
        start();
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

    std::string stall = "answering=n/a silent=n/a page_read_silent=n/a";
#ifdef HALVIK_BENCH_GUI
    {
        // Boxes are answered at once, as a person would close them: the
        // time-out box of the silent page read would wait for ever here.
        std::vector<std::string> boxes;
        const MessageHandler before = SetMessageHandler([&boxes](const SMessageRequest& r) {
            boxes.push_back(r.text);
            return 0;
        });
        CMainDlg dlg;
        if (dlg.m_driver.OpenPortPath(dev, Settings(9600))) {
            FindCtrl<QCheckBox>(&dlg, 1015)->setChecked(true);
            const double answering = LongestStallMs(dlg, opt.guiSeconds);
            sim.Command("S 1");
            const double silent = LongestStallMs(dlg, opt.guiSeconds);
            // "读取" on the communication page, which reads three blocks.
            FindCtrl<QCheckBox>(&dlg, 1015)->setChecked(false);
            const double pageRead = LongestStallMs(dlg, std::max(opt.guiSeconds, 1.5), [&dlg] {
                FindCtrl<QPushButton>(dlg.Pages().at(3), 1158)->click();
            });
            sim.Command("S 0");
            char buf[128];
            std::snprintf(buf, sizeof buf, "answering=%.1f silent=%.1f page_read_silent=%.1f",
                          answering, silent, pageRead);
            stall = buf;
            dlg.m_driver.ClosePort();
        }
        SetMessageHandler(before);
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
