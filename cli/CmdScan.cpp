// scan: drivers on the bus, by slave address and line setting.

#include "cli/CliSession.h"

#include "driver/BusScan.h"
#include "driver/Format.h"

namespace {

std::string HitLine(const SScanHit& hit) {
    std::string text = StrFormat("slave %3u  %6d %s", hit.slave, hit.line.baud,
                                 FramingName(hit.line.parityChoice));
    if (hit.infoRc == kResultOk)
        return text + StrFormat("  identifier 0x%04X  model %s", hit.identifier,
                                hit.model.empty() ? "-" : hit.model.c_str());
    return text + "  device information: " + ResultMessage(hit.infoRc);
}

Json HitJson(const SScanHit& hit) {
    Json j = {{"slave", hit.slave},
              {"baud", hit.line.baud},
              {"framing", FramingName(hit.line.parityChoice)}};
    if (hit.infoRc == kResultOk) {
        j["identifier"] = StrFormat("0x%04X", hit.identifier);
        j["model"] = hit.model;
    } else {
        j["error"] = ErrorJson(hit.infoRc);
    }
    return j;
}

} // namespace

int CCli::CmdScan() {
    if (m_cl.first > m_cl.last)
        return Usage(StrFormat("--first %lld is above --last %lld",
                               static_cast<long long>(m_cl.first),
                               static_cast<long long>(m_cl.last)));
    SScanPlan plan;
    plan.firstSlave = static_cast<int>(m_cl.first);
    plan.lastSlave = static_cast<int>(m_cl.last);
    plan.replyTimeoutMs = static_cast<uint32_t>(m_cl.replyMs);
    if (m_cl.turnaroundMs)
        plan.turnaroundMs = static_cast<uint32_t>(m_cl.turnaroundMs);
    plan.lines =
        m_cl.allLines ? AllLineSettings() : std::vector<SLineSetting>{{m_cl.baud, m_cl.framing}};
    if (int e = OpenLine())
        return e;

    // Ctrl-C ends the scan after the try under way; what was found is kept.
    const bool tty = m_ctx.errIsTerminal;
    SLineSetting shown{0, -1};
    auto onStep = [&](const SScanStep& s) {
        if (s.done == s.total)
            return;
        if (tty)
            m_ctx.err << StrFormat("\rscanning %d %s, slave %3u  (%zu/%zu)   ", s.line.baud,
                                   FramingName(s.line.parityChoice), s.slave, s.done + 1, s.total)
                      << std::flush;
        else if (!(s.line == shown))
            m_ctx.err << StrFormat("scanning %d %s, slaves %d..%d\n", s.line.baud,
                                   FramingName(s.line.parityChoice), plan.firstSlave,
                                   plan.lastSlave);
        shown = s.line;
    };
    auto onHit = [&](const SScanHit& hit) {
        if (m_cl.json)
            return;
        if (tty)
            m_ctx.err << "\r\033[K" << std::flush;
        Out() << HitLine(hit) << "\n" << std::flush;
    };
    ArmStop(true);
    const SScanOutcome outcome = ScanBus(m_drv, plan, m_ctx.stopRequested, onStep, onHit);
    ArmStop(false);
    if (tty)
        m_ctx.err << "\r\033[K" << std::flush;

    if (m_cl.json) {
        Json lines = Json::array(), drivers = Json::array();
        for (const auto& l : plan.lines)
            lines.push_back({{"baud", l.baud}, {"framing", FramingName(l.parityChoice)}});
        for (const auto& hit : outcome.hits)
            drivers.push_back(HitJson(hit));
        Json j = {{"first", plan.firstSlave},
                  {"last", plan.lastSlave},
                  {"lines", lines},
                  {"drivers", drivers},
                  {"stopped", outcome.stopped}};
        if (outcome.rc != kResultOk)
            j["error"] = ErrorJson(outcome.rc);
        EmitJson(j);
    }
    if (outcome.refusedLine)
        return DeviceError(StrFormat("%s cannot be set to %d baud, %s", m_strDevice.c_str(),
                                     outcome.line.baud, FramingName(outcome.line.parityChoice)));
    if (outcome.rc != kResultOk)
        return DeviceError("scanning", outcome.rc);
    if (outcome.stopped) {
        m_ctx.err << "halvik-cli: scan interrupted; " << outcome.hits.size()
                  << " driver(s) found before\n";
        return kExitInterrupted;
    }
    if (outcome.hits.empty())
        return DeviceError(StrFormat("no driver answered at slaves %d..%d on %zu line setting(s)",
                                     plan.firstSlave, plan.lastSlave, plan.lines.size()));
    m_ctx.err << "halvik-cli: " << outcome.hits.size() << " driver(s) found\n";
    return kExitOk;
}
