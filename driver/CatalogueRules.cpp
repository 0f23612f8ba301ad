// What the catalogue says a field's value may be: the decimals in effect,
// the range its register and the driver's documents allow, and the orders
// between fields of one block.

#include "driver/Catalogue.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

int FieldDecimals(const FieldDef& f, const BlockDef& b, const std::vector<uint16_t>& regs,
                  const DecodeContext& ctx) {
    auto reg = [&](uint16_t addr) -> uint16_t {
        const size_t i = static_cast<size_t>(addr - b.start);
        return addr >= b.start && i < regs.size() ? regs[i] : 0;
    };
    switch (f.type) {
    case EField::Speed:
        return ctx.speedUnitHz ? 0 : 1;
    case EField::MotorSpeed:
        return (reg(0x0077) & 1) != 0 ? 0 : 1;
    case EField::PresetSpeed:
        return reg(0x00B0) == 1 ? 2 : (ctx.speedUnitHz ? 0 : 1);
    case EField::CommFreq:
        return reg(kRegSpeedScaleX10) || reg(kRegSpeedUnitHz) ? 0 : 1;
    default:
        return f.decimals;
    }
}

std::vector<SScaleCase> FieldScaleCases(const BlockDef& b) {
    // FieldDecimals looks at the block's own settings (the motor's speed
    // range bit, the preset speeds' torque mode, the status block's speed
    // flags), each set by 1, and at the driver's speed unit: every register
    // 0, and every register 1, at either unit cover each choice.
    std::vector<SScaleCase> cases;
    for (const uint16_t fill : {0, 1})
        for (const bool hz : {false, true})
            cases.push_back({std::vector<uint16_t>(b.count, fill), DecodeContext{hz}});
    return cases;
}

bool FieldSettable(const BlockDef& b, const FieldDef& f) {
    switch (f.type) {
    case EField::Hex16:
    case EField::PhaseBytes:
    case EField::LearnState:
    case EField::CommFreq:
    case EField::Rpm:
    case EField::ModelText:
    case EField::Version:
        return false;
    default:
        return b.writable;
    }
}

const char* FieldShownUnit(const FieldDef& f) {
    return f.pageUnit ? f.pageUnit : f.unit;
}

SRawRange FieldRawRange(const FieldDef& f) {
    // Limits the driver's own documents or CANopen set: a slave address the
    // line could no longer reach, a node-ID outside CiA 301's 1-127.
    static constexpr struct {
        uint16_t addr;
        SRawRange range;
    } kLimits[] = {{0x009C, {1, 255}}, {0x0121, {1, 127}}};
    for (const auto& l : kLimits)
        if (l.addr == f.addr)
            return l.range;
    if (f.itemCount > 0 && (f.type == EField::Enum || f.type == EField::Bit0Enum))
        return {0, f.itemCount - 1};
    switch (f.type) {
    case EField::I16:
    case EField::CommFreq:
        return {INT16_MIN, INT16_MAX};
    case EField::I32:
        return {INT32_MIN, INT32_MAX};
    case EField::U32:
        return {0, UINT32_MAX};
    default:
        return {0, f.regs >= 2 ? int64_t{UINT32_MAX} : int64_t{UINT16_MAX}};
    }
}

bool FieldValueOffered(const FieldDef& f, int64_t value) {
    if (f.itemCount == 0 || f.type != EField::U32)
        return true;
    for (int i = 0; i < f.itemCount; ++i)
        if (std::strtoll(f.items[i], nullptr, 10) == value)
            return true;
    return false;
}

const std::vector<SFieldOrder>& FieldOrders() {
    static const std::vector<SFieldOrder> kOrders = {
        {0x0102, 0x0103, true},  // over-voltage shutdown above under-voltage shutdown
        {0x0062, 0x0063, false}, // each maximum at least its default
        {0x0064, 0x0065, false},
        {0x0066, 0x0067, false},
    };
    return kOrders;
}
