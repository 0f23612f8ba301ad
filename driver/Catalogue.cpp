#include "driver/Catalogue.h"

#include "driver/Blocks.h"
#include "driver/Format.h"
#include "driver/Learning.h"
#include "driver/Texts.h"
#include "lang/Tr.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

std::string Hex4(uint16_t v) {
    return StrFormat("0x%04X", v);
}

FieldValue Number(std::string text) {
    return {FieldValue::EKind::Number, std::move(text), false};
}

FieldValue Text(std::string text) {
    return {FieldValue::EKind::String, std::move(text), false};
}

std::string WithUnit(const std::string& v, const std::string& unit) {
    if (unit.empty())
        return v;
    if (unit == "%" || unit == "℃" || unit == ":1")
        return v + unit;
    return v + " " + unit;
}

} // namespace

std::string FormatScaled(int64_t raw, int decimals) {
    bool neg = raw < 0;
    uint64_t mag = neg ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
    std::string digits = std::to_string(mag);
    if (decimals > 0) {
        if (digits.size() <= static_cast<size_t>(decimals))
            digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(decimals), ".");
    }
    return neg ? "-" + digits : digits;
}

std::string FormatFloat(float f) {
    if (std::isnan(f))
        return "nan";
    if (std::isinf(f))
        return f < 0 ? "-inf" : "inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, f);
    return std::string(buf, r.ptr);
}

const BlockDef* FindBlock(std::string_view name) {
    for (const auto& b : AllBlocks())
        if (name == b.name)
            return &b;
    return nullptr;
}

const BlockDef* BlockOf(uint16_t addr) {
    for (const auto& b : AllBlocks())
        if (addr >= b.start && addr < b.start + b.count)
            return &b;
    return nullptr;
}

const FieldDef* FindField(const BlockDef& block, uint16_t addr) {
    for (int i = 0; i < block.fieldCount; ++i)
        if (block.fields[i].addr == addr)
            return &block.fields[i];
    return nullptr;
}

const FieldDef* FindField(uint16_t addr) {
    const BlockDef* b = BlockOf(addr);
    return b ? FindField(*b, addr) : nullptr;
}

const FieldDef& CatalogueField(uint16_t addr) {
    const FieldDef* f = FindField(addr);
    if (!f)
        std::abort(); // a page names a register the catalogue does not have
    return *f;
}

const FieldDef* FindField(std::string_view qualified, const BlockDef** block) {
    const size_t dot = qualified.find('.');
    if (dot == std::string_view::npos)
        return nullptr;
    const BlockDef* b = FindBlock(qualified.substr(0, dot));
    if (!b)
        return nullptr;
    const std::string_view name = qualified.substr(dot + 1);
    for (int i = 0; i < b->fieldCount; ++i)
        if (name == b->fields[i].name) {
            if (block)
                *block = b;
            return &b->fields[i];
        }
    return nullptr;
}

const FieldDef& CatalogueField(std::string_view qualified) {
    const FieldDef* f = FindField(qualified);
    if (!f)
        std::abort(); // a surface names a field the catalogue does not have
    return *f;
}

std::string CatalogueText(const std::string& text) {
    return lang::translate("driver/Catalogue", text.c_str());
}

std::vector<std::string> FieldItems(const FieldDef& f) {
    return std::vector<std::string>(f.items, f.items + f.itemCount);
}

std::vector<std::string> FieldItems(uint16_t addr) {
    return FieldItems(CatalogueField(addr));
}

bool FieldIsSigned(const FieldDef& f) {
    return f.type == EField::I16 || f.type == EField::I32 || f.type == EField::CommFreq;
}

bool BlockUsesSpeedUnit(const BlockDef& def) {
    for (int i = 0; i < def.fieldCount; ++i)
        if (def.fields[i].type == EField::Speed || def.fields[i].type == EField::PresetSpeed)
            return true;
    return false;
}

std::vector<const BlockDef*> ExportBlocks() {
    std::vector<const BlockDef*> out;
    for (const auto& b : AllBlocks())
        if (b.writable && !b.comm)
            out.push_back(&b);
    // CANopen first: the RS-485 settings, which can cut the line, come last,
    // the slave address last of all.
    for (const char* n : {"canopen", "comm-a", "comm-b"})
        out.push_back(FindBlock(n));
    return out;
}

DecodedField DecodeField(const FieldDef& f, const BlockDef& b, const std::vector<uint16_t>& regs,
                         const DecodeContext& ctx) {
    DecodedField d;
    d.name = f.name;
    d.addr = f.addr;
    d.unit = f.unit;
    auto reg = [&](uint16_t addr) -> uint16_t {
        size_t i = static_cast<size_t>(addr - b.start);
        return i < regs.size() ? regs[i] : 0;
    };
    for (uint16_t k = 0; k < f.regs; ++k)
        d.raw.push_back(reg(static_cast<uint16_t>(f.addr + k)));
    const uint16_t r = d.raw[0];
    const uint32_t r32 = f.regs >= 2 ? (static_cast<uint32_t>(r) << 16) | d.raw[1] : r;
    auto numeric = [&](int64_t v, int decimals) {
        d.value = Number(FormatScaled(v, decimals));
        d.text = WithUnit(FormatScaled(v, decimals), d.unit);
    };
    auto boolean = [&](bool v) {
        d.value = {FieldValue::EKind::Bool, "", v};
        d.text = v ? "yes" : "no";
    };
    auto item = [&](uint16_t index) {
        d.value = Number(std::to_string(index));
        d.text = index < f.itemCount ? std::string(f.items[index])
                                     : StrFormat("(no item for %u)", index);
    };
    switch (f.type) {
    case EField::U16:
        numeric(r, f.decimals);
        break;
    case EField::I16:
        numeric(static_cast<int16_t>(r), f.decimals);
        break;
    case EField::U32:
        numeric(r32, f.decimals);
        break;
    case EField::I32:
        numeric(static_cast<int32_t>(r32), f.decimals);
        break;
    case EField::F32: {
        float v;
        std::memcpy(&v, &r32, sizeof v);
        d.text = FormatFloat(v);
        d.value = std::isfinite(v) ? Number(d.text) : FieldValue{};
        break;
    }
    case EField::Bool:
        boolean(r != 0);
        break;
    case EField::Bit0:
        boolean((r & 1) != 0);
        break;
    case EField::ZeroYes:
        boolean(r == 0);
        break;
    case EField::Enum:
        item(r);
        break;
    case EField::Bit0Enum:
        item(r & 1);
        break;
    case EField::Speed:
    case EField::MotorSpeed:
    case EField::PresetSpeed: {
        const int decimals = FieldDecimals(f, b, regs, ctx);
        if (f.type == EField::PresetSpeed && decimals == 2)
            d.unit = "A";
        numeric(r, decimals);
        break;
    }
    case EField::Hex16: {
        std::string t;
        for (uint16_t v : d.raw) {
            t += (t.empty() ? "" : " ") + Hex4(v);
        }
        d.value = Text(t);
        d.text = t;
        break;
    }
    case EField::PhaseBytes: {
        std::string t;
        for (uint16_t v : d.raw)
            t += StrFormat("%s%02X %02X", t.empty() ? "" : " ", v >> 8, v & 0xFF);
        d.value = Text(t);
        d.text = t;
        break;
    }
    case EField::LearnState:
        d.value = Number(std::to_string(r));
        d.text = r == kLearnStateSucceeded ? LearnOutcomeText(ELearnState::Succeeded)
                 : r == kLearnStateFailed  ? LearnOutcomeText(ELearnState::Failed)
                                           : StrFormat("running (%u)", r);
        break;
    case EField::CommFreq:
        numeric(static_cast<int16_t>(r), FieldDecimals(f, b, regs, ctx));
        break;
    case EField::Rpm:
        if (r == 0xFFFF) {
            d.value = FieldValue{};
            d.text = "-";
        } else {
            numeric(static_cast<int64_t>(r) * (reg(kRegSpeedScaleX10) ? 10 : 1), 0);
        }
        break;
    case EField::ModelText: {
        DeviceInfoBlock info;
        for (int k = 0; k < 8; ++k)
            info.At(static_cast<uint16_t>(0x0002 + k)) = d.raw[static_cast<size_t>(k)];
        d.text = DeviceModelText(info);
        d.value = Text(d.text);
        break;
    }
    case EField::Version:
        d.text = StrFormat("%d.%02d", r >> 8, r & 0xFF);
        d.value = Text(d.text);
        break;
    }
    return d;
}

std::vector<DecodedField> DecodeBlock(const BlockDef& b, const std::vector<uint16_t>& regs,
                                      const DecodeContext& ctx) {
    std::vector<DecodedField> out;
    for (int i = 0; i < b.fieldCount; ++i)
        out.push_back(DecodeField(b.fields[i], b, regs, ctx));

    // The main window's own texts where it shows these blocks.
    std::map<std::string, std::string> texts;
    if (b.start == DeviceInfoBlock::kStart && regs.size() >= DeviceInfoBlock::kCount) {
        DeviceInfoBlock blk;
        std::copy(regs.begin(), regs.begin() + blk.kCount, blk.m_reg.begin());
        DeviceInfoTexts t = FormatDeviceInfo(blk);
        texts = {{"identifier", t.id},
                 {"version", t.version},
                 {"model", t.model},
                 {"pwm_resolution", t.pwmResolution},
                 {"pwm_frequency", t.pwmFrequency},
                 {"max_current", t.maxCurrent},
                 {"current_resolution", t.currentResolution}};
    } else if (b.start == RealtimeStatusBlock::kStart &&
               regs.size() >= RealtimeStatusBlock::kCount) {
        RealtimeStatusBlock blk;
        std::copy(regs.begin(), regs.begin() + blk.kCount, blk.m_reg.begin());
        StatusTexts t = FormatRealtimeStatus(blk);
        texts = {{"input_voltage", t.inputVoltage},
                 {"output_pwm", t.outputPwm},
                 {"phase_current", t.phaseCurrent},
                 {"commutation_frequency", t.commFrequency},
                 {"position", t.position},
                 {"completion_time", t.completionTime},
                 {"in1_voltage", t.in1},
                 {"in2_voltage", t.in2},
                 {"in3_voltage", t.in3},
                 {"differential_voltage", t.differential},
                 {"sq1_level", t.sq1},
                 {"sq2_level", t.sq2},
                 {"input_pwm", t.inputPwm},
                 {"input_frequency", t.inputFrequency},
                 {"input_pulses", t.inputPulses},
                 {"motor_speed", t.motorSpeed},
                 {"error_state", t.errorState},
                 {"temperature", t.temperature}};
    }
    for (auto& d : out) {
        auto it = texts.find(d.name);
        if (it != texts.end())
            d.text = it->second;
    }
    return out;
}
