#include "cli/CliSession.h"

#include "driver/Format.h"
#include "driver/Texts.h"
#include "lang/EnglishTable.h"
#include "lang/Tr.h"
#include "serial/PortMap.h"

#include <cstdlib>
#include <ctime>
#include <thread>

namespace {

// Display width in a terminal of UTF-8 text: East Asian wide characters count two.
size_t DisplayWidth(const std::string& s) {
    size_t w = 0;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        w += wide ? 2 : 1;
    }
    return w;
}

// "COM3", "com3" or "3" -> 3; 0 for anything else.
int ComNumber(const std::string& port) {
    const bool com = port.size() > 3 && (port.rfind("COM", 0) == 0 || port.rfind("com", 0) == 0);
    const std::string digits = com ? port.substr(3) : port;
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoi(digits);
}

Json ValueJson(const FieldValue& v) {
    switch (v.kind) {
    case FieldValue::EKind::Number:
        return JsonNumber(v.text);
    case FieldValue::EKind::Bool:
        return v.flag;
    case FieldValue::EKind::String:
        return v.text;
    case FieldValue::EKind::Null:
        break;
    }
    return nullptr;
}

} // namespace

std::string Hex16(uint16_t v) {
    return StrFormat("0x%04X", v);
}

void PrintTable(std::ostream& os, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent) {
    std::vector<size_t> widths;
    for (const auto& r : rows)
        for (size_t c = 0; c < r.size(); ++c) {
            widths.resize(std::max(widths.size(), c + 1));
            widths[c] = std::max(widths[c], DisplayWidth(r[c]));
        }
    for (const auto& r : rows) {
        std::string line = indent;
        for (size_t c = 0; c < r.size(); ++c)
            line +=
                r[c] + std::string(c + 1 < r.size() ? widths[c] - DisplayWidth(r[c]) + 2 : 0, ' ');
        os << line.erase(line.find_last_not_of(' ') + 1) << "\n";
    }
}

Json FieldJson(const DecodedField& f, const std::string& name) {
    return {{"name", name},   {"address", f.addr}, {"raw", f.raw}, {"value", ValueJson(f.value)},
            {"unit", f.unit}, {"text", f.text}};
}

Json BlockJson(const BlockDef& def, const std::vector<uint16_t>& regs, const DecodeContext& dc) {
    Json fields = Json::array();
    for (const auto& f : DecodeBlock(def, regs, dc))
        fields.push_back(FieldJson(f, f.name));
    return {{"block", def.name}, {"start", def.start}, {"registers", regs}, {"fields", fields}};
}

Json ErrorJson(ResultCode rc) {
    return {{"code", rc}, {"text", ResultText(rc)}};
}

std::string UtcNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

int CCli::Usage(const std::string& msg) {
    m_ctx.err << "halvik-cli: " << msg << "\n(see 'halvik-cli --help')\n";
    return kExitUsage;
}

int CCli::Refuse(const std::string& msg) {
    m_ctx.err << "halvik-cli: " << msg << "\n";
    return kExitUsage;
}

bool CCli::Confirmed(const std::string& question) {
    m_ctx.err << question << " [y/N] " << std::flush;
    std::string a;
    std::getline(m_ctx.in, a);
    return a == "y" || a == "Y" || a == "yes" || a == "YES" || a == "Yes";
}

uint16_t CCli::StopModeCode() const {
    return m_cl.mode == "emergency" ? kStopEmergency
           : m_cl.mode == "free"    ? kStopFree
                                    : kStopNormal;
}

int CCli::DeviceError(const std::string& msg) {
    m_ctx.err << "halvik-cli: " << msg << "\n";
    // "串口未打开" alone would puzzle someone whose adapter was just pulled.
    if (m_drv.LineLost())
        m_ctx.err << "halvik-cli: " << m_strDevice
                  << ": the device was removed (the line hung up)\n";
    return kExitDevice;
}

int CCli::DeviceError(const std::string& what, ResultCode rc) {
    return DeviceError(what + ": " + ResultMessage(rc));
}

void CCli::EmitJson(const Json& j, bool pretty) {
    Out() << DumpJson(j, pretty) << "\n";
    Out().flush();
}

bool CCli::SleepUntil(Clock::time_point deadline) {
    while (Clock::now() < deadline && !Stopped())
        std::this_thread::sleep_for(
            std::min<Clock::duration>(deadline - Clock::now(), std::chrono::milliseconds(20)));
    return !Stopped();
}

int CCli::Run() {
    using Handler = int (CCli::*)();
    static const std::pair<const char*, Handler> kHandlers[] = {
        {"ports", &CCli::CmdPorts},
        {"info", &CCli::CmdInfo},
        {"ident", &CCli::CmdIdent},
        {"status", &CCli::CmdStatus},
        {"read", &CCli::CmdRead},
        {"reg read", &CCli::CmdRegRead},
        {"reg write", &CCli::CmdRegWrite},
        {"sdo upload", &CCli::CmdSdo},
        {"sdo download", &CCli::CmdSdo},
        {"sdo save", &CCli::CmdSdo},
        {"run pwm", &CCli::CmdRun},
        {"run freq", &CCli::CmdRun},
        {"move", &CCli::CmdMove},
        {"stop", &CCli::CmdStop},
        {"clear-position", &CCli::CmdClearPosition},
        {"learn", &CCli::CmdLearn},
        {"step", &CCli::CmdStep},
        {"scan", &CCli::CmdScan},
        {"export", &CCli::CmdExport},
        {"import", &CCli::CmdImport},
        {"monitor", &CCli::CmdMonitor},
        {"get", &CCli::CmdGet},
        {"set", &CCli::CmdSet},
        {"fields", &CCli::CmdFields},
    };
    for (const auto& [name, fn] : kHandlers)
        if (m_cl.command == name)
            return (this->*fn)();
    return Usage("unknown command '" + m_cl.command + "'");
}

int CCli::OpenLine() {
    std::string settings;
    if (int e = ResolveLine(settings))
        return e;
    if (!m_drv.OpenPortPath(m_strDevice, settings))
        return PortOpenError(m_drv.LastOpenError());
    m_drv.SetTimeout(static_cast<uint32_t>(m_cl.timeoutMs));
    m_nSlave = static_cast<uint8_t>(m_cl.slave);
    return kExitOk;
}

int CCli::ResolveLine(std::string& settings) {
    settings = CMotorDriver::SettingsString(m_cl.baud, m_cl.framing);
    LineSettings ls;
    if (!ParseLineSettings(settings, ls))
        return Usage(StrFormat("--baud: %d baud cannot be set on a serial line", m_cl.baud));
    const int com = ComNumber(m_cl.port);
    m_strDevice = com > 0 ? ResolveComPort(com) : m_cl.port;
    if (com > kMaxComNumber)
        return Usage(StrFormat("--port: COM%d is beyond COM%d", com, kMaxComNumber));
    // A refused port folder is named either way: a link the user made there
    // is passed over, and COM n may now be another device.
    const std::string problem = com > 0 ? PortFolderProblem() : "";
    if (m_strDevice.empty() && !problem.empty())
        return DeviceError(StrFormat("COM%d: no such port (%s; no serial device with that "
                                     "number; see 'halvik-cli ports')",
                                     com, problem.c_str()));
    if (m_strDevice.empty())
        return DeviceError(StrFormat("COM%d: no such port (%s; see 'halvik-cli ports')", com,
                                     ComNotFoundReason(com).c_str()));
    if (!problem.empty())
        m_ctx.err << "halvik-cli: note: " << problem << "; COM" << com << " is " << m_strDevice
                  << "\n";
    return kExitOk;
}

int CCli::PortOpenError(EPortError why) {
    const int com = ComNumber(m_cl.port);
    const int status = DeviceError(StrFormat("cannot open %s%s: %s", m_strDevice.c_str(),
                                             com > 0 ? StrFormat(" (COM%d)", com).c_str() : "",
                                             PortErrorText(why).c_str()));
    // Typical of a new test-bench PC: serial devices belong to dialout.
    if (why == EPortError::Permission)
        m_ctx.err << "halvik-cli: join the dialout group to use serial ports: "
                     "sudo usermod -aG dialout $USER, then log in again\n";
    return status;
}

int CCli::ReadSpeedUnit(DecodeContext& dc) {
    std::vector<uint16_t> r;
    if (ResultCode rc = ReadRegs(m_drv, m_nSlave, kRegSpeedUnitHz, 1, r))
        return DeviceError(StrFormat("reading the speed unit (register 0x%04X)", kRegSpeedUnitHz),
                           rc);
    dc.speedUnitHz = r[0] != 0;
    return kExitOk;
}

int CCli::ReadBlockRegs(const BlockDef& def, std::vector<uint16_t>& regs) {
    if (ResultCode rc = ReadRegs(m_drv, m_nSlave, def.start, def.count, regs))
        return DeviceError(
            StrFormat("reading %s (0x%04X, %u registers)", def.name, def.start, def.count), rc);
    return kExitOk;
}

int CCli::ShowBlock(const BlockDef& def, bool withRegisters) {
    std::vector<uint16_t> regs;
    DecodeContext dc;
    if (int e = OpenLine())
        return e;
    if (int e = ReadBlockRegs(def, regs))
        return e;
    if (BlockUsesSpeedUnit(def))
        if (int e = ReadSpeedUnit(dc))
            return e;
    if (m_cl.json) {
        Json j = BlockJson(def, regs, dc);
        if (BlockUsesSpeedUnit(def))
            j["speedUnitHz"] = dc.speedUnitHz;
        EmitJson(j);
    } else {
        PrintFields(def, regs, dc, withRegisters);
    }
    return kExitOk;
}

void CCli::PrintFields(const BlockDef& def, const std::vector<uint16_t>& regs,
                       const DecodeContext& dc, bool withRegisters) {
    std::vector<std::vector<std::string>> rows;
    if (withRegisters) {
        Out() << def.title << " (" << def.name << "): " << regs.size() << " registers from "
              << Hex16(def.start) << "\n";
        for (size_t i = 0; i < regs.size(); ++i)
            rows.push_back({Hex16(static_cast<uint16_t>(def.start + i)), Hex16(regs[i]),
                            std::to_string(regs[i])});
        PrintTable(Out(), rows);
        Out() << "Fields:\n";
        rows.clear();
    }
    for (const auto& f : DecodeBlock(def, regs, dc)) {
        std::string raw;
        for (uint16_t v : f.raw)
            raw += (raw.empty() ? "" : " ") + Hex16(v);
        // The engineering value beside the display text where they differ.
        std::string value =
            f.value.IsNumber() ? f.value.text + (f.unit.empty() ? "" : " " + f.unit) : "";
        const std::string text = CatalogueText(f.text);
        rows.push_back({f.name, text, value == text ? "" : value, "[" + raw + "]"});
    }
    PrintTable(Out(), rows);
}

int CCli::OpenWithScaled(const std::string& text, const char* what, int decimals, const char* unit,
                         int64_t lo, int64_t hi, int64_t& out) {
    if (m_cl.raw) {
        const std::string problem = IntegerProblem(text, lo, hi, out);
        return problem.empty() ? OpenLine() : Usage(std::string(what) + ": " + problem);
    }
    if (!IsStrictDecimal(text))
        return Usage(StrFormat("%s: '%s' is not a number", what, text.c_str()));
    if (decimals < 0) { // the driver's speed unit: tenths or whole Hz
        DecodeContext dc;
        if (int e = OpenLine())
            return e;
        if (int e = ReadSpeedUnit(dc))
            return e;
        decimals = dc.speedUnitHz ? 0 : 1;
    }
    out = ScaleDecimal(text, decimals);
    if (out < lo || out > hi)
        return Usage(StrFormat("%s: %s %s is out of range %s..%s %s", what, text.c_str(), unit,
                               FormatScaled(lo, decimals).c_str(),
                               FormatScaled(hi, decimals).c_str(), unit));
    if (ScaleDecimal(text, decimals + 6) != out * 1000000)
        m_ctx.err << "halvik-cli: note: " << what << " " << text << " " << unit << " is sent as "
                  << FormatScaled(out, decimals) << " " << unit << " (resolution "
                  << FormatScaled(1, decimals) << " " << unit << ")\n";
    return m_drv.IsOpen() ? kExitOk : OpenLine();
}

int CCli::Written(const char* command, const std::string& what, ResultCode rc) {
    if (rc != kResultOk)
        return DeviceError(what, rc);
    if (m_cl.json)
        EmitJson({{"command", command}, {"result", ErrorJson(rc)}});
    else
        Out() << ResultText(rc) << "\n";
    return kExitOk;
}

// Whether the driver's texts are to be English: --lang, else the language
// of the environment (the first of LC_ALL, LC_MESSAGES and LANG that is set).
static bool EnglishWanted(const std::string& option) {
    if (!option.empty())
        return option == "en";
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value)
            return std::string_view(value).substr(0, 2) == "en";
    return false;
}

int RunCli(const std::vector<std::string>& args, CliContext& ctx) {
    CommandLine cl;
    if (int status = ParseCommandLine(args, cl, ctx.out, ctx.err); status >= 0)
        return status;
    // The command line's own words are English either way.
    lang::SetTranslator(EnglishWanted(cl.lang) ? &EnglishText : nullptr);
    return CCli(cl, ctx).Run();
}
