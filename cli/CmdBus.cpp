// Several drivers on one line: status --slaves (once, or round after round
// with --watch) and stop --slaves, each driver by its own address.

#include "cli/CliSession.h"

#include "driver/BusWatch.h"
#include "driver/Format.h"

namespace {

std::string SlaveNames(const std::vector<uint8_t>& slaves) {
    std::string s;
    for (uint8_t a : slaves)
        s += (s.empty() ? "" : ", ") + std::to_string(a);
    return s;
}

std::string Ms(double ms) {
    return ms > 0 ? StrFormat("%.1f ms", ms) : std::string("-");
}

std::string HealthText(const SLinkHealth& h, std::chrono::milliseconds retryEvery) {
    // No rate before a driver's second update.
    std::string text =
        StrFormat("link %s/s, round trip %s (median %s), %zu time-outs, %zu errors",
                  h.updatesPerSecond > 0 ? StrFormat("%.1f", h.updatesPerSecond).c_str() : "-",
                  Ms(h.lastMs).c_str(), Ms(h.medianMs).c_str(), h.timeouts, h.errors);
    if (h.marked)
        text += StrFormat(", %d failures in a row: tried every %.1f s", h.consecutiveFailures,
                          static_cast<double>(retryEvery.count()) / 1000);
    return text;
}

Json HealthJson(const SLinkHealth& h) {
    auto ms = [](double v) { return v > 0 ? Json(JsonNumber(StrFormat("%.2f", v))) : Json(); };
    return {{"updatesPerSecond", JsonNumber(StrFormat("%.2f", h.updatesPerSecond))},
            {"lastMs", ms(h.lastMs)},
            {"medianMs", ms(h.medianMs)},
            {"polls", h.polls},
            {"updates", h.updates},
            {"timeouts", h.timeouts},
            {"errors", h.errors},
            {"consecutiveFailures", h.consecutiveFailures},
            {"marked", h.marked}};
}

// "slave   1  input_voltage=24.0V ...  link ..." or "slave   2  no answer  link ...".
std::string UpdateLine(const SWatchUpdate& u, std::chrono::milliseconds retryEvery) {
    std::string line = StrFormat("slave %3u  ", u.slave);
    if (u.rc == kResultOk && !u.status.empty())
        for (const DecodedField& f : StatusSummary(u.status))
            line += f.name + "=" + f.text + " ";
    else if (u.rc == kResultTimeout)
        line += "no answer ";
    else
        line += "error " + ResultMessage(u.rc) + " ";
    return line + " " + HealthText(u.health, retryEvery);
}

} // namespace

int CCli::CmdStatusBus(int64_t count, int64_t interval) {
    if (m_cl.slaveGiven)
        return Usage("--slave and --slaves: give one of them");
    const bool watch = m_cl.watch;
    SWatchPlan plan;
    plan.slaves = m_cl.slaves;
    plan.rounds = count;
    plan.roundPeriod = std::chrono::milliseconds(watch ? interval : 0);
    if (m_cl.turnaroundMs)
        plan.turnaroundMs = static_cast<uint32_t>(m_cl.turnaroundMs);
    if (int e = OpenLine())
        return e;
    const BlockDef& def = *FindBlock("status");
    ArmStop(watch);
    const SWatchOutcome outcome =
        WatchBus(m_drv, plan, m_ctx.stopRequested, [&](const SWatchUpdate& u) {
            if (!m_cl.json) {
                Out() << UpdateLine(u, plan.retryEvery) << "\n";
                if (u.slave == plan.slaves.back())
                    Out().flush();
                return;
            }
            Json j = {{"slave", u.slave}, {"round", u.round}, {"time", UtcNow()}};
            if (u.rc == kResultOk && !u.status.empty())
                j.update(BlockJson(def, u.status, DecodeContext{}));
            else
                j["error"] = ErrorJson(u.rc);
            j["link"] = HealthJson(u.health);
            EmitJson(j, false);
        });
    ArmStop(false);
    if (outcome.rc != kResultOk)
        return DeviceError("reading the status blocks", outcome.rc);
    std::vector<uint8_t> failed;
    for (size_t i = 0; i < plan.slaves.size(); ++i) {
        const SLinkHealth& h = outcome.health[i];
        if (watch)
            m_ctx.err << StrFormat("halvik-cli: link: slave %u: %zu reads, %.1f/s, median round "
                                   "trip %s, %zu time-outs, %zu errors\n",
                                   plan.slaves[i], h.polls, h.updatesPerSecond,
                                   Ms(h.medianMs).c_str(), h.timeouts, h.errors);
        if (h.updates < h.polls) {
            failed.push_back(plan.slaves[i]);
            m_ctx.err << StrFormat("halvik-cli: slave %u: %zu of %zu reads failed, the last: ",
                                   plan.slaves[i], h.polls - h.updates, h.polls)
                      << ResultMessage(h.lastRc) << "\n";
        }
    }
    if (!failed.empty())
        return DeviceError("status: reads failed at slave(s) " + SlaveNames(failed));
    return kExitOk;
}

int CCli::CmdStopBus(uint16_t mode) {
    if (m_cl.slaveGiven)
        return Usage("--slave and --slaves: give one of them");
    if (int e = OpenLine())
        return e;
    const std::vector<SStopResult> results = StopAll(m_drv, m_cl.slaves, mode);
    Json list = Json::array();
    std::vector<std::vector<std::string>> rows;
    std::vector<uint8_t> failed;
    for (const SStopResult& r : results) {
        list.push_back({{"slave", r.slave}, {"result", ErrorJson(r.rc)}});
        rows.push_back({StrFormat("slave %3u", r.slave),
                        r.rc == kResultOk ? ResultText(r.rc) : ResultMessage(r.rc)});
        if (r.rc != kResultOk)
            failed.push_back(r.slave);
    }
    if (m_cl.json)
        EmitJson({{"command", "stop"}, {"mode", m_cl.mode}, {"slaves", list}});
    else
        PrintTable(Out(), rows, "");
    if (!failed.empty())
        return DeviceError(StrFormat("writing the stop command (0x%04X) failed at slave(s) %s",
                                     kRegStop, SlaveNames(failed).c_str()));
    return kExitOk;
}
