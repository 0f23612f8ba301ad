#include "driver/Format.h"

#include "lang/Tr.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <vector>

std::string StrFormat(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s;
    if (n > 0) {
        s.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(s.data(), s.size(), fmt, ap2);
        s.resize(static_cast<size_t>(n));
    }
    va_end(ap2);
    return s;
}

namespace {

struct DecimalParts {
    bool ok = false;
    bool negative = false;
    std::string digits; // integer and fraction digits, no point
    long pointPos = 0;  // digits before the decimal point (after exponent)
};

DecimalParts SplitDecimal(std::string_view t) {
    DecimalParts p;
    size_t i = 0;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i])))
        ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        p.negative = t[i] == '-';
        ++i;
    }
    size_t intDigits = 0, fracDigits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        p.digits += t[i++];
        ++intDigits;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
            p.digits += t[i++];
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return p;
    p.ok = true;
    p.pointPos = static_cast<long>(intDigits);
    // An exponent counts only when digits follow it, as scanf reads it.
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        bool expNeg = false;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) {
            expNeg = t[j] == '-';
            ++j;
        }
        if (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) {
            long e = 0;
            while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) {
                if (e < 100000)
                    e = e * 10 + (t[j] - '0');
                ++j;
            }
            p.pointPos += expNeg ? -e : e;
        }
    }
    return p;
}

} // namespace

int64_t ScaleDecimal(std::string_view text, int decimals) {
    DecimalParts p = SplitDecimal(text);
    if (!p.ok)
        return 0;
    constexpr int64_t kLimit = int64_t(1) << 53;
    long keep = p.pointPos + decimals; // digits that stay left of the point
    int64_t v = 0;
    for (long k = 0; k < keep; ++k) {
        int d = k < static_cast<long>(p.digits.size()) ? p.digits[static_cast<size_t>(k)] - '0' : 0;
        v = v * 10 + d;
        if (v >= kLimit) {
            v = kLimit;
            break;
        }
    }
    return p.negative ? -v : v;
}

int64_t ParseLeadingInt64(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i])))
        ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        neg = t[i] == '-';
        ++i;
    }
    // Accumulated as a magnitude that stops one past the largest int64.
    constexpr uint64_t kLimit = static_cast<uint64_t>(INT64_MAX) + 1;
    uint64_t v = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        const auto digit = static_cast<uint64_t>(t[i++] - '0');
        v = v > (kLimit - digit) / 10 ? kLimit : v * 10 + digit;
    }
    if (neg)
        return v >= kLimit ? INT64_MIN : -static_cast<int64_t>(v);
    return v >= kLimit ? INT64_MAX : static_cast<int64_t>(v);
}

int ParseLeadingInt(std::string_view t) {
    const int64_t v = ParseLeadingInt64(t);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

uint32_t ParseLeadingHex(std::string_view t, bool* ok) {
    size_t i = 0;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i])))
        ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        neg = t[i] == '-';
        ++i;
    }
    if (i + 2 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(t[i + 2])))
        i += 2;
    uint32_t v = 0;
    bool any = false;
    while (i < t.size() && std::isxdigit(static_cast<unsigned char>(t[i]))) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t[i++])));
        v = v * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        any = true;
    }
    if (ok)
        *ok = any;
    return neg ? 0u - v : v;
}

std::string DeviceModelText(const DeviceInfoBlock& b) {
    std::string s;
    for (int i = 0; i < 15; ++i) {
        uint16_t r = b.At(static_cast<uint16_t>(0x0002 + i / 2));
        char c = static_cast<char>(i % 2 == 0 ? r >> 8 : r & 0xFF);
        if (c == '\0')
            break;
        s += c;
    }
    return s;
}

DeviceInfoTexts FormatDeviceInfo(const DeviceInfoBlock& b) {
    DeviceInfoTexts t;
    t.id = StrFormat("0x%04X", b.At(0x0000));
    t.version = StrFormat("%d.%02d", b.At(0x0001) >> 8, b.At(0x0001) & 0xFF);
    t.model = DeviceModelText(b);
    t.pwmResolution = StrFormat("1/%d", b.At(0x000A));
    t.pwmFrequency = StrFormat("%.1fkHz", b.At(0x000B) * 0.001);
    t.maxCurrent = StrFormat("%.1fA", b.At(0x000C) * 0.01);
    t.currentResolution = StrFormat("%dmA", b.At(0x000D));
    return t;
}

std::string ErrorStateText(uint16_t code) {
    static const char* const kTexts[] = {
        QT_TRANSLATE_NOOP("driver/Format", "无"),
        QT_TRANSLATE_NOOP("driver/Format", "未学习"),
        QT_TRANSLATE_NOOP("driver/Format", "堵转停止"),
        QT_TRANSLATE_NOOP("driver/Format", "霍尔错误"),
        QT_TRANSLATE_NOOP("driver/Format", "达不到目标速度"),
        QT_TRANSLATE_NOOP("driver/Format", "线圈错误"),
        QT_TRANSLATE_NOOP("driver/Format", "过流关断"),
        QT_TRANSLATE_NOOP("driver/Format", "过热关断"),
        QT_TRANSLATE_NOOP("driver/Format", "过压关断"),
        QT_TRANSLATE_NOOP("driver/Format", "欠压关断"),
        QT_TRANSLATE_NOOP("driver/Format", "短路/过流关断"),
        QT_TRANSLATE_NOOP("driver/Format", "制动电流异常"),
    };
    if (code < sizeof kTexts / sizeof kTexts[0])
        return lang::translate("driver/Format", kTexts[code]);
    return lang::translate("driver/Format", "未知错误");
}

StatusTexts FormatRealtimeStatus(const RealtimeStatusBlock& b) {
    StatusTexts t;
    const bool scale10 = b.At(0x0035) != 0;
    const bool wholeHz = scale10 || b.At(0x0036) != 0;
    auto mv = [&](uint16_t a) { return StrFormat("%.3fV", b.Signed(a) * 0.001); };
    t.outputPwm = StrFormat("%.1f%%", b.Signed(0x0020) * 0.1);
    t.phaseCurrent = StrFormat("%.2fA", b.At(0x0021) * 0.01);
    t.position = StrFormat("%ld", static_cast<long>(static_cast<int32_t>(b.Get32(0x0024))));
    t.commFrequency =
        wholeHz ? StrFormat("%dHz", b.Signed(0x0022)) : StrFormat("%.1fHz", b.Signed(0x0022) * 0.1);
    t.in1 = mv(0x0028);
    t.in2 = mv(0x0029);
    t.in3 = mv(0x002A);
    t.differential = mv(0x002B);
    const std::string high = lang::translate("driver/Format", "高"),
                      low = lang::translate("driver/Format", "低");
    t.sq1 = b.At(0x002C) ? high : low;
    t.sq2 = b.At(0x002D) ? high : low;
    t.inputPwm = StrFormat("%.1f%%", b.At(0x002E) * 0.1);
    t.inputFrequency = StrFormat("%dHz", b.Signed(0x002F));
    t.inputPulses = StrFormat("%ld", static_cast<long>(static_cast<int32_t>(b.Get32(0x0030))));
    t.completionTime =
        b.At(0x0023) ? std::string("0.0s Done") : StrFormat("%.1fs", b.Get32(0x0026) * 0.001);
    uint16_t speed = b.At(0x0034);
    t.motorSpeed =
        speed == 0xFFFF ? std::string("-") : StrFormat("%dRPM", speed * (scale10 ? 10 : 1));
    t.errorState = ErrorStateText(b.At(0x0033));
    uint16_t volts = b.At(0x0038), amps = b.At(0x003A);
    if (volts == 0)
        t.inputVoltage = "-";
    else if (amps != 0)
        t.inputVoltage = StrFormat("%.1fV (%.2fA)", volts * 0.1, amps * 0.01);
    else
        t.inputVoltage = StrFormat("%.1fV", volts * 0.1);
    int16_t temp = b.Signed(0x0037);
    t.temperature = temp == 0 ? std::string("0") : StrFormat("%.1f℃", temp * 0.1);
    return t;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string s;
    s.reserve(bytes.size() * 3);
    for (uint8_t b : bytes)
        s += StrFormat(s.empty() ? "%02X" : " %02X", b);
    return s;
}
