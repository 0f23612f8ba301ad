#include "cli/Commands.h"

#include "cli/Options.h"
#include "driver/CanOpen.h"
#include "driver/Catalogue.h"
#include "driver/ConfigFile.h"
#include "driver/Format.h"
#include "driver/Json.h"
#include "modbus/LinkStats.h"
#include "serial/PortMap.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Every step returns an exit status; 0 means "go on".
class CCli {
public:
    CCli(const CommandLine& cl, CliContext& ctx) : m_cl(cl), m_ctx(ctx) {}
    int Run();

private:
    // Output helpers.
    std::ostream& Out() { return m_ctx.out; }
    // Messages for people; kept off stdout when stdout carries JSON.
    std::ostream& Note() { return m_cl.line.json ? m_ctx.err : m_ctx.out; }
    int Usage(const std::string& msg) {
        m_ctx.err << "halvik-cli: " << msg << "\n";
        return kExitUsage;
    }
    int DeviceError(const std::string& what, ResultCode rc) {
        m_ctx.err << "halvik-cli: " << what << ": " << ResultMessage(rc) << "\n";
        return NameLineLoss();
    }
    int DeviceError(const std::string& msg) {
        m_ctx.err << "halvik-cli: " << msg << "\n";
        return NameLineLoss();
    }
    // "串口未打开" alone would puzzle someone whose adapter was just pulled.
    int NameLineLoss() {
        if (m_drv.LineLost())
            m_ctx.err << "halvik-cli: " << m_strDevice
                      << ": the device was removed (the line hung up)\n";
        return kExitDevice;
    }
    void EmitJson(const Json& j, bool pretty = true) {
        Out() << DumpJson(j, pretty) << "\n";
        Out().flush();
    }
    bool Stopped() const { return m_ctx.stopRequested && m_ctx.stopRequested->load(); }
    void ArmStop(bool on) {
        if (m_ctx.stopArmed)
            m_ctx.stopArmed->store(on);
    }
    // Sleeps until the deadline or a stop request; false on a stop request.
    bool SleepUntil(Clock::time_point deadline) {
        while (Clock::now() < deadline) {
            if (Stopped())
                return false;
            auto left = deadline - Clock::now();
            std::this_thread::sleep_for(
                std::min<Clock::duration>(left, std::chrono::milliseconds(20)));
        }
        return !Stopped();
    }
    int NeedArgs(size_t lo, size_t hi, const char* usage) {
        if (m_cl.args.size() < lo || m_cl.args.size() > hi)
            return Usage(std::string("usage: halvik-cli ") + usage);
        return kExitOk;
    }

    int OpenLine();
    int ReadSpeedUnit(DecodeContext& dc);
    int ReadBlockRegs(const BlockDef& def, std::vector<uint16_t>& regs);

    int CmdPorts();
    int CmdInfo();
    int CmdIdent();
    int CmdStatus();
    int CmdRead();
    int CmdReg();
    int CmdSdo();
    int CmdRun();
    int CmdMove();
    int CmdStop();
    int CmdClearPosition();
    int CmdLearn();
    int CmdExport();
    int CmdImport();

    int ReadImage(const ConfigImage* wanted, ConfigImage& img);
    int WriteResultJson(const char* command, ResultCode rc);
    int ScaleSpeedArg(const std::string& text, const char* what, int64_t lo, int64_t hi, bool raw,
                      int64_t& out);
    void PrintFields(const BlockDef& def, const std::vector<uint16_t>& regs,
                     const DecodeContext& dc, bool withRegisters);
    Json BlockJson(const BlockDef& def, const std::vector<uint16_t>& regs, const DecodeContext& dc);
    void PrintDifferences(std::ostream& os, const std::vector<Difference>& diffs,
                          const char* deviceLabel);
    int VerifyCommBlocks(const ConfigImage& file, std::vector<Difference>& diffs);

    const CommandLine& m_cl;
    CliContext& m_ctx;
    CMotorDriver m_drv;
    uint8_t m_nSlave = 1;
    std::string m_strDevice;
};

std::string Hex16(uint16_t v) {
    return StrFormat("0x%04X", v);
}

void PrintTable(std::ostream& os, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent = "  ") {
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

} // namespace

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
        {"learn", &CCli::CmdLearn},   {"export", &CCli::CmdExport},
        {"import", &CCli::CmdImport},
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
    ResultCode rc = ReadRegs(m_drv, m_nSlave, 0x0036, 1, r);
    if (rc != kResultOk)
        return DeviceError("reading the speed unit (register 0x0036)", rc);
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

namespace {

struct RegType {
    const char* name;
    int regs;
    bool isSigned;
    bool isFloat;
};

const RegType kRegTypes[] = {
    {"u16", 1, false, false}, {"i16", 1, true, false}, {"u32", 2, false, false},
    {"i32", 2, true, false},  {"f32", 2, false, true},
};

const RegType* FindRegType(const std::string& n) {
    for (const auto& t : kRegTypes)
        if (n == t.name)
            return &t;
    return nullptr;
}

// The register bits for a typed value: decimal within the type's range, or a
// 0x bit pattern of the type's width.
bool EncodeRegValue(const RegType& t, const std::string& text, uint32_t& bits, std::string& err) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const uint64_t mask = t.regs == 2 ? 0xFFFFFFFFull : 0xFFFFull;
    if (hex) {
        int64_t v;
        if (!ParseInteger(text, v) || v < 0 || static_cast<uint64_t>(v) > mask) {
            err = "VALUE: '" + text + "' is not a " + std::to_string(t.regs * 16) + "-bit pattern";
            return false;
        }
        bits = static_cast<uint32_t>(v);
        return true;
    }
    if (t.isFloat) {
        float f = 0;
        if (!IsStrictDecimal(text) || std::sscanf(text.c_str(), "%f", &f) != 1 ||
            !std::isfinite(f)) {
            err = "VALUE: '" + text + "' is not a number for f32";
            return false;
        }
        std::memcpy(&bits, &f, sizeof bits);
        return true;
    }
    int64_t lo = t.isSigned ? -static_cast<int64_t>((mask + 1) / 2) : 0;
    int64_t hi = t.isSigned ? static_cast<int64_t>((mask + 1) / 2 - 1) : static_cast<int64_t>(mask);
    int64_t v;
    if (!ParseIntegerIn(text, lo, hi, (std::string("VALUE (") + t.name + ")").c_str(), v, err))
        return false;
    bits = static_cast<uint32_t>(static_cast<uint64_t>(v) & mask);
    return true;
}

Json TypedValueJson(const RegType& t, uint32_t bits, std::string& text) {
    if (t.isFloat) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        text = FormatFloat(f);
        return std::isfinite(f) ? JsonNumber(text) : Json();
    }
    int64_t v;
    if (t.regs == 1)
        v = t.isSigned ? static_cast<int16_t>(bits) : static_cast<int64_t>(bits & 0xFFFF);
    else
        v = t.isSigned ? static_cast<int32_t>(bits) : static_cast<int64_t>(bits);
    text = std::to_string(v);
    return Json(v);
}

} // namespace

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

int CCli::CmdReg() {
    const char* usage = "reg read ADDR [--count N] [--type u16|i16|u32|i32|f32]\n"
                        "       halvik-cli reg write ADDR VALUE [--type u16|i16|u32|i32|f32]";
    if (m_cl.args.empty())
        return Usage(std::string("usage: halvik-cli ") + usage);
    const std::string& sub = m_cl.args[0];
    const RegType* type = FindRegType(m_cl.Value("--type") ? *m_cl.Value("--type") : "u16");
    if (!type)
        return Usage("--type must be u16, i16, u32, i32 or f32");
    std::string err;
    int64_t addr = 0;
    if (sub == "read") {
        if (m_cl.args.size() != 2)
            return Usage(std::string("usage: halvik-cli ") + usage);
        int64_t count = 1;
        if (!ParseIntegerIn(m_cl.args[1], 0, 0xFFFF, "ADDR", addr, err))
            return Usage(err);
        if (const std::string* v = m_cl.Value("--count"))
            if (!ParseIntegerIn(*v, 1, 125 / type->regs, "--count", count, err))
                return Usage(err);
        const int64_t total = count * type->regs;
        if (addr + total > 0x10000)
            return Usage("ADDR + registers runs past 0xFFFF");
        if (int e = OpenLine())
            return e;
        std::vector<uint16_t> regs;
        ResultCode rc = ReadRegs(m_drv, m_nSlave, static_cast<uint16_t>(addr),
                                 static_cast<uint16_t>(total), regs);
        if (rc != kResultOk)
            return DeviceError(StrFormat("reading %lld registers from 0x%04X",
                                         static_cast<long long>(total),
                                         static_cast<unsigned>(addr)),
                               rc);
        Json values = Json::array();
        std::vector<std::vector<std::string>> rows;
        for (int64_t k = 0; k < count; ++k) {
            size_t i = static_cast<size_t>(k * type->regs);
            uint32_t bits =
                type->regs == 2 ? (static_cast<uint32_t>(regs[i]) << 16) | regs[i + 1] : regs[i];
            std::vector<uint16_t> raw(regs.begin() + static_cast<long>(i),
                                      regs.begin() + static_cast<long>(i) + type->regs);
            std::string text;
            Json v = TypedValueJson(*type, bits, text);
            std::string hex =
                type->regs == 2 ? StrFormat("0x%08X", bits) : StrFormat("0x%04X", bits);
            uint16_t a = static_cast<uint16_t>(addr + k * type->regs);
            Json o = Json::object();
            o["address"] = Json(a);
            o["registers"] = RegsJson(raw);
            o["hex"] = Json(hex);
            o["value"] = v;
            values.push_back(o);
            rows.push_back({Hex16(a), hex, text});
        }
        if (m_cl.line.json) {
            Json j = Json::object();
            j["type"] = Json(type->name);
            j["values"] = values;
            EmitJson(j);
        } else {
            PrintTable(Out(), rows, "");
        }
        return kExitOk;
    }
    if (sub == "write") {
        if (m_cl.args.size() != 3)
            return Usage(std::string("usage: halvik-cli ") + usage);
        if (m_cl.Value("--count"))
            return Usage("--count is for 'reg read'");
        if (!ParseIntegerIn(m_cl.args[1], 0, 0xFFFF - (type->regs - 1), "ADDR", addr, err))
            return Usage(err);
        uint32_t bits = 0;
        if (!EncodeRegValue(*type, m_cl.args[2], bits, err))
            return Usage(err);
        if (int e = OpenLine())
            return e;
        ResultCode rc;
        std::vector<uint16_t> regs;
        if (type->regs == 1) {
            regs = {static_cast<uint16_t>(bits)};
            rc = m_drv.WriteRegister(m_nSlave, static_cast<uint16_t>(addr), regs[0]);
        } else {
            regs = {static_cast<uint16_t>(bits >> 16), static_cast<uint16_t>(bits & 0xFFFF)};
            rc = m_drv.WriteRegisters(m_nSlave, static_cast<uint16_t>(addr), regs.data(), 2);
        }
        if (rc != kResultOk)
            return DeviceError(StrFormat("writing 0x%04X", static_cast<unsigned>(addr)), rc);
        if (m_cl.line.json) {
            Json j = Json::object();
            j["address"] = Json(addr);
            j["registers"] = RegsJson(regs);
            j["result"] = ErrorJson(rc);
            EmitJson(j);
        } else {
            Out() << ResultText(rc) << "\n";
        }
        return kExitOk;
    }
    return Usage("reg: expected 'read' or 'write', not '" + sub + "'");
}

namespace {

std::string SdoBytes(uint16_t command, uint16_t index, uint8_t sub, uint32_t data) {
    return StrFormat("%02X %02X %02X %02X %02X %02X %02X %02X", command & 0xFF, index & 0xFF,
                     index >> 8, sub, data & 0xFF, (data >> 8) & 0xFF, (data >> 16) & 0xFF,
                     data >> 24);
}

} // namespace

int CCli::CmdSdo() {
    const char* usage = "sdo upload INDEX SUB | sdo download INDEX SUB VALUE --size 1|2|3|4 | "
                        "sdo save [SUB]";
    if (m_cl.args.empty())
        return Usage(std::string("usage: halvik-cli ") + usage);
    const std::string& op = m_cl.args[0];
    std::string err;
    int64_t index = 0, sub = 0, size = 0;
    uint32_t data = 0;
    uint8_t command = 0;
    if (op == "upload" || op == "download") {
        bool down = op == "download";
        if (m_cl.args.size() != (down ? 4u : 3u))
            return Usage(std::string("usage: halvik-cli ") + usage);
        if (!ParseIntegerIn(m_cl.args[1], 0, 0xFFFF, "INDEX", index, err) ||
            !ParseIntegerIn(m_cl.args[2], 0, 0xFF, "SUB", sub, err))
            return Usage(err);
        if (down) {
            const std::string* s = m_cl.Value("--size");
            if (!s)
                return Usage("sdo download needs --size 1|2|3|4");
            if (!ParseIntegerIn(*s, 1, 4, "--size", size, err))
                return Usage(err);
            const std::string& vt = m_cl.args[3];
            const bool hex = vt.size() > 2 && vt[0] == '0' && (vt[1] == 'x' || vt[1] == 'X');
            const int64_t span = int64_t(1) << (8 * size);
            int64_t v;
            if (!ParseIntegerIn(
                    vt, hex ? 0 : -span / 2, span - 1,
                    StrFormat("VALUE (%lld bytes)", static_cast<long long>(size)).c_str(), v, err))
                return Usage(err);
            data =
                static_cast<uint32_t>(static_cast<uint64_t>(v) & static_cast<uint64_t>(span - 1));
            command = SdoDownloadCommand(static_cast<int>(size));
        } else {
            if (m_cl.Value("--size"))
                return Usage("--size is for 'sdo download'");
            command = kSdoUpload;
        }
    } else if (op == "save") {
        if (m_cl.args.size() > 2)
            return Usage(std::string("usage: halvik-cli ") + usage);
        sub = 2;
        if (m_cl.args.size() == 2 && !ParseIntegerIn(m_cl.args[1], 1, 0xFF, "SUB", sub, err))
            return Usage(err);
        index = 0x1010;
        data = 0x65766173; // "save", 's' in the lowest byte
        size = 4;
        command = kSdoDownload4;
    } else {
        return Usage("sdo: expected 'upload', 'download' or 'save', not '" + op + "'");
    }
    if (int e = OpenLine())
        return e;
    SdoReply reply;
    ResultCode rc = m_drv.SdoAccess(m_nSlave, command, static_cast<uint16_t>(index),
                                    static_cast<uint8_t>(sub), data, reply);
    if (rc != kResultOk)
        return DeviceError(StrFormat("SDO access to 0x%04X sub-index %lld",
                                     static_cast<unsigned>(index), static_cast<long long>(sub)),
                           rc);
    const uint8_t ansSub = static_cast<uint8_t>(reply.subindex & 0xFF);
    const bool isAbort = reply.command == kSdoAbort;
    const int upSize = SdoUploadSize(reply.command);
    const bool expected = command == kSdoUpload ? upSize > 0 : reply.command == kSdoDownloadAck;
    const bool sameObject = reply.index == index && ansSub == sub;
    std::string abortText = isAbort ? SdoAbortText(reply.data) : "";
    Json j = Json::object();
    Json req = Json::object();
    req["command"] = Json(StrFormat("0x%02X", command));
    req["index"] = Json(index);
    req["sub"] = Json(sub);
    req["data"] = Json(data);
    req["bytes"] =
        (Json(SdoBytes(command, static_cast<uint16_t>(index), static_cast<uint8_t>(sub), data)));
    j["request"] = req;
    Json ans = Json::object();
    ans["command"] = Json(StrFormat("0x%02X", reply.command));
    ans["index"] = Json(reply.index);
    ans["sub"] = Json(ansSub);
    ans["data"] = Json(reply.data);
    ans["bytes"] = Json(SdoBytes(reply.command, reply.index, ansSub, reply.data));
    j["answer"] = ans;
    std::vector<std::vector<std::string>> rows = {
        {"request",
         SdoBytes(command, static_cast<uint16_t>(index), static_cast<uint8_t>(sub), data)},
        {"answer", SdoBytes(reply.command, reply.index, ansSub, reply.data)},
        {"answer command", StrFormat("0x%02X", reply.command)},
        {"object", StrFormat("0x%04X sub-index %u", reply.index, ansSub)},
    };
    if (isAbort) {
        Json a = Json::object();
        a["code"] = Json(StrFormat("0x%08X", reply.data));
        a["text"] = Json(abortText);
        j["abort"] = a;
        rows.push_back({"aborted", abortText});
    } else if (upSize > 0 && command == kSdoUpload) {
        uint32_t v = upSize == 4 ? reply.data : reply.data & ((1u << (8 * upSize)) - 1);
        int64_t sv = upSize == 4   ? static_cast<int32_t>(v)
                     : upSize == 3 ? static_cast<int64_t>(v)
                     : upSize == 2 ? static_cast<int16_t>(v)
                                   : static_cast<int8_t>(v);
        j["size"] = Json(upSize);
        j["value"] = Json(v);
        j["signed"] = Json(sv);
        rows.push_back({"size", StrFormat("%d byte%s", upSize, upSize == 1 ? "" : "s")});
        rows.push_back({"data", StrFormat("0x%0*X (%u, signed %lld)", upSize * 2, v, v,
                                          static_cast<long long>(sv))});
    } else if (reply.command == kSdoDownloadAck) {
        rows.push_back({"result", "written"});
    }
    j["ok"] = Json(expected && sameObject);
    if (m_cl.line.json)
        EmitJson(j);
    else
        PrintTable(Out(), rows, "");
    if (isAbort)
        return DeviceError(StrFormat("访问对象(索引号:0x%04X,子索引:%d)传送终止：%s", reply.index,
                                     ansSub, abortText.c_str()));
    if (!expected)
        return DeviceError(StrFormat("unexpected SDO answer command 0x%02X", reply.command));
    if (!sameObject)
        return DeviceError(StrFormat("the answer names object 0x%04X sub-index %u, not the one "
                                     "asked for",
                                     reply.index, ansSub));
    return kExitOk;
}

int CCli::ScaleSpeedArg(const std::string& text, const char* what, int64_t lo, int64_t hi, bool raw,
                        int64_t& out) {
    std::string err;
    if (raw) {
        if (!ParseIntegerIn(text, lo, hi, what, out, err))
            return Usage(err);
        return kExitOk;
    }
    if (!IsStrictDecimal(text))
        return Usage(StrFormat("%s: '%s' is not a number", what, text.c_str()));
    DecodeContext dc;
    if (int e = ReadSpeedUnit(dc))
        return e;
    const int decimals = dc.speedUnitHz ? 0 : 1;
    out = ScaleDecimal(text, decimals);
    if (out < lo || out > hi)
        return Usage(StrFormat("%s: %s Hz is out of range %s..%s Hz", what, text.c_str(),
                               FormatScaled(lo, decimals).c_str(),
                               FormatScaled(hi, decimals).c_str()));
    if (ScaleDecimal(text, decimals + 6) != out * 1000000)
        m_ctx.err << "halvik-cli: note: " << what << " " << text << " Hz is sent as "
                  << FormatScaled(out, decimals) << " Hz (resolution " << (decimals ? "0.1" : "1")
                  << " Hz)\n";
    return kExitOk;
}

int CCli::CmdRun() {
    const char* usage = "run pwm PERCENT | run freq HZ [--raw]";
    if (m_cl.args.size() != 2)
        return Usage(std::string("usage: halvik-cli ") + usage);
    const std::string& kind = m_cl.args[0];
    const std::string& val = m_cl.args[1];
    int64_t v = 0;
    int runKind;
    if (kind == "pwm") {
        if (m_cl.Has("--raw"))
            return Usage("--raw is for 'run freq'");
        if (!IsStrictDecimal(val))
            return Usage("PERCENT: '" + val + "' is not a number");
        v = ScaleDecimal(val, 1);
        if (v < -1000 || v > 1000)
            return Usage("PERCENT: " + val + " is out of range -100.0..100.0");
        if (ScaleDecimal(val, 7) != v * 1000000)
            m_ctx.err << "halvik-cli: note: " << val << " % is sent as " << FormatScaled(v, 1)
                      << " % (resolution 0.1 %)\n";
        runKind = 0;
        if (int e = OpenLine())
            return e;
    } else if (kind == "freq") {
        if (!m_cl.Has("--raw") && !IsStrictDecimal(val))
            return Usage("HZ: '" + val + "' is not a number");
        if (int e = OpenLine())
            return e;
        if (int e = ScaleSpeedArg(val, "HZ", -32768, 32767, m_cl.Has("--raw"), v))
            return e;
        runKind = 1;
    } else {
        return Usage(std::string("usage: halvik-cli ") + usage);
    }
    ResultCode rc = m_drv.WriteRunCommand(m_nSlave, ToReg16(v), runKind);
    if (rc != kResultOk)
        return DeviceError(runKind == 0 ? "writing the output PWM (0x0042)"
                                        : "writing the commutation frequency (0x0043)",
                           rc);
    return WriteResultJson("run", rc);
}

int CCli::CmdMove() {
    if (int e = NeedArgs(0, 0, "move --freq HZ --position N [--relative] [--raw]"))
        return e;
    const std::string* f = m_cl.Value("--freq");
    const std::string* p = m_cl.Value("--position");
    if (!f || !p)
        return Usage("move needs --freq HZ and --position N");
    std::string err;
    int64_t pos = 0, freq = 0;
    if (!ParseIntegerIn(*p, INT32_MIN, INT32_MAX, "--position", pos, err))
        return Usage(err);
    if (!m_cl.Has("--raw") && !IsStrictDecimal(*f))
        return Usage("--freq: '" + *f + "' is not a number");
    if (int e = OpenLine())
        return e;
    if (int e = ScaleSpeedArg(*f, "--freq", 1, 65535, m_cl.Has("--raw"), freq))
        return e;
    ResultCode rc =
        m_drv.WritePositionCommand(m_nSlave, static_cast<uint16_t>(freq), static_cast<int32_t>(pos),
                                   m_cl.Has("--relative") ? 1 : 0);
    if (rc != kResultOk)
        return DeviceError("writing the position move (0x0044)", rc);
    return WriteResultJson("move", rc);
}

int CCli::CmdStop() {
    if (int e = NeedArgs(0, 1, "stop [normal|emergency|free]"))
        return e;
    std::string mode = m_cl.args.empty() ? "normal" : m_cl.args[0];
    uint16_t code;
    if (mode == "normal")
        code = 0;
    else if (mode == "emergency")
        code = 1;
    else if (mode == "free")
        code = 2;
    else
        return Usage("stop: mode must be normal, emergency or free, not '" + mode + "'");
    if (int e = OpenLine())
        return e;
    ResultCode rc = m_drv.WriteStopCommand(m_nSlave, code);
    if (rc != kResultOk)
        return DeviceError("writing the stop command (0x0040)", rc);
    return WriteResultJson("stop", rc);
}

int CCli::CmdClearPosition() {
    if (int e = NeedArgs(0, 0, "clear-position"))
        return e;
    if (int e = OpenLine())
        return e;
    ResultCode rc = m_drv.WriteRegister(m_nSlave, kRegClearPosition, 1);
    if (rc != kResultOk)
        return DeviceError("clearing the rotation position (0x700A)", rc);
    return WriteResultJson("clear-position", rc);
}

int CCli::CmdLearn() {
    if (int e = NeedArgs(0, 0, "learn [--timeout-s S]"))
        return e;
    int64_t limitS = 120;
    std::string err;
    if (const std::string* v = m_cl.Value("--timeout-s"))
        if (!ParseIntegerIn(*v, 1, 86400, "--timeout-s", limitS, err))
            return Usage(err);
    if (int e = OpenLine())
        return e;
    LearnBlock rec;
    rec.At(0x00E1) = 1;
    ResultCode rc = m_drv.WriteLearnBlock(m_nSlave, rec);
    if (rc != kResultOk && rc != kResultDeviceBusy) // busy: accepted, learning under way
        return DeviceError("starting the motor learning", rc);

    const bool tty = isatty(STDERR_FILENO) != 0 && &m_ctx.err == &std::cerr;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(limitS);
    auto next = start;
    std::string outcome; // the driver's own outcome text
    ResultCode pollRc = kResultOk;
    enum { Running, Success, Failure, Abnormal, PollFailed, TimedOut, Interrupted } state = Running;
    ArmStop(true);
    int polls = 0;
    while (state == Running) {
        next += std::chrono::milliseconds(250);
        if (!SleepUntil(std::min(next, deadline))) {
            state = Interrupted;
            break;
        }
        if (Clock::now() >= deadline) {
            state = TimedOut;
            break;
        }
        std::vector<uint16_t> regs;
        rc = ReadRegs(m_drv, m_nSlave, LearnBlock::kStart, 11, regs);
        ++polls;
        if (rc != kResultOk) {
            pollRc = rc;
            outcome = ResultText(rc);
            state = PollFailed;
            break;
        }
        for (size_t i = 0; i < regs.size(); ++i)
            rec.m_reg[i] = regs[i];
        const uint16_t learnState = rec.At(0x00E2);
        if (learnState == 3) {
            outcome = "学习成功";
            state = Success;
        } else if (learnState == 4) {
            outcome = "学习失败";
            state = Failure;
        } else if (rec.At(0x00E1) == 0) {
            outcome = "学习异常终止";
            state = Abnormal;
        }
        double secs = std::chrono::duration<double>(Clock::now() - start).count();
        std::string line = StrFormat("learning... %.1f s, state %u", secs, learnState);
        if (tty)
            m_ctx.err << "\r" << line << "   " << std::flush;
        else if (polls % 4 == 0 || state != Running)
            m_ctx.err << line << "\n";
    }
    if (tty)
        m_ctx.err << "\n";
    // Closing write: the registers as last read, with the request cleared.
    LearnBlock closing = rec;
    closing.At(0x00E1) = 0;
    ResultCode closeRc = m_drv.WriteLearnBlock(m_nSlave, closing);
    ArmStop(false);
    if (closeRc != kResultOk)
        m_ctx.err << "halvik-cli: the closing write of the learning failed: "
                  << ResultMessage(closeRc) << "\n";

    std::string phase;
    for (uint16_t a = 0x00E5; a <= 0x00EA; ++a)
        phase += StrFormat("%s%02X", phase.empty() ? "" : " ", rec.At(a));
    const char* stateName[] = {"running", "success", "failure",    "abnormal",
                               "error",   "timeout", "interrupted"};
    if (state == TimedOut)
        outcome = StrFormat("no outcome within %lld s", static_cast<long long>(limitS));
    else if (state == Interrupted)
        outcome = "interrupted";
    if (m_cl.line.json) {
        Json j = Json::object();
        j["outcome"] = Json(stateName[state]);
        j["text"] = Json(outcome);
        if (state == PollFailed)
            j["error"] = ErrorJson(pollRc);
        j["learningState"] = Json(rec.At(0x00E2));
        Json pd = Json::array();
        for (uint16_t a = 0x00E5; a <= 0x00EA; ++a)
            pd.push_back(Json(rec.At(a)));
        j["phaseData"] = pd;
        j["phaseText"] = Json(phase);
        j["seconds"] = (JsonNumber(
            StrFormat("%.1f", std::chrono::duration<double>(Clock::now() - start).count())));
        EmitJson(j);
    } else {
        Out() << "Outcome: " << outcome << "\n";
        if (state == Success)
            Out() << "Phase data: " << phase << "\n";
    }
    switch (state) {
    case Success:
        return kExitOk;
    case PollFailed:
        return DeviceError("motor learning", pollRc);
    case Interrupted:
        m_ctx.err << "halvik-cli: learning interrupted; the learning request was cleared\n";
        return kExitInterrupted;
    default:
        return DeviceError("motor learning: " + outcome);
    }
}

// Reads the parts of the device that wanted names (all of them when null).
int CCli::ReadImage(const ConfigImage* wanted, ConfigImage& img) {
    std::string error;
    if (!ReadDeviceImage(m_drv, m_nSlave, wanted, img, error))
        return DeviceError(error);
    return kExitOk;
}

int CCli::CmdExport() {
    if (int e = NeedArgs(1, 1, "export FILE"))
        return e;
    const std::string& path = m_cl.args[0];
    if (int e = OpenLine())
        return e;
    ConfigImage img;
    // Identification first: a device that does not answer fails here.
    const BlockDef& infoDef = *FindBlock("device-info");
    std::vector<uint16_t> info;
    if (int e = ReadBlockRegs(infoDef, info))
        return e;
    DecodeContext dc;
    if (int e = ReadSpeedUnit(dc))
        return e;
    if (int e = ReadImage(nullptr, img))
        return e;
    img.device = MakeConfigDevice(info, m_nSlave);
    ResultCode rc = m_drv.ReadDeviceIdText(m_nSlave, img.device.identification);
    if (rc == kResultOk)
        img.device.hasIdentification = true;
    else
        m_ctx.err << "halvik-cli: note: no device identification text (" << ResultMessage(rc)
                  << "); exporting without it\n";
    img.time = UtcNow();
    std::string text = BuildConfigText(img, dc);

    if (path == "-") {
        Out() << text;
        return kExitOk;
    }
    // Written beside the target and renamed over it, so a failure never
    // leaves half a file where a good one was.
    std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f << text;
        f.flush();
        if (!f) {
            std::remove(tmp.c_str());
            return Usage("cannot write " + tmp + ": " + std::strerror(errno));
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        std::remove(tmp.c_str());
        return Usage("cannot write " + path + ": " + std::strerror(err));
    }
    if (m_cl.line.json) {
        Json j = Json::object();
        j["file"] = Json(path);
        j["blocks"] = Json(static_cast<int64_t>(img.blocks.size()));
        j["pdos"] = Json(static_cast<int64_t>(img.pdos.size()));
        j["sync"] = Json(img.hasSync);
        EmitJson(j);
    } else {
        Out() << "Exported " << img.blocks.size() << " blocks, " << img.pdos.size()
              << " PDOs and the SYNC objects to " << path << "\n";
    }
    return kExitOk;
}

void CCli::PrintDifferences(std::ostream& os, const std::vector<Difference>& diffs,
                            const char* deviceLabel) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"where", "item", deviceLabel, "file"});
    for (const auto& d : diffs)
        rows.push_back({d.where, d.item, d.device, d.file});
    PrintTable(os, rows);
}

static Json DiffsJson(const std::vector<Difference>& diffs) {
    Json a = Json::array();
    for (const auto& d : diffs) {
        Json o = Json::object();
        o["where"] = Json(d.where);
        o["item"] = Json(d.item);
        o["device"] = Json(d.device);
        o["file"] = Json(d.file);
        a.push_back(o);
    }
    return a;
}

// Reads the communication blocks back after they were written. When they
// moved the line (slave address, baud rate, parity), the driver may answer
// at the old settings or already at the new ones; both are tried.
int CCli::VerifyCommBlocks(const ConfigImage& file, std::vector<Difference>& diffs) {
    const ConfigImage only = CommBlocksOnly(file);
    if (only.blocks.empty())
        return kExitOk;
    ConfigImage got;
    ResultCode rc = ReadBlocks(m_drv, m_nSlave, only, got);
    if (rc == kResultTimeout || rc == kResultBadReply) {
        const ConfigLine old{m_nSlave, m_cl.line.baud, m_cl.line.framing};
        const ConfigLine now = ConfigLineOf(file, old);
        bool lineMoves = now.baud != old.baud || now.framing != old.framing;
        if (now.slave != old.slave || lineMoves) {
            Note() << StrFormat("No answer at the old settings; trying slave %d, %d baud, %s.\n",
                                now.slave, now.baud, FramingName(now.framing));
            if (lineMoves) {
                m_drv.ClosePort();
                if (!m_drv.OpenPortPath(m_strDevice,
                                        CMotorDriver::SettingsString(now.baud, now.framing)))
                    return DeviceError(StrFormat("cannot reopen %s at %d baud: %s",
                                                 m_strDevice.c_str(), now.baud,
                                                 PortErrorText(m_drv.LastOpenError()).c_str()));
                m_drv.SetTimeout(static_cast<uint32_t>(m_cl.line.timeoutMs));
            }
            m_nSlave = static_cast<uint8_t>(now.slave);
            rc = ReadBlocks(m_drv, m_nSlave, only, got);
            if (rc == kResultOk)
                Note() << StrFormat("The driver now answers at slave %d, %d baud, %s.\n", now.slave,
                                    now.baud, FramingName(now.framing));
        }
    }
    if (rc != kResultOk)
        return DeviceError("reading back the communication settings", rc);
    DecodeContext dc;
    auto d = CompareImages(only, got, dc);
    diffs.insert(diffs.end(), d.begin(), d.end());
    return kExitOk;
}

int CCli::CmdImport() {
    if (int e = NeedArgs(1, 1, "import FILE [--dry-run] [--yes]"))
        return e;
    const std::string& path = m_cl.args[0];
    const bool dryRun = m_cl.Has("--dry-run");
    // The whole file is checked before the port is opened.
    std::string text;
    if (int err = ReadBoundedFile(path, kMaxConfigFileBytes, text)) {
        if (err == EFBIG)
            return Usage(path + ": too large for a configuration file");
        return Usage("cannot read " + path + ": " + std::strerror(err));
    }
    ConfigImage file;
    std::vector<std::string> errors;
    EConfigParse parsed = ParseConfigText(text, file, errors);
    if (parsed == EConfigParse::NotJson)
        return Usage(path + ": not a valid JSON document (" + errors.at(0) + "); nothing written");
    if (parsed != EConfigParse::Ok) {
        m_ctx.err << "halvik-cli: " << path << " cannot be imported; nothing written:\n";
        for (const auto& e : errors)
            m_ctx.err << "  " << e << "\n";
        return kExitUsage;
    }
    if (int e = OpenLine())
        return e;
    DecodeContext dc;
    if (int e = ReadSpeedUnit(dc))
        return e;
    ConfigImage dev;
    if (int e = ReadImage(&file, dev))
        return e;
    auto problems = CheckAgainstDevice(file, dev);
    if (!problems.empty()) {
        m_ctx.err << "halvik-cli: " << path << " does not fit this device; nothing written:\n";
        for (const auto& p : problems)
            m_ctx.err << "  " << p << "\n";
        return kExitUsage;
    }
    if (file.device.present && !file.device.model.empty()) {
        const BlockDef& infoDef = *FindBlock("device-info");
        std::vector<uint16_t> info;
        if (ReadRegs(m_drv, m_nSlave, infoDef.start, infoDef.count, info) == kResultOk) {
            const std::string model = MakeConfigDevice(info, m_nSlave).model;
            if (model != file.device.model)
                m_ctx.err << "halvik-cli: note: the file comes from a '" << file.device.model
                          << "', this device is a '" << model << "'\n";
        }
    }

    auto diffs = CompareImages(file, dev, dc);
    Json report = Json::object();
    report["file"] = Json(path);
    report["dryRun"] = Json(dryRun);
    report["differences"] = DiffsJson(diffs);
    auto finish = [&](const char* result, int status) {
        if (m_cl.line.json) {
            report["result"] = Json(result);
            EmitJson(report);
        }
        return status;
    };
    if (diffs.empty()) {
        Note() << "The device already matches " << path << "; nothing to write.\n";
        return finish("unchanged", kExitOk);
    }
    Note() << diffs.size() << " difference(s) between the device and " << path << ":\n";
    PrintDifferences(Note(), diffs, "device now");
    if (dryRun) {
        Note() << "Dry run: nothing written.\n";
        return finish("dry-run", kExitOk);
    }

    const ConfigWritePlan plan = PlanConfigWrite(file, dev);

    if (!m_cl.Has("--yes")) {
        if (!m_ctx.interactive)
            return Usage("refusing to write without confirmation: standard input is not a "
                         "terminal; pass --yes to write, or --dry-run to only compare");
        std::string q = StrFormat("Write these changes to slave %u on %s? [y/N] ", m_nSlave,
                                  m_strDevice.c_str());
        std::string a = m_ctx.ask ? m_ctx.ask(q) : std::string();
        if (a != "y" && a != "Y" && a != "yes" && a != "YES" && a != "Yes") {
            Note() << "Cancelled; nothing written.\n";
            return finish("cancelled", kExitCancelled);
        }
    }

    Json written = Json::array();
    auto writeFailed = [&](const std::string& what, const std::string& msg) {
        m_ctx.err << "halvik-cli: writing " << what << " failed: " << msg << "\n";
        m_ctx.err << "halvik-cli: written before the failure: "
                  << (written.empty() ? std::string("nothing") : DumpJson(written, false)) << "\n";
        report["written"] = written;
        return finish("write-failed", kExitDevice);
    };
    auto wrote = [&](const std::string& name) {
        Note() << "Wrote " << name << ".\n";
        written.push_back(Json(name));
    };
    std::string what, error;
    if (!WriteConfigPart(m_drv, m_nSlave, file, dev, plan, EWritePart::Main, wrote, what, error))
        return writeFailed(what, error);

    // Everything but the communication blocks is checked while the line is
    // surely as it was.
    const ConfigImage rest = WithoutCommBlocks(file);
    std::vector<Difference> after;
    if (!rest.blocks.empty() || !rest.pdos.empty() || rest.hasSync) {
        ConfigImage back;
        if (int e = ReadImage(&rest, back)) {
            report["written"] = written;
            return finish("verify-failed", e);
        }
        after = CompareImages(rest, back, dc);
    }
    if (!plan.commBlocks.empty()) {
        Note() << "Writing the communication settings last: they can change the line settings "
                  "or the slave address.\n";
        if (!WriteConfigPart(m_drv, m_nSlave, file, dev, plan, EWritePart::Comm, wrote, what,
                             error))
            return writeFailed(what, error);
    }
    report["written"] = written;
    if (int e = VerifyCommBlocks(file, after))
        return finish("verify-failed", e);
    report["verification"] = DiffsJson(after);
    if (!after.empty()) {
        m_ctx.err << "halvik-cli: verification found " << after.size()
                  << " difference(s) between the device and " << path << ":\n";
        PrintDifferences(m_ctx.err, after, "device after");
        return finish("differences", kExitDiffers);
    }
    Note() << "Verified: the device matches " << path << ".\n";
    return finish("ok", kExitOk);
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
