#include "driver/ConfigFields.h"

#include "driver/FieldInput.h"
#include "driver/Format.h"
#include "driver/Texts.h"
#include "lang/Tr.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::string Trimmed(std::string t) {
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    t.erase(t.begin(), std::find_if_not(t.begin(), t.end(), blank));
    t.erase(std::find_if_not(t.rbegin(), t.rend(), blank).base(), t.end());
    return t;
}

// Whether the field is scaled by the driver's speed unit in this block image.
bool UsesDriverUnit(const FieldDef& f, const BlockDef& b, const std::vector<uint16_t>& regs) {
    DecodeContext hz;
    hz.speedUnitHz = true;
    return FieldDecimals(f, b, regs, {}) != FieldDecimals(f, b, regs, hz);
}

std::vector<uint16_t> Words(const FieldDef& f, uint32_t v) {
    if (f.regs >= 2)
        return {static_cast<uint16_t>(v >> 16), static_cast<uint16_t>(v)};
    return {static_cast<uint16_t>(v)};
}

// The registers for a field's value in the file, given the block's registers
// so far (now: the field decoded from them); "" or the problem.
std::string ReadValue(const FieldDef& f, const BlockDef& b, const std::vector<uint16_t>& regs,
                      const DecodedField& now, const DecodeContext& ctx, const Json& j,
                      std::vector<uint16_t>& words) {
    if (j.is_structured())
        return lang::translate("driver/ConfigFile", "应为文字、数字、true、false 或 null");
    const std::string text = JsonText(j), quoted = "\"" + text + "\"";
    const uint16_t r = regs[static_cast<size_t>(f.addr - b.start)];
    switch (f.type) {
    case EField::Bool:
    case EField::Bit0:
    case EField::ZeroYes: {
        if (!j.is_boolean() && !(j.is_string() && (text == "yes" || text == "no")))
            return lang::Args(lang::translate("driver/ConfigFile", "%1 既不是 yes 也不是 no"),
                              {quoted});
        const bool yes = j.is_boolean() ? j.get<bool>() : text == "yes";
        // The other bits stay, and so does a nonzero value that means the same.
        const uint16_t set = r != 0 ? r : 1;
        words = {f.type == EField::Bit0      ? static_cast<uint16_t>((r & ~1u) | (yes ? 1u : 0u))
                 : f.type == EField::ZeroYes ? static_cast<uint16_t>(yes ? 0 : set)
                                             : static_cast<uint16_t>(yes ? set : 0)};
        return {};
    }
    case EField::Enum:
    case EField::Bit0Enum: {
        int64_t index = -1;
        if (j.is_string()) {
            std::string items;
            for (int k = 0; k < f.itemCount; ++k) {
                // The item as fields and get show it in the language in use.
                if (text == f.items[k] || text == CatalogueText(f.items[k]))
                    index = k;
                items += (k ? ", " : "") + std::string(f.items[k]);
            }
            if (index < 0)
                return lang::Args(lang::translate("driver/ConfigFile", "%1 不是以下之一: %2"),
                                  {quoted, items});
        } else if (!JsonInt(j, index)) {
            return lang::Args(lang::translate("driver/ConfigFile", "%1 不是选项序号"), {quoted});
        }
        const SRawRange range = FieldRawRange(f);
        if (index < range.lo || index > range.hi)
            return lang::Args(
                lang::translate("driver/ConfigFile", "选项 %1 超出范围 (%2~%3)"),
                {std::to_string(index), std::to_string(range.lo), std::to_string(range.hi)});
        words = {static_cast<uint16_t>(f.type == EField::Enum ? index : (r & ~1u) | index)};
        return {};
    }
    case EField::F32: {
        float v = 0;
        if (!j.is_number() && !j.is_string())
            return lang::Args(lang::translate("driver/ConfigFile", "%1 不是数字"), {quoted});
        if (!CheckFloat(FieldLabelText(f), text, v).empty())
            return IsStrictDecimal(Trimmed(text))
                       ? lang::Args(lang::translate("driver/ConfigFile", "%1 超出单精度数的范围"),
                                    {quoted})
                       : lang::Args(lang::translate("driver/ConfigFile", "%1 不是数字"), {quoted});
        uint32_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        words = Words(f, bits);
        return {};
    }
    case EField::U16:
    case EField::I16:
    case EField::U32:
    case EField::I32:
    case EField::Speed:
    case EField::MotorSpeed:
    case EField::PresetSpeed: {
        if (!j.is_number() && !j.is_string())
            return lang::Args(lang::translate("driver/ConfigFile", "%1 不是数字"), {quoted});
        std::string number = Trimmed(text);
        // The export writes the unit behind the number; it may stay or go.
        if (j.is_string() && !now.unit.empty() && number.ends_with(now.unit))
            number = Trimmed(number.substr(0, number.size() - now.unit.size()));
        SNumberRule rule = FieldRule(f, FieldDecimals(f, b, regs, ctx));
        rule.unit = now.unit;
        const SNumberCheck c = CheckNumber(rule, number);
        if (!c.Ok())
            return IsStrictDecimal(number)
                       ? lang::Args(lang::translate("driver/ConfigFile", "%1 超出范围 (%2)"),
                                    {quoted, RangeText(rule)})
                       : lang::Args(lang::translate("driver/ConfigFile", "%1 不是数字 (%2)"),
                                    {quoted, RangeText(rule)});
        words = Words(f, static_cast<uint32_t>(c.raw));
        return {};
    }
    default:
        // Learned phase data and the like are copied as registers only.
        return lang::Args(
            lang::translate("driver/ConfigFile",
                            "%1 与其寄存器中的值 (\"%2\") 不符, 此字段只能通过寄存器修改"),
            {quoted, now.text});
    }
}

// The speed unit the file's unedited speed texts were written in: the one
// more of them show (the two never look alike: tenths have a decimal point);
// -1 when none tells.
int UnitOfTexts(const std::vector<BlockImage>& blocks, const std::vector<const Json*>& fields) {
    int tenths = 0, whole = 0;
    DecodeContext hz;
    hz.speedUnitHz = true;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (!fields[i] || !fields[i]->is_object())
            continue;
        const auto a = DecodeBlock(*blocks[i].def, blocks[i].regs, {});
        const auto b = DecodeBlock(*blocks[i].def, blocks[i].regs, hz);
        for (size_t k = 0; k < a.size(); ++k) {
            const auto it = fields[i]->find(a[k].name);
            if (a[k].text == b[k].text || it == fields[i]->end() || !it->is_string())
                continue;
            tenths += JsonText(*it) == a[k].text;
            whole += JsonText(*it) == b[k].text;
        }
    }
    return tenths > whole ? 0 : whole > tenths ? 1 : -1;
}

void ReadFields(const BlockDef& def, const Json& fields, int unit, const DecodeContext& ctx,
                const std::string& where, std::vector<uint16_t>& regs,
                std::vector<uint16_t>& edited, std::vector<std::string>& errors) {
    if (!fields.is_object()) {
        errors.push_back(where + ".fields: " + lang::translate("driver/ConfigFile", "应为对象"));
        return;
    }
    for (const auto& item : fields.items()) {
        bool known = false;
        for (int k = 0; k < def.fieldCount; ++k)
            known = known || item.key() == def.fields[k].name;
        if (!known)
            errors.push_back(where + ".fields." + item.key() + ": " +
                             lang::translate("driver/ConfigFile", "不是此参数块的字段"));
    }
    DecodeContext otherUnit = ctx;
    otherUnit.speedUnitHz = !ctx.speedUnitHz;
    const std::vector<uint16_t> asWritten = regs;
    const std::vector<DecodedField> written = DecodeBlock(def, regs, ctx);
    const std::vector<DecodedField> written2 = DecodeBlock(def, regs, otherUnit);
    // Speeds whose scale follows the block's own settings (the motor's speed
    // range, the preset speeds' torque mode) are read once those are; when an
    // edited setting changed their scale they are read again, unedited or
    // not, as the page reads what it shows at the new setting.
    for (const bool afterSettings : {false, true}) {
        const std::vector<DecodedField> now = DecodeBlock(def, regs, ctx);
        for (size_t k = 0; k < now.size(); ++k) {
            const FieldDef& f = def.fields[k];
            const auto it = fields.find(f.name);
            if ((f.type == EField::MotorSpeed || f.type == EField::PresetSpeed) != afterSettings ||
                it == fields.end())
                continue;
            const Json& j = *it;
            const std::string text = JsonText(j);
            const bool rescaled =
                FieldDecimals(f, def, regs, ctx) != FieldDecimals(f, def, asWritten, ctx);
            // As the export wrote it (at either unit, when the file does not
            // tell): the registers stay.
            if (!rescaled &&
                (j.is_string() ? text == written[k].text || (unit < 0 && text == written2[k].text)
                               : j.is_null() && written[k].value.IsNull()))
                continue;
            const std::string place = where + ".fields." + f.name;
            if (unit < 0 && UsesDriverUnit(f, def, regs)) {
                errors.push_back(
                    place + ": " +
                    lang::Args(
                        lang::translate("driver/ConfigFile",
                                        "无法读取 \"%1\": 文件没有说明其驱动器的速度单位是0.1 "
                                        "Hz还是1 Hz (device.speedUnitHz)"),
                        {text}));
                continue;
            }
            std::vector<uint16_t> words;
            if (const std::string p = ReadValue(f, def, regs, now[k], ctx, j, words); !p.empty()) {
                errors.push_back(place + ": " + p);
                continue;
            }
            if (words != written[k].raw) {
                std::copy(words.begin(), words.end(), regs.begin() + (f.addr - def.start));
                edited.push_back(f.addr);
            }
        }
    }
}

// The limits the driver documents (list items, slave address, node-ID) and
// the orders between fields, on the block's registers.
void CheckValues(const BlockDef& def, const std::vector<uint16_t>& regs, const DecodeContext& ctx,
                 const std::string& where, std::vector<std::string>& errors) {
    for (int k = 0; k < def.fieldCount; ++k) {
        const FieldDef& f = def.fields[k];
        if (f.type == EField::Bit0Enum)
            continue; // its item is bit 0 alone
        const SRawRange range = FieldRawRange(f);
        const size_t at = static_cast<size_t>(f.addr - def.start);
        const uint32_t u =
            f.regs >= 2 ? (static_cast<uint32_t>(regs[at]) << 16) | regs[at + 1] : regs[at];
        const int64_t v = range.lo >= 0 ? int64_t{u}
                          : f.regs >= 2 ? int64_t{static_cast<int32_t>(u)}
                                        : int64_t{static_cast<int16_t>(u)};
        if (v >= range.lo && v <= range.hi) {
            if (!FieldValueOffered(f, v))
                errors.push_back(
                    StrFormat("%s.registers[%zu] (%s): ", where.c_str(), at, f.name) +
                    lang::Args(lang::translate("driver/ConfigFile", "%1 不是驱动器提供的取值"),
                               {std::to_string(v)}));
            continue;
        }
        SNumberRule rule = FieldRule(f, FieldDecimals(f, def, regs, ctx));
        rule.unit = f.unit;
        errors.push_back(StrFormat("%s.registers[%zu] (%s): ", where.c_str(), at, f.name) +
                         lang::Args(lang::translate("driver/ConfigFile", "%1 超出范围 (%2)"),
                                    {FormatScaled(v, rule.decimals), RangeText(rule)}));
    }
    if (const std::string p = OrderProblem(def, regs, ctx); !p.empty())
        errors.push_back(where + ": " + lang::translate("driver/ConfigFile", "顺序不符: ") + p);
}

} // namespace

void ReadBlockFields(std::vector<BlockImage>& blocks, const std::vector<const Json*>& fields,
                     int speedUnitHz, std::vector<uint16_t>& edited,
                     std::vector<std::string>& errors) {
    const int unit = speedUnitHz >= 0 ? speedUnitHz : UnitOfTexts(blocks, fields);
    DecodeContext ctx;
    ctx.speedUnitHz = unit == 1;
    for (size_t i = 0; i < blocks.size(); ++i) {
        BlockImage& b = blocks[i];
        const std::string where = std::string("blocks.") + b.def->name;
        const size_t before = errors.size();
        if (fields[i])
            ReadFields(*b.def, *fields[i], unit, ctx, where, b.regs, edited, errors);
        // A field that could not be read would only confuse these.
        if (errors.size() == before)
            CheckValues(*b.def, b.regs, ctx, where, errors);
    }
}

std::string SetFieldText(const BlockDef& b, const FieldDef& f, std::string_view text,
                         const DecodeContext& ctx, std::vector<uint16_t>& regs) {
    // The command line's words as the file's values: a list index and a flag
    // are JSON's number and boolean there.
    const std::string t(TrimmedText(text));
    const bool flag = f.type == EField::Bool || f.type == EField::Bit0 || f.type == EField::ZeroYes;
    int64_t index = 0;
    Json j = t;
    if (flag && (t == "true" || t == "false"))
        j = t == "true";
    else if ((f.type == EField::Enum || f.type == EField::Bit0Enum) && ParseStrictInt(t, index))
        j = index;
    const size_t k = static_cast<size_t>(&f - b.fields);
    std::vector<uint16_t> words;
    if (const std::string p = ReadValue(f, b, regs, DecodeBlock(b, regs, ctx)[k], ctx, j, words);
        !p.empty())
        return p;
    const uint32_t v = f.regs >= 2 ? (static_cast<uint32_t>(words[0]) << 16) | words[1] : words[0];
    if (!FieldValueOffered(f, v)) {
        std::string offered;
        for (int i = 0; i < f.itemCount; ++i)
            offered += (i ? ", " : "") + std::string(TrimmedText(f.items[i]));
        return lang::Args(lang::translate("driver/ConfigFile", "\"%1\" 不是驱动器提供的取值: %2"),
                          {t, offered});
    }
    std::copy(words.begin(), words.end(), regs.begin() + (f.addr - b.start));
    return {};
}

std::string CheckFieldText(const BlockDef& b, const FieldDef& f, std::string_view text) {
    std::string first;
    for (SScaleCase& c : FieldScaleCases(b)) {
        const std::string p = SetFieldText(b, f, text, c.ctx, c.regs);
        if (p.empty())
            return {};
        if (first.empty())
            first = p;
    }
    return first;
}
