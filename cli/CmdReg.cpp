// reg read / reg write: any holding registers, typed.

#include "cli/CliSession.h"

#include "driver/Format.h"

#include <cmath>
#include <cstring>

namespace {

struct RegType {
    int regs;
    bool isSigned, isFloat;
    uint64_t Mask() const { return regs == 2 ? 0xFFFFFFFFull : 0xFFFFull; }
};

RegType TypeOf(const std::string& name) {
    return {name[1] == '3' ? 2 : 1, name[0] == 'i', name[0] == 'f'};
}

// The register bits for a typed value: decimal within the type's range, or a
// 0x bit pattern of the type's width; "" or the problem.
std::string EncodeRegValue(const std::string& type, const std::string& text, uint32_t& bits) {
    const RegType t = TypeOf(type);
    int64_t v = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (!ParseInteger(text, v) || v < 0 || static_cast<uint64_t>(v) > t.Mask())
            return "VALUE: '" + text + "' is not a " + std::to_string(t.regs * 16) + "-bit pattern";
    } else if (t.isFloat) {
        // Converted as the pages convert typed floats, whatever the locale.
        float f = 0;
        if (!IsStrictDecimal(text))
            return "VALUE: '" + text + "' is not a number for f32";
        if (!CheckFloat("VALUE", text, f).empty())
            return "VALUE: '" + text + "' is out of range for f32";
        std::memcpy(&bits, &f, sizeof bits);
        return {};
    } else {
        const int64_t half = static_cast<int64_t>(t.Mask() + 1) / 2;
        const std::string problem =
            IntegerProblem(text, t.isSigned ? -half : 0, t.isSigned ? half - 1 : 2 * half - 1, v);
        if (!problem.empty())
            return "VALUE (" + type + "): " + problem;
    }
    bits = static_cast<uint32_t>(static_cast<uint64_t>(v) & t.Mask());
    return {};
}

} // namespace

int CCli::CmdRegRead() {
    const RegType t = TypeOf(m_cl.type);
    const int64_t count = m_cl.count < 0 ? 1 : m_cl.count, total = count * t.regs;
    if (count > 125 / t.regs)
        return Usage(StrFormat("--count: %lld is out of range 1..%d", static_cast<long long>(count),
                               125 / t.regs));
    if (m_cl.addr + total > 0x10000)
        return Usage("ADDR + registers runs past 0xFFFF");
    if (int e = OpenLine())
        return e;
    const uint16_t addr = static_cast<uint16_t>(m_cl.addr);
    std::vector<uint16_t> regs;
    if (ResultCode rc = ReadRegs(m_drv, m_nSlave, addr, static_cast<uint16_t>(total), regs))
        return DeviceError(
            StrFormat("reading %lld registers from 0x%04X", static_cast<long long>(total), addr),
            rc);
    Json values = Json::array();
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < regs.size(); i += t.regs) {
        const uint32_t bits =
            t.regs == 2 ? (static_cast<uint32_t>(regs[i]) << 16) | regs[i + 1] : regs[i];
        Json value;
        std::string text;
        if (t.isFloat) {
            float f;
            std::memcpy(&f, &bits, sizeof f);
            text = FormatFloat(f);
            value = std::isfinite(f) ? JsonNumber(text) : Json();
        } else {
            const int64_t v = !t.isSigned   ? int64_t{bits}
                              : t.regs == 1 ? int64_t{static_cast<int16_t>(bits)}
                                            : int64_t{static_cast<int32_t>(bits)};
            text = std::to_string(v);
            value = v;
        }
        const std::string hex = StrFormat(t.regs == 2 ? "0x%08X" : "0x%04X", bits);
        const uint16_t a = static_cast<uint16_t>(addr + i);
        values.push_back(
            {{"address", a},
             {"registers", std::vector<uint16_t>(regs.begin() + i, regs.begin() + i + t.regs)},
             {"hex", hex},
             {"value", value}});
        rows.push_back({Hex16(a), hex, text});
    }
    if (m_cl.json)
        EmitJson({{"type", m_cl.type}, {"values", values}});
    else
        PrintTable(Out(), rows, "");
    return kExitOk;
}

int CCli::CmdRegWrite() {
    const RegType t = TypeOf(m_cl.type);
    if (m_cl.addr > 0x10000 - t.regs)
        return Usage(StrFormat("ADDR: %lld is out of range 0..%d",
                               static_cast<long long>(m_cl.addr), 0x10000 - t.regs));
    uint32_t bits = 0;
    if (const std::string problem = EncodeRegValue(m_cl.type, m_cl.value, bits); !problem.empty())
        return Usage(problem);
    if (int e = OpenLine())
        return e;
    const uint16_t addr = static_cast<uint16_t>(m_cl.addr);
    std::vector<uint16_t> regs = {static_cast<uint16_t>(bits >> 16), static_cast<uint16_t>(bits)};
    if (t.regs == 1)
        regs.erase(regs.begin());
    const ResultCode rc = t.regs == 1 ? m_drv.WriteRegister(m_nSlave, addr, regs[0])
                                      : m_drv.WriteRegisters(m_nSlave, addr, regs.data(), 2);
    if (rc != kResultOk)
        return DeviceError(StrFormat("writing 0x%04X", addr), rc);
    if (m_cl.json)
        EmitJson({{"address", addr}, {"registers", regs}, {"result", ErrorJson(rc)}});
    else
        Out() << ResultText(rc) << "\n";
    return kExitOk;
}
