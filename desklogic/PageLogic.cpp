#include "desklogic/PageLogic.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

double ParseDouble(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    // from_chars takes no '+' and does not depend on the C locale.
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        return 0.0;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero, as strtod does.
        const std::string_view digits = text.substr(i, static_cast<size_t>(end - text.data()) - i);
        const size_t e = digits.find_first_of("eE");
        const bool tiny =
            e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-';
        v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        return 0.0;
    }
    return negative ? -v : v;
}

float ToFloat(double v) {
    if (std::isnan(v))
        return std::numeric_limits<float>::quiet_NaN();
    if (v > std::numeric_limits<float>::max())
        return std::numeric_limits<float>::infinity();
    if (v < std::numeric_limits<float>::lowest())
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

const std::string& ValueOf(const CtrlValues& values, int id) {
    static const std::string empty;
    const auto it = values.find(id);
    return it == values.end() ? empty : it->second;
}

bool TakeNumber(const CtrlValues& values, int ctrl, const SNumberRule& rule, int64_t& raw,
                SInputProblem& problem) {
    const SNumberCheck c = CheckNumber(rule, ValueOf(values, ctrl));
    if (c.Ok()) {
        raw = c.raw;
        return true;
    }
    if (!problem.Has())
        problem = {ctrl, c.problem};
    return false;
}

bool TakeFloat(const CtrlValues& values, int ctrl, const std::string& label, float& out,
               SInputProblem& problem) {
    const std::string message = CheckFloat(label, ValueOf(values, ctrl), out);
    if (message.empty())
        return true;
    if (!problem.Has())
        problem = {ctrl, message};
    return false;
}

bool TakeListIndex(const CtrlValues& values, int ctrl, const FieldDef& field, int64_t& raw,
                   SInputProblem& problem) {
    if (ValueOf(values, ctrl) != "-1")
        return TakeNumber(values, ctrl, FieldRule(field), raw, problem);
    if (!problem.Has())
        problem = {ctrl, FieldLabelText(field) + ": 未选择"};
    return false;
}
