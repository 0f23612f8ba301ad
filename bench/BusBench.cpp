// halvik-bench-bus: the bus watch (driver/BusWatch.h) on three virtual
// drivers served in-process and paced like a real line (turnaround 1 ms).
// At 9600 and 115200 Bd the watch runs as fast as the line allows: the line's
// use (the wire time of the transactions done, request and reply bytes at
// 11 bits a byte, over the time elapsed) and each driver's update rate; then
// with one driver silent, the others' rates. Then a long run at 115200 Bd in
// which one driver falls silent and comes back every few seconds: the growth
// of the resident set, and whether every transaction's outcome was counted
// (reads answered + time-outs + errors == transactions the master reported).
//
// Usage: halvik-bench-bus [--seconds N] [--phase-seconds N]
// The last lines are "bus_line_use_9600=... bus_line_use_115200=...
// bus_rate_spread=...", "bus_silent_slowdown=..." and
// "bus_rss_growth_kb=... bus_outcomes_counted=yes|no".

#include "driver/BusWatch.h"
#include "sim/SimServer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint8_t kSilent = 2;
const std::vector<uint8_t> kSlaves = {1, kSilent, 5};

// Bytes on the wire and transactions, from the master's own reports.
class CWireMeter : public ILinkObserver {
public:
    void OnTransaction(const STransactionRecord& t) override {
        m_bytes += t.requestLen + t.replyLen;
        ++m_transactions;
    }
    void Reset() { m_bytes = m_transactions = 0; }
    size_t Bytes() const { return m_bytes; }
    size_t Transactions() const { return m_transactions; }

private:
    std::atomic<size_t> m_bytes{0}, m_transactions{0};
};

long RssKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct SRun {
    double seconds = 0, lineUse = 0;
    std::map<uint8_t, double> rate; // updates per second by slave
    SWatchOutcome outcome;
    size_t transactions = 0;
};

class CBench {
public:
    CBench() {
        for (uint8_t s : kSlaves)
            m_drivers.push_back(std::make_unique<CVirtualDriver>(s));
        m_server = std::make_unique<CSimServer>(*m_drivers.front());
        for (size_t i = 1; i < m_drivers.size(); ++i)
            m_server->AddDriver(*m_drivers[i]);
        m_server->SetPacing(true);
        m_server->SetTurnaround(std::chrono::milliseconds(1));
    }
    bool Start() { return m_server->Start(-1); }

    // The drivers' communication block and the master's port at this rate, n2.
    bool Line(int baud) {
        for (auto& d : m_drivers)
            d->SetRegisters(0x0090, {static_cast<uint16_t>(baud >> 16),
                                     static_cast<uint16_t>(baud & 0xFFFF), 0});
        m_baud = baud;
        m_drv.ClosePort();
        m_drv.RemoveObserver(&m_meter);
        if (!m_drv.OpenPortPath(m_server->DevicePath(), CMotorDriver::SettingsString(baud, 0)))
            return false;
        m_drv.SetTimeout(1000);
        m_drv.AddObserver(&m_meter);
        return true;
    }

    // The watch as fast as the line allows for this long; tick runs after
    // every update.
    SRun Watch(double seconds, const std::function<void(const SWatchUpdate&)>& tick = {}) {
        SWatchPlan plan;
        plan.slaves = kSlaves;
        std::atomic<bool> stop{false};
        std::map<uint8_t, size_t> updates;
        m_meter.Reset();
        const Clock::time_point start = Clock::now();
        const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(seconds));
        SRun run;
        run.outcome = WatchBus(m_drv, plan, stop, [&](const SWatchUpdate& u) {
            if (u.polled && u.rc == kResultOk)
                ++updates[u.slave];
            if (tick)
                tick(u);
            // Whole rounds only, so that every driver had its turns.
            if (u.slave == kSlaves.back() && Clock::now() >= end)
                stop = true;
        });
        run.seconds = Seconds(Clock::now() - start);
        run.transactions = m_meter.Transactions();
        run.lineUse = static_cast<double>(m_meter.Bytes()) * 11 / m_baud / run.seconds;
        for (uint8_t s : kSlaves)
            run.rate[s] = static_cast<double>(updates[s]) / run.seconds;
        return run;
    }

    CSimServer& Server() { return *m_server; }
    void ClearLogs() {
        // The virtual drivers keep every request for tests; not ours to measure.
        for (auto& d : m_drivers)
            d->ClearRequestLog();
    }

private:
    std::vector<std::unique_ptr<CVirtualDriver>> m_drivers;
    std::unique_ptr<CSimServer> m_server;
    CWireMeter m_meter; // before m_drv, which reports to it until its end
    CMotorDriver m_drv;
    int m_baud = 9600;
};

double Spread(const SRun& run, bool withSilent) {
    double lo = 1e9, hi = 0, sum = 0;
    int n = 0;
    for (const auto& [slave, rate] : run.rate) {
        if (!withSilent && slave == kSilent)
            continue;
        lo = std::min(lo, rate);
        hi = std::max(hi, rate);
        sum += rate;
        ++n;
    }
    return n && sum > 0 ? (hi - lo) / (sum / n) : 0;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 20, phase = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--phase-seconds") == 0)
            phase = std::atof(argv[i + 1]);
    }
    if (argc % 2 == 0 || seconds <= 0 || phase <= 0) {
        std::fprintf(stderr, "usage: halvik-bench-bus [--seconds N] [--phase-seconds N]\n");
        return 2;
    }
    CBench bench;
    if (!bench.Start()) {
        std::fprintf(stderr, "halvik-bench-bus: no pseudo-terminal\n");
        return 1;
    }
    std::map<int, double> lineUse;
    double spread = 0, slowdown = 0;
    for (int baud : {9600, 115200}) {
        if (!bench.Line(baud)) {
            std::fprintf(stderr, "halvik-bench-bus: cannot open the line at %d\n", baud);
            return 1;
        }
        const SRun all = bench.Watch(phase);
        bench.Server().InjectFault(EFault::Silent, 0, -1, kSilent);
        const SRun silent = bench.Watch(phase);
        bench.Server().ClearFaults();
        bench.ClearLogs();
        lineUse[baud] = all.lineUse;
        spread = std::max(spread, Spread(all, true));
        std::printf("%6d Bd  all answering: line use %5.1f %%, updates/s", baud, 100 * all.lineUse);
        for (const auto& [slave, rate] : all.rate)
            std::printf("  %u: %.2f", slave, rate);
        std::printf(" (spread %.1f %%)\n", 100 * Spread(all, true));
        std::printf("%6d Bd  slave %u silent: line use %5.1f %%, updates/s", baud, kSilent,
                    100 * silent.lineUse);
        for (const auto& [slave, rate] : silent.rate) {
            std::printf("  %u: %.2f", slave, rate);
            if (slave == kSilent)
                continue;
            // Two drivers left could be read 3/2 as often as three: the
            // shortfall is the line time the silent one still takes.
            slowdown = std::max(slowdown, 1 - rate / (all.rate.at(slave) * 1.5));
        }
        const SLinkHealth& h = silent.outcome.health[1];
        std::printf(" (slave %u: %zu tries in %.1f s)\n", kSilent, h.polls, silent.seconds);
    }

    // The long run: slave 2 drops out for 3 s in every 10.
    bench.Line(115200);
    long rssStart = 0;
    const Clock::time_point start = Clock::now();
    bool silentNow = false;
    int64_t lastClear = 0;
    const SRun run = bench.Watch(seconds, [&](const SWatchUpdate& u) {
        const double t = Seconds(Clock::now() - start);
        if (!rssStart && t >= std::min(5.0, seconds / 4))
            rssStart = RssKb(); // the rings and buffers have their size by now
        const bool silence = static_cast<int64_t>(t) % 10 >= 7;
        if (silence != silentNow) {
            silentNow = silence;
            if (silence)
                bench.Server().InjectFault(EFault::Silent, 0, -1, kSilent);
            else
                bench.Server().ClearFaults();
        }
        if (u.round - lastClear >= 1000) {
            lastClear = u.round;
            bench.ClearLogs();
        }
    });
    const long rssEnd = RssKb();
    size_t polls = 0, outcomes = 0, failures = 0;
    for (const SLinkHealth& h : run.outcome.health) {
        polls += h.polls;
        outcomes += h.updates + h.timeouts + h.errors;
        failures += h.timeouts + h.errors;
    }
    const bool counted = polls == outcomes && polls == run.transactions;
    std::printf("long run %.0f s at 115200 Bd: %zu transactions (%zu failed), %zu reads counted, "
                "line use %.1f %%, resident set %ld kB -> %ld kB\n",
                run.seconds, run.transactions, failures, outcomes, 100 * run.lineUse, rssStart,
                rssEnd);
    std::printf("bus_line_use_9600=%.3f bus_line_use_115200=%.3f bus_rate_spread=%.3f\n",
                lineUse[9600], lineUse[115200], spread);
    std::printf("bus_silent_slowdown=%.3f\n", slowdown);
    std::printf("bus_rss_growth_kb=%ld bus_outcomes_counted=%s\n", rssEnd - rssStart,
                counted ? "yes" : "no");
    return counted ? 0 : 1;
}
