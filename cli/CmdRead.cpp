// Reading commands: ports, info, ident, status (once or watching), read BLOCK.

#include "cli/CliSession.h"

#include "driver/Format.h"
#include "modbus/LinkStats.h"
#include "serial/PortMap.h"

#include <unistd.h>

int CCli::CmdPorts() {
    if (!m_cl.args.empty())
        return Usage("usage: halvik-cli ports");
    auto ports = ListComPorts(64);
    if (m_cl.line.json) {
        Json j = Json::object();
        j["portFolder"] = Json(PortFolder());
        Json arr = Json::array();
        for (const auto& [n, dev] : ports) {
            Json p = Json::object();
            p["com"] = Json(n);
            p["device"] = Json(dev);
            if (const std::string hint = LatencyHint(dev); !hint.empty())
                p["hint"] = Json(hint);
            arr.push_back(p);
        }
        j["ports"] = arr;
        EmitJson(j);
        return kExitOk;
    }
    if (ports.empty()) {
        Out() << "No serial ports found (links are looked for in " << PortFolder() << ").\n";
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& [n, dev] : ports)
        rows.push_back({StrFormat("COM%d", n), dev, LatencyHint(dev)});
    PrintTable(Out(), rows, "");
    return kExitOk;
}

int CCli::CmdInfo() {
    if (int e = NeedArgs(0, 0, "info"))
        return e;
    if (int e = OpenLine())
        return e;
    const BlockDef& def = *FindBlock("device-info");
    std::vector<uint16_t> regs;
    if (int e = ReadBlockRegs(def, regs))
        return e;
    DecodeContext dc;
    if (m_cl.line.json)
        EmitJson(BlockJson(def, regs, dc));
    else
        PrintFields(def, regs, dc, false);
    return kExitOk;
}

int CCli::CmdIdent() {
    if (int e = NeedArgs(0, 0, "ident"))
        return e;
    if (int e = OpenLine())
        return e;
    std::string text;
    ResultCode rc = m_drv.ReadDeviceIdText(m_nSlave, text);
    if (rc != kResultOk)
        return DeviceError("reading the device identification", rc);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (!text.empty() && pos <= text.size()) {
        size_t e = text.find("\r\n", pos);
        lines.push_back(text.substr(pos, e == std::string::npos ? std::string::npos : e - pos));
        if (e == std::string::npos)
            break;
        pos = e + 2;
    }
    if (m_cl.line.json) {
        Json j = Json::object();
        j["text"] = Json(text);
        Json objs = Json::array();
        for (const auto& l : lines) {
            size_t colon = l.find(':');
            Json o = Json::object();
            o["name"] = Json(l.substr(0, colon));
            o["value"] = Json(colon == std::string::npos ? "" : l.substr(colon + 1));
            objs.push_back(o);
        }
        j["objects"] = objs;
        EmitJson(j);
    } else {
        for (const auto& l : lines)
            Out() << l << "\n";
    }
    return kExitOk;
}

int CCli::CmdStatus() {
    if (int e = NeedArgs(0, 0, "status [--watch] [--interval MS] [--count N]"))
        return e;
    const bool watch = m_cl.Has("--watch");
    int64_t interval = 500, count = watch ? 0 : 1;
    std::string err;
    if (const std::string* v = m_cl.Value("--interval"))
        if (!ParseIntegerIn(*v, 10, 3600000, "--interval (milliseconds)", interval, err))
            return Usage(err);
    if (const std::string* v = m_cl.Value("--count")) {
        if (!ParseIntegerIn(*v, 0, INT32_MAX, "--count", count, err))
            return Usage(err);
        if (!watch && count != 1)
            return Usage("--count needs --watch");
    }
    if (!watch && m_cl.Value("--interval"))
        return Usage("--interval needs --watch");
    if (int e = OpenLine())
        return e;
    const BlockDef& def = *FindBlock("status");
    DecodeContext dc;
    bool anyFailed = false;
    // Watching, the link's health is told at the end (on standard error, so
    // JSON Lines on standard output stay clean).
    struct SWatchLink {
        CMotorDriver& drv;
        bool on;
        CLinkStats stats;
        ~SWatchLink() {
            if (on)
                drv.RemoveObserver(&stats);
        }
    } link{m_drv, watch, {}};
    if (watch)
        m_drv.AddObserver(&link.stats);
    ArmStop(watch);
    auto next = Clock::now();
    for (int64_t k = 0; count == 0 || k < count; ++k) {
        if (k > 0) {
            next += std::chrono::milliseconds(interval);
            if (!SleepUntil(next))
                break;
        }
        std::vector<uint16_t> regs;
        ResultCode rc = ReadRegs(m_drv, m_nSlave, def.start, def.count, regs);
        if (rc != kResultOk) {
            anyFailed = true;
            if (!watch || m_drv.LineLost()) {
                ArmStop(false);
                return DeviceError("reading the status block", rc);
            }
            m_ctx.err << "halvik-cli: " << UtcNow() << " " << ResultMessage(rc) << "\n";
            if (m_cl.line.json) {
                Json j = Json::object();
                j["sample"] = Json(k + 1);
                j["time"] = Json(UtcNow());
                j["error"] = ErrorJson(rc);
                EmitJson(j, false);
            }
            continue;
        }
        if (m_cl.line.json) {
            Json j = BlockJson(def, regs, dc);
            if (watch) {
                j["sample"] = Json(k + 1);
                j["time"] = Json(UtcNow());
            }
            EmitJson(j, !watch);
        } else {
            if (watch)
                Out() << "-- " << UtcNow() << " (sample " << k + 1 << ")\n";
            PrintFields(def, regs, dc, false);
            Out().flush();
        }
    }
    ArmStop(false);
    if (watch) {
        const SLinkSummary l = link.stats.Summary();
        m_ctx.err << "halvik-cli: link: "
                  << StrFormat("%.1f transactions/s, median round trip %s, %zu time-outs, %zu "
                               "CRC/reply errors, %zu exceptions\n",
                               l.ratePerSecond,
                               l.medianMs > 0 ? StrFormat("%.1f ms", l.medianMs).c_str() : "-",
                               l.timeouts, l.replyErrors, l.exceptions);
    }
    return anyFailed ? kExitDevice : kExitOk;
}

int CCli::CmdRead() {
    if (int e = NeedArgs(1, 1, "read BLOCK"))
        return e;
    const BlockDef* def = FindBlock(m_cl.args[0]);
    if (!def) {
        std::string names;
        for (const auto& b : AllBlocks())
            names += (names.empty() ? "" : ", ") + std::string(b.name);
        return Usage("unknown block '" + m_cl.args[0] + "' (blocks: " + names + ")");
    }
    if (int e = OpenLine())
        return e;
    std::vector<uint16_t> regs;
    if (int e = ReadBlockRegs(*def, regs))
        return e;
    DecodeContext dc;
    if (BlockUsesSpeedUnit(*def))
        if (int e = ReadSpeedUnit(dc))
            return e;
    if (m_cl.line.json) {
        Json j = BlockJson(*def, regs, dc);
        if (BlockUsesSpeedUnit(*def))
            j["speedUnitHz"] = Json(dc.speedUnitHz);
        EmitJson(j);
    } else {
        PrintFields(*def, regs, dc, true);
    }
    return kExitOk;
}
