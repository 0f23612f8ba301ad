// reg read / reg write: any holding registers, typed.

#include "cli/CliSession.h"

#include "driver/Format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

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
