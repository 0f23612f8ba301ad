#pragma once
// The decoded `fields` of a configuration file's blocks, read back. They are
// what a person edits, so where a field and the registers beside it disagree
// the field wins: its value is converted to registers through the catalogue
// and the input checks, as a page converts what is typed. A field still as the
// export wrote it leaves its registers alone, so an unedited file imports
// exactly its registers.
//
// A field's value is the export's text ("3.00 A", "yes", a list item) or the
// engineering value itself (3, true, the item index, null for none). Speeds
// are read at the exporting driver's speed unit: the one the file records
// (device.speedUnitHz), else the one its unedited speed fields were written
// in.

#include "driver/ConfigFile.h"
#include "driver/Json.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reads each block's fields (fields[i] belongs to blocks[i]; null: it has
// none) over its registers, then checks the block's values against the limits
// and orders the driver documents. speedUnitHz: 1 whole Hz, 0 tenths, -1 not
// recorded. The first register of each field that changed its registers is
// added to edited; problems are added to errors with their place
// ("blocks.motor.fields.rated_current: ...").
void ReadBlockFields(std::vector<BlockImage>& blocks, const std::vector<const Json*>& fields,
                     int speedUnitHz, std::vector<uint16_t>& edited,
                     std::vector<std::string>& errors);

// One field set to a value a person types (the command line's `set`), read as
// the file reads an edited field: a number in the field's unit (the unit may
// follow it), a list item's text or index, yes/no (or true/false) for a flag.
// It is read at the scale in effect in the block image regs and ctx, checked
// against the field's range and the values the driver offers, and written
// into regs. "" or the problem ("\"3,5\" is not a number (0.00~655.35 A)").
std::string SetFieldText(const BlockDef& b, const FieldDef& f, std::string_view text,
                         const DecodeContext& ctx, std::vector<uint16_t>& regs);
// Whether the text can be a value of the field at one of the scales it can
// have (FieldScaleCases), before the device tells which: "" or the problem at the
// field's first scale.
std::string CheckFieldText(const BlockDef& b, const FieldDef& f, std::string_view text);
