#pragma once
// The block catalogue: what every register of the driver's blocks means, as
// plain data. It is the one place that knows a field's register, span, name,
// scale (decimals), unit and selection-list texts.
//
// Pages fill their selection lists and take their scales from here:
//     const FieldDef& f = CatalogueField("system-a.limit_trigger_polarity");
//     for (const std::string& item : FieldItems(f)) combo->addItem(...);
//     int decimals = f.decimals;
// A page's own display rules (how many digits it shows, which format) stay
// with the page as a table naming catalogue fields by name.
//
// The command line and the configuration file decode whole blocks into fields
// for people (DecodeBlock). Engineering values are exact decimals made from
// the integer register values, never from doubles. No Qt, no JSON here.

#include <cstdint>
#include <string>
#include <string_view>
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
    int decimals; // the register holds value x 10^decimals
    const char* unit;
    // The page's own words for the field (a status field's: the status group's
    // and the live plot's), and the unit the page shows beside it where that
    // differs from `unit` (nullptr: none of its own).
    const char* label;
    const char* pageUnit;
    // Selection-list texts in register order (item index = register value),
    // or, for the RS-485 baud rate, the rates the driver offers as texts.
    const char* const* items = nullptr;
    int itemCount = 0;
};

struct BlockDef {
    const char* name;  // command-line and file name
    const char* title; // for people
    const char* page;  // the desktop tab that shows it ("电机参数"); nullptr: none does
    uint16_t start;
    uint16_t count; // registers read (and written when writable)
    bool writable;
    bool comm; // can change the line or the slave address
    const FieldDef* fields;
    int fieldCount;
};

// --- Looking things up -------------------------------------------------------

// Every block by name, in address order; nullptr for an unknown name.
const std::vector<BlockDef>& AllBlocks();
const BlockDef* FindBlock(std::string_view name);
// The block holding this register (nullptr when none does).
const BlockDef* BlockOf(uint16_t addr);

// The field starting at this register, in one block or in any block;
// nullptr when no field starts there.
const FieldDef* FindField(const BlockDef& block, uint16_t addr);
const FieldDef* FindField(uint16_t addr);
// As FindField, for addresses a page knows to be fields: an unknown address
// is a programming error and aborts.
const FieldDef& CatalogueField(uint16_t addr);
// By qualified name, block and field as the configuration file names them
// ("motor.rated_current"); block receives the field's block. The surfaces
// name fields this way, so a register number lives in the catalogue alone.
const FieldDef* FindField(std::string_view qualified, const BlockDef** block = nullptr);
// As FindField for names a surface knows: an unknown name aborts.
const FieldDef& CatalogueField(std::string_view qualified);
// The register a named field starts at.
inline uint16_t FieldAddr(std::string_view qualified) {
    return CatalogueField(qualified).addr;
}

// The field's selection-list texts in item order (empty when it has none).
std::vector<std::string> FieldItems(const FieldDef& f);
std::vector<std::string> FieldItems(uint16_t addr);
// Whether the register holds a two's complement value.
bool FieldIsSigned(const FieldDef& f);

// The writable parameter blocks in the order an import writes them: the
// communication blocks last.
std::vector<const BlockDef*> ExportBlocks();

// Whether the block's decoding depends on the driver's speed unit (0x0036).
bool BlockUsesSpeedUnit(const BlockDef& def);

// Registers the decoding and the commands rely on.
enum : uint16_t {
    kRegSpeedScaleX10 = 0x0035, // status: motor speed counted in tens
    kRegSpeedUnitHz = 0x0036,   // status: speeds count whole Hz, not tenths
};

// --- Decoding for people -----------------------------------------------------

struct DecodeContext {
    bool speedUnitHz = false; // register 0x0036: speeds count whole Hz
};

// The decimals the field's register holds in this block image: its own, or
// for speeds the unit in effect (the driver's, or the motor block's range
// setting), or hundredths of an ampere for a preset speed in torque mode.
int FieldDecimals(const FieldDef& f, const BlockDef& b, const std::vector<uint16_t>& regs,
                  const DecodeContext& ctx);
// Block images and speed units that between them give each field of the
// block every scale it can have, for what holds at any of them.
struct SScaleCase {
    std::vector<uint16_t> regs;
    DecodeContext ctx;
};
std::vector<SScaleCase> FieldScaleCases(const BlockDef& b);
// Whether a person can set the field by its value: a field of a writable
// block that is a number, a flag or a list item (not learned data).
bool FieldSettable(const BlockDef& b, const FieldDef& f);
// The unit a page shows beside the field (its own where it has one).
const char* FieldShownUnit(const FieldDef& f);

// The register values a person may set the field to: the register's width
// and sign, narrowed where the driver or CANopen documents a limit.
struct SRawRange {
    int64_t lo, hi;
};
SRawRange FieldRawRange(const FieldDef& f);
// For a field whose list texts are the values themselves (the RS-485 baud
// rates the driver offers), whether the value is one of them; true for any
// value of every other field.
bool FieldValueOffered(const FieldDef& f, int64_t value);

// Pairs of one block that the driver documents as ordered: `upper` must be
// above `lower` (strict) or at least equal to it.
struct SFieldOrder {
    uint16_t upper, lower;
    bool strict;
};
const std::vector<SFieldOrder>& FieldOrders();

// The engineering value of a field: an exact decimal number as text, a flag,
// a text, or nothing (the driver reports no reading).
struct FieldValue {
    enum class EKind { Null, Number, Bool, String };
    EKind kind = EKind::Null;
    std::string text; // Number: decimal text ("-100.0"); String: the text
    bool flag = false;

    bool IsNull() const { return kind == EKind::Null; }
    bool IsNumber() const { return kind == EKind::Number; }
    bool IsBool() const { return kind == EKind::Bool; }
    bool IsString() const { return kind == EKind::String; }
};

struct DecodedField {
    std::string name;
    uint16_t addr = 0;
    std::vector<uint16_t> raw;
    FieldValue value;
    std::string unit;
    std::string text; // for people
};

// Fields of a block (device-info and status included). regs holds the block's
// registers from its start, host order.
std::vector<DecodedField> DecodeBlock(const BlockDef& b, const std::vector<uint16_t>& regs,
                                      const DecodeContext& ctx);
// One field f of block b, without the block's main-window texts.
DecodedField DecodeField(const FieldDef& f, const BlockDef& b, const std::vector<uint16_t>& regs,
                         const DecodeContext& ctx);

// raw / 10^decimals as exact decimal text: (-1005, 1) -> "-100.5".
std::string FormatScaled(int64_t raw, int decimals);
// Shortest text that reads back as the same float; "nan"/"inf" as such.
std::string FormatFloat(float f);
