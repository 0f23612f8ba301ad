#include "driver/Format.h"

#include <gtest/gtest.h>

// Typed decimals: binary floating point would give 229, 819 and 56 for the
// first three.
TEST(ScaleDecimal, ShiftsDigitsExactlyTruncatesTowardZeroAndSaturates) {
    struct Case {
        const char* text;
        int decimals;
        int64_t value;
    };
    const Case cases[] = {{"2.3", 2, 230},       {"8.2", 2, 820},       {"0.57", 2, 57},
                          {"-12.349", 2, -1234}, {"-0.00009", 4, 0},    {"-.5", 1, -5},
                          {"1.5e-1", 2, 15},     {"1.5e2", 1, 1500},    {"1e", 2, 100},
                          {"3abc", 1, 30},       {"9.99999", 4, 99999}, {"  +7", 3, 7000},
                          {"x5", 2, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(ScaleDecimal(c.text, c.decimals), c.value) << c.text << " @" << c.decimals;

    // Far beyond any register the magnitude saturates instead of wrapping;
    // a register keeps the low 16 bits.
    EXPECT_EQ(ScaleDecimal("1e30", 0), int64_t(1) << 53);
    EXPECT_EQ(ScaleDecimal("-99999999999999999999", 4), -(int64_t(1) << 53));
    EXPECT_EQ(ToReg16(ScaleDecimal("-2.5", 1)), 0xFFE7);
    EXPECT_EQ(ToReg16(ScaleDecimal("7000", 1)), 70000 & 0xFFFF);
}

TEST(ParseLeading, IntegersAndHex) {
    EXPECT_EQ(ParseLeadingInt(" 42abc"), 42);
    EXPECT_EQ(ParseLeadingInt("-7"), -7);
    EXPECT_EQ(ParseLeadingInt("x"), 0);
    EXPECT_EQ(ParseLeadingInt("99999999999"), INT32_MAX);
    EXPECT_EQ(ParseLeadingInt("-99999999999"), INT32_MIN);
    EXPECT_EQ(ParseLeadingInt64("4294967295"), 4294967295);
    EXPECT_EQ(ParseLeadingInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseLeadingInt64("9223372036854775808"), INT64_MAX);
    EXPECT_EQ(ParseLeadingInt64("-99999999999999999999"), INT64_MIN);

    const struct {
        const char* text;
        uint32_t value;
        bool ok;
    } hex[] = {{"0x1A00", 0x1A00, true},
               {"ff zz", 0xFF, true},
               {"zz", 0, false},
               {"0x", 0, true}}; // the 0 itself is the number
    for (const auto& c : hex) {
        bool ok = !c.ok;
        EXPECT_EQ(ParseLeadingHex(c.text, &ok), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
}

// The identifier, model, PWM frequency and current resolution are checked
// as the main window shows them.
TEST(FormatDeviceInfo, VersionPwmResolutionAndMaxCurrent) {
    DeviceInfoBlock b;
    b.At(0x0001) = 0x0205;
    b.At(0x000A) = 1000;
    b.At(0x000C) = 2050;
    DeviceInfoTexts t = FormatDeviceInfo(b);
    EXPECT_EQ(t.version, "2.05");
    EXPECT_EQ(t.pwmResolution, "1/1000");
    EXPECT_EQ(t.maxCurrent, "20.5A");
}
