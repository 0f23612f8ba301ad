#include "driver/FieldInput.h"

#include "driver/Format.h"
#include "driver/Texts.h"
#include "lang/Tr.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

std::string_view Trimmed(std::string_view t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front())))
        t.remove_prefix(1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back())))
        t.remove_suffix(1);
    return t;
}

std::string WithUnit(const std::string& value, const std::string& unit) {
    if (unit.empty())
        return value;
    if (unit == "%" || unit == "℃" || unit == ":1")
        return value + unit;
    return value + " " + unit;
}

} // namespace

std::string_view TrimmedText(std::string_view text) {
    return Trimmed(text);
}

bool IsStrictDecimal(std::string_view t) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        size_t expDigits = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    return i == t.size();
}

bool ParseStrictHex(std::string_view text, uint32_t& out) {
    std::string_view t = Trimmed(text);
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        t.remove_prefix(2);
    if (t.empty() || t.size() > 8)
        return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out, 16);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool ParseStrictInt(std::string_view text, int64_t& out) {
    std::string_view t = Trimmed(text);
    // from_chars takes a '-' but no '+'.
    if (t.size() > 1 && t[0] == '+' && t[1] != '-')
        t.remove_prefix(1);
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool ParseStrictId(std::string_view text, int64_t& out) {
    const std::string_view t = Trimmed(text);
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        uint32_t hex = 0;
        if (!ParseStrictHex(t, hex))
            return false;
        out = hex;
        return true;
    }
    return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos &&
           ParseStrictInt(t, out);
}

std::string FieldLabelText(const FieldDef& f) {
    return f.label ? CatalogueText(f.label) : f.name;
}

SNumberRule FieldRule(const FieldDef& f, int decimals) {
    const SRawRange r = FieldRawRange(f);
    return {FieldLabelText(f), decimals, r.lo, r.hi, CatalogueText(FieldShownUnit(f))};
}

std::string RangeText(const SNumberRule& rule) {
    return WithUnit(FormatScaled(rule.lo, rule.decimals) + "~" +
                        FormatScaled(rule.hi, rule.decimals),
                    rule.unit);
}

std::string ValueProblemText(const std::string& label, std::string_view text, EValueProblem kind,
                             const std::string& range) {
    static constexpr const char* kTexts[] = {
        QT_TRANSLATE_NOOP("driver/FieldInput", "%1: %2 超出范围 (%3)"),
        QT_TRANSLATE_NOOP("driver/FieldInput", "%1: %2 不是数字 (%3)"),
        QT_TRANSLATE_NOOP("driver/FieldInput", "%1: %2 不是十六进制数 (%3)"),
        QT_TRANSLATE_NOOP("driver/FieldInput", "%1: %2 不是整数 (%3)"),
    };
    return lang::Args(lang::translate("driver/FieldInput", kTexts[static_cast<int>(kind)]),
                      {label, std::string(text), range});
}

SNumberCheck CheckNumber(const SNumberRule& rule, std::string_view text) {
    const std::string_view t = Trimmed(text);
    SNumberCheck c;
    if (t.empty()) {
        c.problem = lang::Args(lang::translate("driver/FieldInput", "%1: 未填写 (%2)"),
                               {rule.label, RangeText(rule)});
        return c;
    }
    if (!IsStrictDecimal(t)) {
        c.problem = ValueProblemText(rule.label, t, EValueProblem::NotNumber, RangeText(rule));
        return c;
    }
    c.raw = ScaleDecimal(t, rule.decimals);
    if (c.raw < rule.lo || c.raw > rule.hi)
        c.problem = ValueProblemText(rule.label, t, EValueProblem::OutOfRange, RangeText(rule));
    return c;
}

std::string CheckFloat(const std::string& label, std::string_view text, float& out) {
    const std::string t(Trimmed(text));
    if (t.empty())
        return lang::Args(lang::translate("driver/FieldInput", "%1: 未填写"), {label});
    if (!IsStrictDecimal(t))
        return lang::Args(lang::translate("driver/FieldInput", "%1: %2 不是数字"), {label, t});
    // from_chars, unlike strtod, ignores the C locale's decimal point; it
    // takes no '+'.
    double v = 0;
    const size_t skip = t[0] == '+' ? 1 : 0;
    const auto r = std::from_chars(t.data() + skip, t.data() + t.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        const size_t e = t.find_first_of("eE");
        v = e != std::string::npos && t.find('-', e) != std::string::npos ? 0.0 : HUGE_VAL;
    }
    if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max())
        return lang::Args(lang::translate("driver/FieldInput", "%1: %2 超出范围 (±3.40282e+38)"),
                          {label, t});
    out = static_cast<float>(v);
    return {};
}

std::string OrderProblem(const BlockDef& b, const std::vector<uint16_t>& regs,
                         const DecodeContext& ctx, uint16_t* field) {
    auto value = [&](const FieldDef& f, int64_t& raw) {
        const size_t i = static_cast<size_t>(f.addr - b.start);
        if (f.addr < b.start || i >= regs.size())
            return false;
        raw = FieldRawRange(f).lo < 0 ? static_cast<int16_t>(regs[i]) : regs[i];
        return true;
    };
    auto shown = [&](const FieldDef& f, int64_t raw) {
        return FieldLabelText(f) + " (" +
               WithUnit(FormatScaled(raw, FieldDecimals(f, b, regs, ctx)),
                        CatalogueText(FieldShownUnit(f))) +
               ")";
    };
    for (const SFieldOrder& o : FieldOrders()) {
        const FieldDef* up = FindField(b, o.upper);
        const FieldDef* low = FindField(b, o.lower);
        int64_t u = 0, l = 0;
        if (!up || !low || !value(*up, u) || !value(*low, l))
            continue;
        if (o.strict ? u > l : u >= l)
            continue;
        if (field)
            *field = o.strict ? o.upper : o.lower;
        return o.strict ? lang::Args(lang::translate("driver/FieldInput", "%1 应高于%2"),
                                     {shown(*up, u), shown(*low, l)})
                        : lang::Args(lang::translate("driver/FieldInput", "%1 不能大于%2"),
                                     {shown(*low, l), shown(*up, u)});
    }
    return {};
}

std::vector<SFieldScale> FieldScales(const BlockDef& b, const FieldDef& f) {
    const size_t k = static_cast<size_t>(&f - b.fields);
    std::vector<SFieldScale> out;
    for (const SScaleCase& c : FieldScaleCases(b)) {
        const SFieldScale s{FieldDecimals(f, b, c.regs, c.ctx),
                            DecodeBlock(b, c.regs, c.ctx)[k].unit};
        if (std::find(out.begin(), out.end(), s) == out.end())
            out.push_back(s);
    }
    return out;
}

std::string FieldValuesText(const BlockDef& b, const FieldDef& f) {
    std::string text;
    auto add = [&](const std::string& item, const char* sep) {
        text += (text.empty() ? "" : sep) + item;
    };
    switch (f.type) {
    case EField::Bool:
    case EField::Bit0:
    case EField::ZeroYes:
        return "yes/no";
    case EField::F32:
        return "single-precision number";
    case EField::Hex16:
    case EField::PhaseBytes:
    case EField::ModelText:
    case EField::Version:
        return "text";
    case EField::Enum:
    case EField::Bit0Enum:
        for (int i = 0; i < f.itemCount; ++i)
            add(std::to_string(i) + "=" + CatalogueText(f.items[i]), ", ");
        return text;
    default:
        break;
    }
    if (f.itemCount > 0) { // the values themselves
        for (int i = 0; i < f.itemCount; ++i)
            add(std::string(Trimmed(f.items[i])), ", ");
        return WithUnit(text, f.unit);
    }
    for (const SFieldScale& s : FieldScales(b, f)) {
        SNumberRule rule = FieldRule(f, s.decimals);
        rule.unit = s.unit;
        add(RangeText(rule), " or ");
    }
    return text;
}
