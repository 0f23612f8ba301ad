// Reading commands: ports, ident, status (once or watching); info and read
// are ShowBlock.

#include "cli/CliSession.h"

#include "driver/Format.h"
#include "driver/Texts.h"
#include "serial/PortMap.h"

int CCli::CmdPorts() {
    const auto ports = ListComPorts(64);
    Json list = Json::array();
    std::vector<std::vector<std::string>> rows;
    for (const auto& [n, dev] : ports) {
        const std::string hint = LatencyHint(dev);
        list.push_back({{"com", n}, {"device", dev}});
        if (!hint.empty())
            list.back()["hint"] = hint;
        rows.push_back({StrFormat("COM%d", n), dev, hint});
    }
    const std::string problem = PortFolderProblem();
    if (!problem.empty())
        m_ctx.err << "halvik-cli: " << problem << "\n";
    if (m_cl.json) {
        Json doc = {{"portFolder", PortFolder()}, {"ports", list}};
        if (!problem.empty())
            doc["portFolderProblem"] = Json(problem);
        EmitJson(doc);
    } else if (ports.empty())
        Out() << "No serial ports found (" << NoPortsReason() << ").\n";
    else
        PrintTable(Out(), rows, "");
    return kExitOk;
}

int CCli::CmdIdent() {
    if (int e = OpenLine())
        return e;
    std::string text;
    if (ResultCode rc = m_drv.ReadDeviceIdText(m_nSlave, text))
        return DeviceError("reading the device identification", rc);
    Json objects = Json::array();
    for (size_t pos = 0; !text.empty() && pos != std::string::npos;) {
        const size_t end = text.find("\r\n", pos);
        const std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
        const size_t colon = line.find(':');
        objects.push_back({{"name", line.substr(0, colon)},
                           {"value", colon == std::string::npos ? "" : line.substr(colon + 1)}});
        if (!m_cl.json)
            Out() << DeviceIdTextShown(line) << "\n";
        pos = end == std::string::npos ? end : end + 2;
    }
    if (m_cl.json)
        EmitJson({{"text", text}, {"objects", objects}});
    return kExitOk;
}

int CCli::CmdStatus() {
    const bool watch = m_cl.watch;
    if (!watch && m_cl.count >= 0 && m_cl.count != 1)
        return Usage("--count needs --watch");
    if (!watch && m_cl.interval)
        return Usage("--interval needs --watch");
    const int64_t interval = m_cl.interval ? m_cl.interval : 500;
    const int64_t count = !watch ? 1 : m_cl.count < 0 ? 0 : m_cl.count;
    if (!m_cl.slaves.empty())
        return CmdStatusBus(count, interval);
    if (m_cl.turnaroundMs)
        return Usage("--turnaround-ms needs --slaves");
    if (int e = OpenLine())
        return e;
    const BlockDef& def = *FindBlock("status");
    DecodeContext dc;
    bool anyFailed = false;
    // Watching, the link's health is told at the end (on standard error, so
    // JSON Lines on standard output stay clean).
    if (watch)
        m_drv.AddObserver(&m_linkStats);
    ArmStop(watch);
    auto next = Clock::now();
    for (int64_t k = 0; count == 0 || k < count; ++k) {
        next += std::chrono::milliseconds(k > 0 ? interval : 0);
        if (!SleepUntil(next))
            break;
        std::vector<uint16_t> regs;
        const ResultCode rc = ReadRegs(m_drv, m_nSlave, def.start, def.count, regs);
        if (rc != kResultOk) {
            anyFailed = true;
            if (!watch || m_drv.LineLost()) {
                ArmStop(false);
                return DeviceError("reading the status block", rc);
            }
            m_ctx.err << "halvik-cli: " << UtcNow() << " " << ResultMessage(rc) << "\n";
        }
        if (m_cl.json && (rc == kResultOk || watch)) {
            Json j = rc == kResultOk ? BlockJson(def, regs, dc) : Json::object();
            if (watch) {
                j["sample"] = k + 1;
                j["time"] = UtcNow();
            }
            if (rc != kResultOk)
                j["error"] = ErrorJson(rc);
            EmitJson(j, !watch);
        } else if (rc == kResultOk) {
            if (watch)
                Out() << "-- " << UtcNow() << " (sample " << k + 1 << ")\n";
            PrintFields(def, regs, dc, false);
            Out().flush();
        }
    }
    ArmStop(false);
    if (watch) {
        const SLinkSummary l = m_linkStats.Summary();
        m_ctx.err << "halvik-cli: link: "
                  << StrFormat("%.1f transactions/s, median round trip %s, %zu time-outs, %zu "
                               "CRC/reply errors, %zu exceptions\n",
                               l.ratePerSecond,
                               l.medianMs > 0 ? StrFormat("%.1f ms", l.medianMs).c_str() : "-",
                               l.timeouts, l.replyErrors, l.exceptions);
    }
    return anyFailed ? kExitDevice : kExitOk;
}
