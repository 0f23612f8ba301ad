#include "driver/BusWatch.h"

#include "driver/DeviceIo.h"

#include <algorithm>
#include <array>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The master's first-byte budget for the watch's or the stop's duration.
class CBudgetHold {
public:
    CBudgetHold(CMotorDriver& drv, uint32_t ms) : m_drv(drv), m_before(drv.FirstByteBudget()) {
        m_drv.SetFirstByteBudget(std::chrono::milliseconds(ms));
    }
    ~CBudgetHold() { m_drv.SetFirstByteBudget(m_before); }
    CBudgetHold(const CBudgetHold&) = delete;
    CBudgetHold& operator=(const CBudgetHold&) = delete;

private:
    CMotorDriver& m_drv;
    std::chrono::microseconds m_before;
};

// One driver's link as the watch sees it. Fixed-size rings, so a watch of
// hours holds no more than one of seconds.
class CDriverLink {
public:
    void Record(ResultCode rc, Clock::time_point at, Clock::duration took, int markAfter) {
        ++m_h.polls;
        m_h.lastRc = rc;
        m_lastTry = at;
        if (rc == kResultOk) {
            ++m_h.updates;
            m_h.consecutiveFailures = 0;
            m_h.marked = false;
            m_h.lastMs = std::chrono::duration<double, std::milli>(took).count();
            m_rtt[m_nRtt++ % m_rtt.size()] = m_h.lastMs;
            m_updates[m_nUpdates++ % m_updates.size()] = at + took;
            return;
        }
        ++(rc == kResultTimeout ? m_h.timeouts : m_h.errors);
        if (++m_h.consecutiveFailures >= markAfter)
            m_h.marked = true;
    }

    bool Due(Clock::time_point now, Clock::duration retryEvery) const {
        return !m_h.marked || now >= m_lastTry + retryEvery;
    }
    Clock::time_point NextTry(Clock::duration retryEvery) const {
        return m_h.marked ? m_lastTry + retryEvery : Clock::time_point{};
    }

    SLinkHealth Health(Clock::time_point now, Clock::duration rateWindow) const {
        SLinkHealth h = m_h;
        h.updatesPerSecond = Rate(now, rateWindow);
        const size_t n = std::min(m_nRtt, m_rtt.size());
        if (n > 0) {
            std::array<double, kRing> r{};
            std::copy(m_rtt.begin(), m_rtt.begin() + static_cast<long>(n), r.begin());
            std::nth_element(r.begin(), r.begin() + static_cast<long>(n / 2),
                             r.begin() + static_cast<long>(n));
            h.medianMs = r[n / 2];
        }
        return h;
    }

private:
    static constexpr size_t kRing = 64;

    // The intervals between the updates within the window over the time from
    // the first of them to now: steady polling gives its true rate, and a
    // driver that falls silent decays toward 0. One update tells no rate.
    double Rate(Clock::time_point now, Clock::duration window) const {
        size_t k = 0;
        Clock::time_point oldest = now;
        for (size_t i = 0; i < std::min(m_nUpdates, m_updates.size()); ++i)
            if (m_updates[i] > now - window) {
                ++k;
                oldest = std::min(oldest, m_updates[i]);
            }
        if (k < 2 || now <= oldest)
            return 0;
        return static_cast<double>(k - 1) / std::chrono::duration<double>(now - oldest).count();
    }

    Clock::time_point m_lastTry{};
    SLinkHealth m_h;
    std::array<double, kRing> m_rtt{};
    std::array<Clock::time_point, kRing> m_updates{};
    size_t m_nRtt = 0, m_nUpdates = 0;
};

// Sleeps until t, or until stop is set; false on stop.
bool WaitUntil(Clock::time_point t, const std::atomic<bool>& stop) {
    for (;;) {
        if (stop)
            return false;
        const Clock::time_point now = Clock::now();
        if (now >= t)
            return true;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(t - now, std::chrono::milliseconds(10)));
    }
}

} // namespace

std::vector<DecodedField> StatusSummary(const std::vector<uint16_t>& status) {
    const BlockDef& def = *FindBlock("status");
    std::vector<DecodedField> all = DecodeBlock(def, status, DecodeContext{});
    std::vector<DecodedField> out;
    for (const char* name : kSummaryFields) {
        const FieldDef& f = CatalogueField(name);
        for (DecodedField& d : all)
            if (d.addr == f.addr)
                out.push_back(std::move(d));
    }
    return out;
}

SWatchOutcome WatchBus(CMotorDriver& drv, const SWatchPlan& plan, const std::atomic<bool>& stop,
                       const std::function<void(const SWatchUpdate&)>& onUpdate) {
    SWatchOutcome out;
    std::vector<CDriverLink> links(plan.slaves.size());
    // The rate is taken over a few rounds at least.
    const Clock::duration rateWindow =
        std::max<Clock::duration>(std::chrono::seconds(5), 3 * plan.roundPeriod);
    const auto report = [&] {
        const Clock::time_point now = Clock::now();
        out.health.clear();
        for (const CDriverLink& l : links)
            out.health.push_back(l.Health(now, rateWindow));
        return out;
    };
    if (!drv.IsOpen()) {
        out.rc = kResultPortClosed;
        return report();
    }
    if (plan.slaves.empty())
        return report();
    CBudgetHold budget(drv, plan.turnaroundMs);
    const BlockDef& def = *FindBlock("status");
    const int markAfter = std::max(1, plan.markAfter);
    SWatchUpdate u;
    Clock::time_point roundAt = Clock::now();
    for (int64_t round = 1; plan.rounds <= 0 || round <= plan.rounds; ++round) {
        // Nobody due (every driver marked, none to retry yet): wait for the first retry.
        Clock::time_point due = roundAt;
        if (std::none_of(links.begin(), links.end(),
                         [&](const CDriverLink& l) { return l.Due(roundAt, plan.retryEvery); })) {
            due = links.front().NextTry(plan.retryEvery);
            for (const CDriverLink& l : links)
                due = std::min(due, l.NextTry(plan.retryEvery));
            due = std::max(due, roundAt);
        }
        if (!WaitUntil(due, stop)) {
            out.stopped = true;
            break;
        }
        roundAt = Clock::now();
        u.round = round;
        for (size_t i = 0; i < links.size(); ++i) {
            if (stop) {
                out.stopped = true;
                return report();
            }
            CDriverLink& link = links[i];
            u.slave = plan.slaves[i];
            u.status.clear();
            const Clock::time_point t0 = Clock::now();
            u.polled = link.Due(t0, plan.retryEvery);
            if (u.polled) {
                // A failed read leaves the block empty.
                const ResultCode rc = ReadRegs(drv, u.slave, def.start, def.count, u.status);
                link.Record(rc, t0, Clock::now() - t0, markAfter);
            }
            u.health = link.Health(Clock::now(), rateWindow);
            u.rc = u.health.lastRc;
            if (onUpdate)
                onUpdate(u);
            if (u.polled && u.rc == kResultPortClosed) {
                out.rc = kResultPortClosed;
                return report();
            }
        }
        out.rounds = round;
        // A round that ran over starts the next at once, without catching up.
        roundAt = std::max(roundAt + plan.roundPeriod, Clock::now());
    }
    return report();
}

std::vector<SStopResult> StopAll(CMotorDriver& drv, const std::vector<uint8_t>& slaves,
                                 uint16_t mode, uint32_t turnaroundMs) {
    std::vector<SStopResult> out;
    for (uint8_t s : slaves)
        out.push_back({s, kResultPortClosed});
    if (!drv.IsOpen())
        return out;
    {
        // Every driver that answers at once is stopped first.
        CBudgetHold budget(drv, turnaroundMs);
        for (SStopResult& r : out)
            if ((r.rc = drv.WriteStopCommand(r.slave, mode)) == kResultPortClosed)
                return out;
    }
    // Then the rest get the whole reply time-out: a slow adapter or driver
    // is told apart from a silent one. A stop written twice is one stop.
    // Without a budget the first pass already waited that long.
    if (turnaroundMs == 0)
        return out;
    for (SStopResult& r : out)
        if (r.rc == kResultTimeout &&
            (r.rc = drv.WriteStopCommand(r.slave, mode)) == kResultPortClosed)
            break;
    return out;
}
