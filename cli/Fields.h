#pragma once
// What the registers of each block mean, as plain data, and the decoding of a
// block's registers into fields for people. Engineering values are exact
// decimals made from the integer register values, never from doubles.

#include "cli/Json.h"

#include <cstdint>
#include <string>
#include <vector>

enum class EField {
    U16,         // unsigned, value x 10^decimals in the register
    I16,         // signed 16 bits, value x 10^decimals
    U32,         // two registers, high word first
    I32,         // two registers, high word first, signed
    F32,         // IEEE-754 single precision, high word first
    Bool,        // nonzero = true
    Bit0,        // bit 0
    ZeroYes,     // 0 = true
    Enum,        // item index (whole register)
    Bit0Enum,    // item index in bit 0
    Speed,       // tenths, or whole units when the driver counts whole Hz
    MotorSpeed,  // as Speed, but the unit follows 0x0077 of the same block
    PresetSpeed, // 0.01 A in torque mode (0x00B0 = 1), otherwise as Speed
    Hex16,       // registers shown as hexadecimal words
    PhaseBytes,  // bytes of the registers, high byte first, "%02X" each
    LearnState,
    CommFreq,  // status: whole Hz when 0x0035 or 0x0036 is set, else tenths
    Rpm,       // status: 0xFFFF unknown, x10 when 0x0035 is set
    ModelText, // device model name
    Version,   // high byte major, low byte minor
};

struct FieldDef {
    uint16_t addr;
    uint16_t regs; // registers the field spans
    const char* name;
    EField type;
    int decimals;
    const char* unit;
    const char* const* items = nullptr;
    int itemCount = 0;
};

struct BlockDef {
    const char* name;  // command-line and file name
    const char* title; // for people
    uint16_t start;
    uint16_t count; // registers read (and written when writable)
    bool writable;
    bool comm; // can change the line or the slave address
    const FieldDef* fields;
    int fieldCount;
};

// Every block by name, in address order; nullptr for an unknown name.
const std::vector<BlockDef>& AllBlocks();
const BlockDef* FindBlock(const std::string& name);

// The writable parameter blocks in the order an import writes them: the
// communication blocks last.
std::vector<const BlockDef*> ExportBlocks();

struct DecodeContext {
    bool speedUnitHz = false; // register 0x0036: speeds count whole Hz
};

struct DecodedField {
    std::string name;
    uint16_t addr = 0;
    std::vector<uint16_t> raw;
    CJson value; // exact number, string, bool or null
    std::string unit;
    std::string text; // for people
};

// Fields of a block (device-info and status included). regs holds the block's
// registers from its start, host order.
std::vector<DecodedField> DecodeBlock(const BlockDef& b, const std::vector<uint16_t>& regs,
                                      const DecodeContext& ctx);

// raw / 10^decimals as exact decimal text: (-1005, 1) -> "-100.5".
std::string FormatScaled(int64_t raw, int decimals);
// Shortest text that reads back as the same float; "nan"/"inf" as such.
std::string FormatFloat(float f);
