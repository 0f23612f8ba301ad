// scan: drivers on the bus, by slave address and line setting.

#include "cli/CliSession.h"

#include "driver/BusScan.h"
#include "driver/Format.h"

#include <iostream>
#include <unistd.h>

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
    Json j = Json::object();
    j["slave"] = Json(hit.slave);
    j["baud"] = Json(hit.line.baud);
    j["framing"] = Json(FramingName(hit.line.parityChoice));
    if (hit.infoRc == kResultOk) {
        j["identifier"] = Json(StrFormat("0x%04X", hit.identifier));
        j["model"] = Json(hit.model);
    } else {
        j["error"] = ErrorJson(hit.infoRc);
    }
    return j;
}

} // namespace

int CCli::CmdScan() {
    if (int e = NeedArgs(0, 0, "scan [--first N] [--last N] [--all-lines] [--reply-ms MS]"))
        return e;
    SScanPlan plan;
    int64_t first = kScanFirstSlave, last = kScanLastSlave, replyMs = 0;
    std::string err;
    if (const std::string* v = m_cl.Value("--first"))
        if (!ParseIntegerIn(*v, kScanFirstSlave, kScanLastSlave, "--first", first, err))
            return Usage(err);
    if (const std::string* v = m_cl.Value("--last"))
        if (!ParseIntegerIn(*v, kScanFirstSlave, kScanLastSlave, "--last", last, err))
            return Usage(err);
    if (first > last)
        return Usage(StrFormat("--first %lld is above --last %lld", static_cast<long long>(first),
                               static_cast<long long>(last)));
    if (const std::string* v = m_cl.Value("--reply-ms"))
        if (!ParseIntegerIn(*v, 1, 60000, "--reply-ms", replyMs, err))
            return Usage(err);
    plan.firstSlave = static_cast<int>(first);
    plan.lastSlave = static_cast<int>(last);
    plan.replyTimeoutMs = static_cast<uint32_t>(replyMs);
    plan.lines = m_cl.Has("--all-lines")
                     ? AllLineSettings()
                     : std::vector<SLineSetting>{{m_cl.line.baud, m_cl.line.framing}};
    if (int e = OpenLine())
        return e;

    // Ctrl-C ends the scan after the try under way; what was found is kept.
    std::atomic<bool> ownStop{false};
    const std::atomic<bool>& stop = m_ctx.stopRequested ? *m_ctx.stopRequested : ownStop;
    const bool tty = isatty(STDERR_FILENO) != 0 && &m_ctx.err == &std::cerr;
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
        if (m_cl.line.json)
            return;
        if (tty)
            m_ctx.err << "\r\033[K" << std::flush;
        Out() << HitLine(hit) << "\n" << std::flush;
    };
    ArmStop(true);
    const SScanOutcome outcome = ScanBus(m_drv, plan, stop, onStep, onHit);
    ArmStop(false);
    if (tty)
        m_ctx.err << "\r\033[K" << std::flush;

    if (m_cl.line.json) {
        Json j = Json::object();
        j["first"] = Json(plan.firstSlave);
        j["last"] = Json(plan.lastSlave);
        Json lines = Json::array();
        for (const auto& l : plan.lines) {
            Json o = Json::object();
            o["baud"] = Json(l.baud);
            o["framing"] = Json(FramingName(l.parityChoice));
            lines.push_back(o);
        }
        j["lines"] = lines;
        Json drivers = Json::array();
        for (const auto& hit : outcome.hits)
            drivers.push_back(HitJson(hit));
        j["drivers"] = drivers;
        j["stopped"] = Json(outcome.stopped);
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
