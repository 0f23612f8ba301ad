// Plain logic behind the windows: no QApplication. What the windows show for
// the common cases is checked against the virtual driver in the window tests.

#include "app/MainDlgLogic.h"
#include "app/PageLogic.h"
#include "driver/Format.h"
#include "pages/PidPage.h"
#include "pages/SafetyPage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(TypedDecimals, ShiftDigitsExactlyTruncateTowardZeroAndSaturate) {
    const int64_t limit = int64_t(1) << 53;
    const struct {
        const char* text;
        int decimals;
        int64_t want;
    } cases[] = {// Binary floating point gives 229, 819 and 56 for the first three.
                 {"2.3", 2, 230},
                 {"8.2", 2, 820},
                 {"0.57", 2, 57},
                 {"12.56", 1, 125},
                 {"-2.5", 1, -25},
                 {"-12.56", 1, -125},
                 {"85.7", 0, 85},
                 {"1.0234", 4, 10234},
                 {"1.00019", 4, 10001},
                 {"  +7", 3, 7000},
                 {".5", 1, 5},
                 {"1.5e2", 1, 1500},
                 {"3V", 1, 30},
                 // Empty or non-numeric text is zero; huge text saturates.
                 {"", 2, 0},
                 {"abc", 2, 0},
                 {"-", 2, 0},
                 {".", 2, 0},
                 {"x5", 0, 0},
                 {"99999999999999999999999", 0, limit},
                 {"-1e300", 4, -limit}};
    for (const auto& c : cases)
        EXPECT_EQ(ScaleDecimal(c.text, c.decimals), c.want) << c.text;
    // Over-range for a register: only the low 16 bits are written.
    EXPECT_EQ(ToReg16(ScaleDecimal("7000", 1)), 70000 & 0xFFFF);
    EXPECT_EQ(ToReg16(ScaleDecimal("-2.5", 1)), 0xFFE7);
}

TEST(ParseDouble, ReadsTheLeadingNumberLikeScanfAndFloatsSaturate) {
    const std::pair<const char*, double> cases[] = {
        {"0.5", 0.5}, {"  -1.25e1x", -12.5}, {"+.5", 0.5}, {"", 0.0}, {"abc", 0.0},
        {"-", 0.0},   {"1e-999", 0.0}};
    for (const auto& [text, want] : cases)
        EXPECT_EQ(ParseDouble(text), want) << text;
    EXPECT_TRUE(std::isinf(ParseDouble("1e999")));
    // Beyond single precision: infinity, not undefined behaviour.
    EXPECT_EQ(ToFloat(1e39), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ToFloat(-1e39), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(ToFloat(0.1), 0.1f);
}

TEST(DisplayTexts, DeviceInformationAndStatusInTheirOtherStates) {
    DeviceInfoBlock info{};
    info.At(0x0001) = 0x0102;
    info.At(0x0002) = 0x4142;
    info.At(0x0003) = 0x4300; // model cut at the first NUL
    CtrlValues v = DeviceInfoValues(info);
    EXPECT_EQ(v[1020], "1.02");
    EXPECT_EQ(v[1019], "ABC");

    RealtimeStatusBlock b{};
    b.At(0x0022) = 1234;
    b.At(0x0023) = 1;
    b.At(0x0033) = 6;
    b.At(0x0034) = 150;
    b.At(0x0035) = 1;
    b.At(0x0038) = 240; // and no current reading
    v = StatusValues(b);
    EXPECT_EQ(v.size(), 18u);
    EXPECT_EQ(v[1029], "0.0s Done");
    EXPECT_EQ(v[1027], "1234Hz");
    EXPECT_EQ(v[1040], "1500RPM");
    EXPECT_EQ(v[1039], "24.0V");
    EXPECT_EQ(v[1042], "0");
    EXPECT_EQ(v[1041], "过流关断");
    // No speed reading and no voltage: a dash, not a number.
    b.At(0x0035) = 0;
    b.At(0x0036) = 1;
    b.At(0x0034) = 0xFFFF;
    b.At(0x0038) = 0;
    v = StatusValues(b);
    EXPECT_EQ(v[1027], "1234Hz");
    EXPECT_EQ(v[1040], "-");
    EXPECT_EQ(v[1039], "-");
}

TEST(PageLogic, PidGainsRoundTripWithSixDigitsAndSafetyWritesWhatTheFieldsSay) {
    PidBlock pid{};
    pid.SetFloat(0x00C6, 1234567.0f);
    pid.SetFloat(0x00CA, -0.00001f);
    CtrlValues v = PidValuesFromBlock(pid);
    EXPECT_EQ(v[1056], "1.23457e+06");
    EXPECT_EQ(v[1060], "-1e-05");
    v[1062] = "";
    const PidBlock w = PidBlockFromValues(v);
    EXPECT_EQ(w.GetFloat(0x00C6), 1234570.0f); // what the six digits say
    EXPECT_EQ(w.GetFloat(0x00BE), 0.0f);

    SafetyBlock s{};
    const uint16_t regs[14] = {85, 75, 600, 180, 1555, 100, 1, 7, 0, 9, 10000, 0xFFEC, 9876, 5};
    for (int i = 0; i < 14; ++i)
        s.At(static_cast<uint16_t>(0x0100 + i)) = regs[i];
    v = SafetyValuesFromBlock(s);
    // Written back unchanged, the over-current becomes 15.6 A.
    SafetyBlock back = SafetyBlockFromValues(v);
    EXPECT_EQ(back.At(0x0104), 1560);
    EXPECT_EQ(back.At(0x010B), 0xFFEC);
    v[1141] = "abc";
    v[1142] = "-1";
    back = SafetyBlockFromValues(v);
    EXPECT_EQ(back.At(0x0103), 0);
    EXPECT_EQ(back.At(0x0105), 0xFFFF);
}
