#pragma once
// Conversions between register values and the texts a user sees or types.
// Shared by the desktop pages and the command line; no GUI here.

#include "driver/Blocks.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// printf into a std::string. MinGW's C++ library formats with MinGW's own
// C99 printf, so the format is checked as that one's, not as Microsoft's.
#ifdef __MINGW32__
#define HALVIK_PRINTF_FORMAT gnu_printf
#else
#define HALVIK_PRINTF_FORMAT printf
#endif
std::string StrFormat(const char* fmt, ...) __attribute__((format(HALVIK_PRINTF_FORMAT, 1, 2)));

// Typed decimal text times 10^decimals (decimals 0..4), exactly: the digits
// are shifted, not multiplied in binary floating point, so "2.3" at 2 decimals
// is 230 and "0.57" is 57. Digits beyond the resolution are dropped (toward
// zero): "12.56" at 1 decimal is 125, "-2.5" is -25, "85.7" at 0 is 85.
// Leading blanks, a sign, a decimal point and an exponent ("1e3") are read
// like scanf's %lf; whatever follows the number is ignored. Text that is not
// a number gives 0. Magnitudes beyond 2^53 saturate.
int64_t ScaleDecimal(std::string_view text, int decimals);
// The low 16 bits, as a register stores a truncated value.
inline uint16_t ToReg16(int64_t v) {
    return static_cast<uint16_t>(static_cast<uint64_t>(v));
}
// Leading decimal integer like atoi / "%d" (0 when none); saturates to int range.
int ParseLeadingInt(std::string_view text);
// The same over the 64-bit range (saturating), for values that are then cut
// to a register's width.
int64_t ParseLeadingInt64(std::string_view text);
// Leading hexadecimal number like "%X" (an optional 0x is accepted); ok=false when none.
uint32_t ParseLeadingHex(std::string_view text, bool* ok = nullptr);
// Bytes as "01 03 00 20 ..." (empty for none), as frames are shown.
std::string HexBytes(const std::vector<uint8_t>& bytes);

// Texts of the device information group.
struct DeviceInfoTexts {
    std::string id;                // "0x%04X"
    std::string model;             // up to 15 characters
    std::string version;           // "%d.%02d"
    std::string pwmResolution;     // "1/%d"
    std::string pwmFrequency;      // "%.1fkHz"
    std::string maxCurrent;        // "%.1fA"
    std::string currentResolution; // "%dmA"
};
DeviceInfoTexts FormatDeviceInfo(const DeviceInfoBlock& b);

// Texts of the real-time status group, one per value field.
struct StatusTexts {
    std::string outputPwm, phaseCurrent, commFrequency, position, completionTime;
    std::string in1, in2, in3, differential, sq1, sq2;
    std::string inputPwm, inputFrequency, inputPulses;
    std::string motorSpeed, errorState, temperature, inputVoltage;
};
StatusTexts FormatRealtimeStatus(const RealtimeStatusBlock& b);

// Text of the error state register (0x0033).
std::string ErrorStateText(uint16_t code);
