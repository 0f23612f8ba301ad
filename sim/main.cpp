// halvik-sim: a virtual Halvik driver on a pseudo-terminal, linked as COMn in
// the port folder so that the desktop tool and the command line can open it.
// Prints one line, "COMn /dev/pts/X" ("- /dev/pts/X" without a link), and
// with a tap a second, "tap /dev/pts/Y" (" COMm" after it when linked), then
// serves until SIGINT, SIGTERM or SIGHUP and removes its links.

#include "driver/SlaveList.h"
#include "serial/PortMap.h"
#include "sim/SimServer.h"
#include "sim/VirtualDriver.h"
#include "version/Version.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <string>
#include <utility>
#include <vector>

namespace {

void Usage(FILE* to) {
    std::fprintf(
        to, "usage: halvik-sim [--com N] [--slave A | --slaves LIST] [--fault [A:]KIND]...\n"
            "                  [--sdo-fault [A/]F]...\n"
            "                  [--learn-ms MS] [--learn OUTCOME] [--turnaround [A:]MS]...\n"
            "                  [--no-pacing] [--line BAUD,FRAMING] [--motor J,KT,B,LOAD]\n"
            "                  [--tap] [--tap-com N]\n"
            "  --com N        link as COMN (0: lowest free number, the default; -1: no link)\n"
            "  --slave A      slave address, 1..255 (default 1)\n"
            "  --slaves LIST  several virtual drivers on the one line, each at its own address\n"
            "                 (1,2,5): its own registers, motor, learning and faults\n"
            "  --fault KIND   misbehave on every reply: silent, badcrc, foreign, wrongfunc,\n"
            "                 exception=N, split[=MS], trailing[=N], delay[=MS], endlessid;\n"
            "                 A:KIND only slave A's replies (2:silent); repeatable\n"
            "  --sdo-fault F  SDO exchanges for one object fail, F = INDEX[:SUB][=KIND][@SKIP]:\n"
            "                 abort[:CODE] (default, 0x08000000), exception[:N] (default 4)\n"
            "                 or silent; @SKIP lets that many through first; repeatable\n"
            "                 (0x1801:1=abort:0x06090011); A/F only slave A's (2/0x1801:1)\n"
            "  --learn-ms MS  duration of a motor-learning run (default 3000)\n"
            "  --learn OUTCOME  how learning ends: ok (default), fail, abort (the request\n"
            "                 drops without a result), refuse (the start answers 64),\n"
            "                 busy (the start answers 6, the run goes on and succeeds)\n"
            "  --turnaround MS  time from a request's end to the reply (default 1; 0.1 steps);\n"
            "                 A:MS slave A's only (2:20), so a slow driver can be tried\n"
            "  --no-pacing    reply at once instead of at the line's baud rate\n"
            "  --line BAUD,FRAMING  the communication block's line: baud rate and n2, o1,\n"
            "                 e1 or n1 (default 9600,n1)\n"
            "  --motor J,KT,B,LOAD  the motor: inertia (kg m2), torque constant (N m/A),\n"
            "                 viscous friction (N m s/rad), load torque (N m)\n"
            "                 (default 4e-4,0.1,1e-4,0.01)\n"
            "  --tap          a second pseudo-terminal that carries every byte of the line,\n"
            "                 both ways, as a listener on the RS-485 pair hears it\n"
            "  --tap-com N    the tap, linked as COMN (0: lowest free number)\n"
            "  --version      print the version and exit\n"
            "Answers only at the baud rate and parity of its communication block\n"
            "(9600, no parity, unless changed).\n"
            "Prints \"COMn /dev/pts/X\" (\"- /dev/pts/X\" without a link), with a tap\n"
            "\"tap /dev/pts/Y\" (\"tap /dev/pts/Y COMm\" when linked), and serves until\n"
            "SIGINT or SIGTERM.\n");
}

bool ParseInt(const char* text, long lo, long hi, long& out);

// An optional "A<sep>" in front of a fault names the one slave it is for.
bool SplitSlave(std::string& text, char sep, long& slave) {
    slave = 0;
    const size_t at = text.find(sep);
    if (at == std::string::npos || at == 0 ||
        text.find_first_not_of("0123456789") < at) // "0x1801:1" is an object, not a slave
        return true;
    if (!ParseInt(text.substr(0, at).c_str(), kFirstSlaveAddress, kLastSlaveAddress, slave))
        return false;
    text.erase(0, at + 1);
    return true;
}

bool ParseInt(const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    errno = 0;
    // Decimal or 0x hex, as the address lists: "010" is ten, not octal eight.
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    long v = std::strtol(text, &end, hex ? 16 : 10);
    if (!*text || *end || errno || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool ParseLearnOutcome(const std::string& text, ELearnOutcome& out) {
    static const std::pair<const char*, ELearnOutcome> kNames[] = {
        {"ok", ELearnOutcome::Success},     {"fail", ELearnOutcome::Failure},
        {"abort", ELearnOutcome::Abort},    {"refuse", ELearnOutcome::Refuse},
        {"busy", ELearnOutcome::BusyStart},
    };
    for (const auto& [name, outcome] : kNames)
        if (text == name) {
            out = outcome;
            return true;
        }
    return false;
}

// Milliseconds with at most one decimal ("1", "0.5"), 0 to 1000, as microseconds.
bool ParseMs(const char* text, long& us) {
    char* end = nullptr;
    errno = 0;
    long whole = std::strtol(text, &end, 10);
    if (end == text || errno || whole < 0 || *text == '-' || *text == '+')
        return false;
    long tenths = 0;
    if (*end == '.') {
        if (end[1] < '0' || end[1] > '9' || end[2] != '\0')
            return false;
        tenths = end[1] - '0';
        end += 2;
    }
    if (*end || whole > 1000 || (whole == 1000 && tenths))
        return false;
    us = whole * 1000 + tenths * 100;
    return true;
}

// "19200,e1": a baud rate and the framing as the tools name it (n2, o1, e1,
// n1: the communication block's parity choice 0..3).
bool ParseLine(const char* text, long& baud, int& choice) {
    const std::string t = text;
    const size_t comma = t.find(',');
    if (comma == std::string::npos || !ParseInt(t.substr(0, comma).c_str(), 300, 4000000, baud))
        return false;
    static const char* const kFraming[] = {"n2", "o1", "e1", "n1"};
    for (int i = 0; i < 4; ++i)
        if (t.substr(comma + 1) == kFraming[i]) {
            choice = i;
            return true;
        }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    long com = 0, slave = 1, learnMs = -1;
    long tapCom = -2; // -2: no tap, -1: a tap without a link
    ELearnOutcome learnOutcome = ELearnOutcome::Success;
    long turnaroundUs = 1000;
    long lineBaud = 0;
    int lineChoice = 0;
    bool paced = true;
    SMotorConstants motor;
    std::vector<uint8_t> slaves;
    struct SSlaveFault {
        long slave; // 0: every slave
        EFault kind;
        int param;
    };
    std::vector<SSlaveFault> faults;
    std::vector<std::pair<long, SSdoFault>> sdoFaults;
    std::vector<std::pair<long, long>> slaveTurnarounds; // slave, microseconds
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("%s\n", VersionLine("halvik-sim").c_str());
            return 0;
        }
        if (a == "--no-pacing") {
            paced = false;
            continue;
        }
        if (a == "--tap") {
            tapCom = std::max(tapCom, -1L);
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "halvik-sim: %s needs a value\n", a.c_str());
            Usage(stderr);
            return 2;
        }
        const char* v = argv[++i];
        bool ok = false;
        if (a == "--com")
            ok = ParseInt(v, -1, 1024, com);
        else if (a == "--slave")
            ok = ParseInt(v, 1, 255, slave);
        else if (a == "--slaves") {
            SSlaveListError why; // the usage error below says enough
            ok = ParseSlaveList(v, slaves, why);
        } else if (a == "--learn-ms")
            ok = ParseInt(v, 0, 3600000, learnMs);
        else if (a == "--learn")
            ok = ParseLearnOutcome(v, learnOutcome);
        else if (a == "--turnaround") {
            long at = 0, us = 0;
            std::string text = v;
            ok = SplitSlave(text, ':', at) && ParseMs(text.c_str(), us);
            if (ok && at == 0)
                turnaroundUs = us;
            else if (ok)
                slaveTurnarounds.push_back({at, us});
        } else if (a == "--fault") {
            SSlaveFault f{0, EFault::None, 0};
            std::string text = v;
            ok = SplitSlave(text, ':', f.slave) && ParseFault(text, f.kind, f.param);
            if (ok)
                faults.push_back(f);
        } else if (a == "--tap-com")
            ok = ParseInt(v, 0, 1024, tapCom);
        else if (a == "--line")
            ok = ParseLine(v, lineBaud, lineChoice);
        else if (a == "--motor")
            ok = ParseMotorConstants(v, motor);
        else if (a == "--sdo-fault") {
            SSdoFault f;
            long at = 0;
            std::string text = v;
            ok = SplitSlave(text, '/', at) && ParseSdoFault(text.c_str(), f);
            if (ok)
                sdoFaults.push_back({at, f});
        } else {
            std::fprintf(stderr, "halvik-sim: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "halvik-sim: bad value for %s: %s\n", a.c_str(), v);
            return 2;
        }
    }

    // Signals are taken by sigwait below, never by a handler in some thread.
    sigset_t sigs;
    sigemptyset(&sigs);
    sigaddset(&sigs, SIGINT);
    sigaddset(&sigs, SIGTERM);
    sigaddset(&sigs, SIGHUP); // its terminal went away: clean up as well
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a reader of our line that has gone is no reason to die

    if (slaves.empty())
        slaves.push_back(static_cast<uint8_t>(slave));
    auto served = [&slaves](long address) {
        return std::find(slaves.begin(), slaves.end(), address) != slaves.end();
    };
    for (const SSlaveFault& f : faults)
        if (f.slave && !served(f.slave)) {
            std::fprintf(stderr, "halvik-sim: --fault names slave %ld, which is not served\n",
                         f.slave);
            return 2;
        }
    for (const auto& [at, us] : slaveTurnarounds)
        if (!served(at)) {
            std::fprintf(stderr, "halvik-sim: --turnaround names slave %ld, which is not served\n",
                         at);
            return 2;
        }
    std::vector<std::unique_ptr<CVirtualDriver>> drivers;
    for (uint8_t address : slaves) {
        auto driver = std::make_unique<CVirtualDriver>(address);
        if (learnMs >= 0)
            driver->SetLearnDuration(std::chrono::milliseconds(learnMs));
        driver->SetLearnOutcome(learnOutcome);
        driver->SetMotor(motor);
        if (lineBaud > 0) // communication block A: baud rate high and low word, parity choice
            driver->SetRegisters(0x0090, {static_cast<uint16_t>(lineBaud >> 16),
                                          static_cast<uint16_t>(lineBaud & 0xFFFF),
                                          static_cast<uint16_t>(lineChoice)});
        for (const auto& [at, f] : sdoFaults)
            if (at == 0 || at == address)
                driver->AddSdoFault(f);
        drivers.push_back(std::move(driver));
    }
    CSimServer server(*drivers.front());
    for (size_t i = 1; i < drivers.size(); ++i)
        server.AddDriver(*drivers[i]);
    server.SetPacing(paced);
    server.SetTurnaround(std::chrono::microseconds(turnaroundUs));
    for (const auto& [at, us] : slaveTurnarounds)
        server.SetTurnaround(std::chrono::microseconds(us), static_cast<int>(at));
    for (const SSlaveFault& f : faults)
        server.InjectFault(f.kind, f.param, -1, static_cast<int>(f.slave));
    if (!server.Start(static_cast<int>(com))) {
        const int err = errno; // before the folder is looked at
        const std::string problem = PortFolderProblem();
        if (com > 0)
            std::fprintf(stderr, "halvik-sim: cannot link COM%ld (%s)\n", com,
                         problem.empty() ? "in use or no port folder" : problem.c_str());
        else
            std::fprintf(stderr, "halvik-sim: cannot create a pseudo-terminal: %s\n",
                         std::strerror(err));
        return 1;
    }
    if (com == 0 && server.ComNumber() <= 0)
        if (const std::string problem = PortFolderProblem(); !problem.empty())
            std::fprintf(stderr, "halvik-sim: serving without a COM link: %s\n", problem.c_str());
    if (tapCom >= -1 && !server.OpenTap(static_cast<int>(tapCom))) {
        const std::string problem = PortFolderProblem();
        if (tapCom > 0)
            std::fprintf(stderr, "halvik-sim: cannot link the tap as COM%ld (%s)\n", tapCom,
                         problem.empty() ? "in use or no port folder" : problem.c_str());
        else
            std::fprintf(stderr, "halvik-sim: cannot create the tap's pseudo-terminal\n");
        return 1;
    }
    if (tapCom == 0 && server.Tap().ComNumber() <= 0)
        if (const std::string problem = PortFolderProblem(); !problem.empty())
            std::fprintf(stderr, "halvik-sim: the tap has no COM link: %s\n", problem.c_str());
    if (server.ComNumber() > 0)
        std::printf("COM%d %s\n", server.ComNumber(), server.DevicePath().c_str());
    else
        std::printf("- %s\n", server.DevicePath().c_str());
    const CLineTap& tap = server.Tap();
    if (tap.IsOpen() && tap.ComNumber() > 0)
        std::printf("tap %s COM%d\n", tap.DevicePath().c_str(), tap.ComNumber());
    else if (tap.IsOpen())
        std::printf("tap %s\n", tap.DevicePath().c_str());
    std::fflush(stdout);

    int sig = 0;
    while (sigwait(&sigs, &sig) != 0) {
    }
    const size_t dropped = tap.DroppedCount();
    server.Stop();
    if (dropped > 0)
        std::fprintf(stderr,
                     "halvik-sim: tap: %zu bytes dropped (no one had it open, or its reader "
                     "fell behind)\n",
                     dropped);
    return 0;
}
