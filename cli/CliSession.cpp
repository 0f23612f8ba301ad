#include "cli/CliSession.h"

#include "driver/Format.h"
#include "serial/PortMap.h"

#include <ctime>

std::string Hex16(uint16_t v) {
    return StrFormat("0x%04X", v);
}

void PrintTable(std::ostream& os, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent) {
    std::vector<size_t> widths;
    for (const auto& r : rows)
        for (size_t c = 0; c < r.size(); ++c) {
            if (widths.size() <= c)
                widths.push_back(0);
            widths[c] = std::max(widths[c], DisplayWidth(r[c]));
        }
    for (const auto& r : rows) {
        std::string line = indent;
        for (size_t c = 0; c < r.size(); ++c) {
            line += r[c];
            if (c + 1 < r.size())
                line.append(widths[c] - DisplayWidth(r[c]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        os << line << "\n";
    }
}

Json RegsJson(const std::vector<uint16_t>& regs) {
    Json a = Json::array();
    for (uint16_t v : regs)
        a.push_back(Json(v));
    return a;
}

Json ValueJson(const FieldValue& v) {
    switch (v.kind) {
    case FieldValue::EKind::Number:
        return JsonNumber(v.text);
    case FieldValue::EKind::Bool:
        return Json(v.flag);
    case FieldValue::EKind::String:
        return Json(v.text);
    case FieldValue::EKind::Null:
        break;
    }
    return Json();
}

Json FieldJson(const DecodedField& f) {
    Json j = Json::object();
    j["name"] = Json(f.name);
    j["address"] = Json(f.addr);
    j["raw"] = RegsJson(f.raw);
    j["value"] = ValueJson(f.value);
    j["unit"] = Json(f.unit);
    j["text"] = Json(f.text);
    return j;
}

Json ErrorJson(ResultCode rc) {
    Json e = Json::object();
    e["code"] = Json(rc);
    e["text"] = Json(ResultText(rc));
    return e;
}

std::string UtcNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

// "COM3", "com3" or "3" -> 3; 0 for anything else.
int ComNumber(const std::string& port) {
    std::string digits = port;
    if (port.size() > 3 && (port.compare(0, 3, "COM") == 0 || port.compare(0, 3, "com") == 0))
        digits = port.substr(3);
    int64_t n = 0;
    for (char c : digits)
        if (c < '0' || c > '9')
            return 0;
    if (digits.empty() || digits.size() > 5 || !ParseInteger(digits, n) || n < 1)
        return 0;
    return static_cast<int>(n);
}

size_t DisplayWidth(const std::string& s) {
    size_t w = 0;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0) {
            n = 4;
            cp = c & 0x07;
        } else if (c >= 0xE0) {
            n = 3;
            cp = c & 0x0F;
        } else if (c >= 0xC0) {
            n = 2;
            cp = c & 0x1F;
        }
        for (size_t k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                    (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                    (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                    (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        w += wide ? 2 : 1;
    }
    return w;
}

int CCli::Run() {
    const std::string& c = m_cl.command;
    if (c == "ports")
        return CmdPorts();
    if (c == "help") {
        if (m_cl.args.size() > 1)
            return Usage("usage: halvik-cli help [COMMAND]");
        if (!m_cl.args.empty() && !IsCommand(m_cl.args[0]))
            return Usage("unknown command '" + m_cl.args[0] + "'");
        Out() << (m_cl.args.empty() ? UsageText() : CommandHelp(m_cl.args[0]));
        return kExitOk;
    }
    // Arguments are checked before the port is touched.
    using Handler = int (CCli::*)();
    static const std::pair<const char*, Handler> kHandlers[] = {
        {"info", &CCli::CmdInfo},     {"ident", &CCli::CmdIdent},
        {"status", &CCli::CmdStatus}, {"read", &CCli::CmdRead},
        {"reg", &CCli::CmdReg},       {"sdo", &CCli::CmdSdo},
        {"run", &CCli::CmdRun},       {"move", &CCli::CmdMove},
        {"stop", &CCli::CmdStop},     {"clear-position", &CCli::CmdClearPosition},
        {"learn", &CCli::CmdLearn},   {"scan", &CCli::CmdScan},
        {"export", &CCli::CmdExport}, {"import", &CCli::CmdImport},
    };
    for (const auto& [name, fn] : kHandlers)
        if (c == name)
            return (this->*fn)();
    return Usage("unknown command '" + c + "'");
}

int CCli::OpenLine() {
    const LineOptions& l = m_cl.line;
    std::string settings = CMotorDriver::SettingsString(l.baud, l.framing);
    LineSettings ls;
    if (!ParseLineSettings(settings, ls))
        return Usage(StrFormat("--baud: %d baud cannot be set on a serial line", l.baud));
    int com = ComNumber(l.port);
    if (com > 0) {
        if (com > kMaxComNumber)
            return Usage(StrFormat("--port: COM%d is beyond COM%d", com, kMaxComNumber));
        m_strDevice = ResolveComPort(com);
        if (m_strDevice.empty())
            return DeviceError(StrFormat("COM%d: no such port (no COM%d link in %s and no "
                                         "serial device with that number; see 'halvik-cli ports')",
                                         com, com, PortFolder().c_str()));
    } else {
        m_strDevice = l.port;
    }
    if (!m_drv.OpenPortPath(m_strDevice, settings)) {
        return DeviceError(StrFormat("cannot open %s%s: %s", m_strDevice.c_str(),
                                     com > 0 ? StrFormat(" (COM%d)", com).c_str() : "",
                                     PortErrorText(m_drv.LastOpenError()).c_str()));
    }
    m_drv.SetTimeout(static_cast<uint32_t>(l.timeoutMs));
    m_nSlave = static_cast<uint8_t>(l.slave);
    return kExitOk;
}

int CCli::ReadSpeedUnit(DecodeContext& dc) {
    std::vector<uint16_t> r;
    ResultCode rc = ReadRegs(m_drv, m_nSlave, kRegSpeedUnitHz, 1, r);
    if (rc != kResultOk)
        return DeviceError(StrFormat("reading the speed unit (register 0x%04X)", kRegSpeedUnitHz),
                           rc);
    dc.speedUnitHz = r[0] != 0;
    return kExitOk;
}

int CCli::ReadBlockRegs(const BlockDef& def, std::vector<uint16_t>& regs) {
    ResultCode rc = ReadRegs(m_drv, m_nSlave, def.start, def.count, regs);
    if (rc != kResultOk)
        return DeviceError(
            StrFormat("reading %s (0x%04X, %u registers)", def.name, def.start, def.count), rc);
    return kExitOk;
}

Json CCli::BlockJson(const BlockDef& def, const std::vector<uint16_t>& regs,
                     const DecodeContext& dc) {
    Json j = Json::object();
    j["block"] = Json(def.name);
    j["start"] = Json(def.start);
    j["registers"] = RegsJson(regs);
    Json fields = Json::array();
    for (const auto& f : DecodeBlock(def, regs, dc))
        fields.push_back(FieldJson(f));
    j["fields"] = fields;
    return j;
}

void CCli::PrintFields(const BlockDef& def, const std::vector<uint16_t>& regs,
                       const DecodeContext& dc, bool withRegisters) {
    if (withRegisters) {
        Out() << def.title << " (" << def.name << "): " << regs.size() << " registers from "
              << Hex16(def.start) << "\n";
        std::vector<std::vector<std::string>> rows;
        for (size_t i = 0; i < regs.size(); ++i)
            rows.push_back({Hex16(static_cast<uint16_t>(def.start + i)), Hex16(regs[i]),
                            std::to_string(regs[i])});
        PrintTable(Out(), rows);
        Out() << "Fields:\n";
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& f : DecodeBlock(def, regs, dc)) {
        std::string raw;
        for (uint16_t v : f.raw)
            raw += (raw.empty() ? "" : " ") + Hex16(v);
        // The engineering value beside the display text where they differ.
        std::string value = f.value.IsNull()   ? "-"
                            : f.value.IsBool() ? (f.value.flag ? "yes" : "no")
                                               : f.value.text;
        if (!f.unit.empty())
            value += " " + f.unit;
        if (value == f.text || !f.value.IsNumber())
            value.clear();
        rows.push_back({f.name, f.text, value, "[" + raw + "]"});
    }
    PrintTable(Out(), rows);
}

int CCli::WriteResultJson(const char* command, ResultCode rc) {
    if (m_cl.line.json) {
        Json j = Json::object();
        j["command"] = Json(command);
        j["result"] = ErrorJson(rc);
        EmitJson(j);
    } else {
        Out() << ResultText(rc) << "\n";
    }
    return kExitOk;
}

int RunCli(const std::vector<std::string>& args, CliContext& ctx) {
    CommandLine cl;
    std::string err;
    if (!ParseCommandLine(args, cl, err)) {
        ctx.err << "halvik-cli: " << err << "\n(see 'halvik-cli --help')\n";
        return kExitUsage;
    }
    if (cl.help) {
        ctx.out << (cl.command.empty() ? UsageText() : CommandHelp(cl.command));
        return kExitOk;
    }
    if (cl.command.empty()) {
        ctx.err << "halvik-cli: no command given\n" << UsageText();
        return kExitUsage;
    }
    CCli cli(cl, ctx);
    return cli.Run();
}
