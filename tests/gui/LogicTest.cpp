// Plain logic behind the windows: no QApplication.

#include "app/MainDlgLogic.h"
#include "app/PageLogic.h"
#include "driver/Format.h"
#include "pages/PidPage.h"
#include "pages/SafetyPage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(TypedDecimals, ShiftsDecimalDigitsExactlyAndTruncatesTowardZero) {
    // Binary floating point gives 229, 819 and 56 here.
    EXPECT_EQ(ScaleDecimal("2.3", 2), 230);
    EXPECT_EQ(ScaleDecimal("8.2", 2), 820);
    EXPECT_EQ(ScaleDecimal("0.57", 2), 57);
    EXPECT_EQ(ScaleDecimal("12.56", 1), 125);
    EXPECT_EQ(ScaleDecimal("-2.5", 1), -25);
    EXPECT_EQ(ScaleDecimal("-12.56", 1), -125);
    EXPECT_EQ(ScaleDecimal("85.7", 0), 85);
    EXPECT_EQ(ScaleDecimal("1.0234", 4), 10234);
    EXPECT_EQ(ScaleDecimal("1.00019", 4), 10001);
    EXPECT_EQ(ScaleDecimal("  +7", 3), 7000);
    EXPECT_EQ(ScaleDecimal(".5", 1), 5);
    EXPECT_EQ(ScaleDecimal("1.5e2", 1), 1500);
    EXPECT_EQ(ScaleDecimal("3V", 1), 30);
}

TEST(TypedDecimals, EmptyOrNonNumericTextIsZeroAndHugeTextSaturates) {
    EXPECT_EQ(ScaleDecimal("", 2), 0);
    EXPECT_EQ(ScaleDecimal("abc", 2), 0);
    EXPECT_EQ(ScaleDecimal("-", 2), 0);
    EXPECT_EQ(ScaleDecimal(".", 2), 0);
    EXPECT_EQ(ScaleDecimal("x5", 0), 0);
    const int64_t limit = int64_t(1) << 53;
    EXPECT_EQ(ScaleDecimal("99999999999999999999999", 0), limit);
    EXPECT_EQ(ScaleDecimal("-1e300", 4), -limit);
    // Over-range for a register: only the low 16 bits are written.
    EXPECT_EQ(ToReg16(ScaleDecimal("7000", 1)), 70000 & 0xFFFF);
    EXPECT_EQ(ToReg16(ScaleDecimal("-2.5", 1)), 0xFFE7);
}

TEST(ParseDouble, ReadsTheLeadingNumberLikeScanf) {
    EXPECT_EQ(ParseDouble("0.5"), 0.5);
    EXPECT_EQ(ParseDouble("  -1.25e1x"), -12.5);
    EXPECT_EQ(ParseDouble("+.5"), 0.5);
    EXPECT_EQ(ParseDouble(""), 0.0);
    EXPECT_EQ(ParseDouble("abc"), 0.0);
    EXPECT_EQ(ParseDouble("-"), 0.0);
    EXPECT_TRUE(std::isinf(ParseDouble("1e999")));
    EXPECT_EQ(ParseDouble("1e-999"), 0.0);
    // Beyond single precision: infinity, not undefined behaviour.
    EXPECT_EQ(ToFloat(1e39), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ToFloat(-1e39), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(ToFloat(0.1), 0.1f);
}

TEST(AddressRules, CheckBoxesGiveOneTo128) {
    EXPECT_EQ(AddressFromBits(0), 1);
    EXPECT_EQ(AddressText(AddressFromBits(0)), "0x01");
    EXPECT_EQ(AddressFromBits(0x01), 2);
    EXPECT_EQ(AddressFromBits(0x7F), 128);
    EXPECT_EQ(AddressText(128), "0x80");
}

TEST(AddressRules, TypedTextIsHexAfterAnXElseDecimal) {
    EXPECT_EQ(ParseAddressText("0x80"), 0x80);
    EXPECT_EQ(BitsFromAddress(0x80), 0x7Fu);
    EXPECT_EQ(ParseAddressText("12"), 12);
    EXPECT_EQ(BitsFromAddress(12), 0x0Bu); // boxes 1, 2 and 4
    EXPECT_EQ(ParseAddressText("0x1f"), 0x1F);
    EXPECT_EQ(AddressText(ParseAddressText("0x1f")), "0x1F");
    EXPECT_EQ(ParseAddressText("0X1F"), 0x1F);
    EXPECT_EQ(ParseAddressText("200"), 200);
    EXPECT_EQ(BitsFromAddress(200), 0u);
    EXPECT_EQ(ParseAddressText("300"), 44);
    EXPECT_EQ(BitsFromAddress(44), 43u);
    EXPECT_EQ(ParseAddressText("0"), 0);
    EXPECT_EQ(BitsFromAddress(0), 0u);
    EXPECT_EQ(ParseAddressText("x5"), 0);
    EXPECT_EQ(ParseAddressText(""), 0);
    EXPECT_EQ(AddressText(0), "0x00");
}

TEST(TrafficText, EveryByteAsTwoHexDigitsAndASpace) {
    EXPECT_EQ(TrafficText({0x01, 0x03, 0x00, 0x00, 0x00, 0x10, 0x44, 0x06}),
              "01 03 00 00 00 10 44 06 ");
    EXPECT_EQ(TrafficText({}), "");
    EXPECT_EQ(BaudFromText("115200"), 115200);
}

TEST(DeviceInfoTexts, FollowTheFieldFormats) {
    DeviceInfoBlock b{};
    b.At(0x0000) = 0x00AB;
    b.At(0x0001) = 0x0A05;
    const char model[] = "ABCDEFGHIJKLMNOP"; // 16 characters: only 15 shown
    for (int i = 0; i < 8; ++i)
        b.At(static_cast<uint16_t>(0x0002 + i)) =
            static_cast<uint16_t>(model[2 * i] << 8 | model[2 * i + 1]);
    b.At(0x000A) = 1000;
    b.At(0x000B) = 16000;
    b.At(0x000C) = 1234;
    b.At(0x000D) = 25;
    CtrlValues v = DeviceInfoValues(b);
    EXPECT_EQ(v[1018], "0x00AB");
    EXPECT_EQ(v[1019], "ABCDEFGHIJKLMNO");
    EXPECT_EQ(v[1020], "10.05");
    EXPECT_EQ(v[1021], "1/1000");
    EXPECT_EQ(v[1022], "16.0kHz");
    EXPECT_EQ(v[1023], "12.3A");
    EXPECT_EQ(v[1024], "25mA");
    b.At(0x0001) = 0x0102;
    b.At(0x0003) = 0x4300; // model cut at the first NUL
    v = DeviceInfoValues(b);
    EXPECT_EQ(v[1020], "1.02");
    EXPECT_EQ(v[1019], "ABC");
}

TEST(StatusTexts, FollowTheDisplayRules) {
    RealtimeStatusBlock b{};
    b.At(0x0020) = 0xFC18;
    b.At(0x0021) = 150;
    b.At(0x0022) = 1234;
    b.Set32(0x0024, 0xFFFFFFFF);
    b.Set32(0x0026, 100000);
    b.At(0x0028) = 1650;
    b.At(0x0029) = 0xFFFF;
    b.At(0x002C) = 0;
    b.At(0x002D) = 1;
    b.At(0x002E) = 505;
    b.At(0x002F) = static_cast<uint16_t>(-5);
    b.Set32(0x0030, 0x00010000);
    b.At(0x0033) = 12;
    b.At(0x0034) = 150;
    b.At(0x0037) = 253;
    b.At(0x0038) = 240;
    CtrlValues v = StatusValues(b);
    EXPECT_EQ(v.size(), 18u);
    EXPECT_EQ(v[1025], "-100.0%");
    EXPECT_EQ(v[1026], "1.50A");
    EXPECT_EQ(v[1027], "123.4Hz");
    EXPECT_EQ(v[1028], "-1");
    EXPECT_EQ(v[1029], "100.0s");
    EXPECT_EQ(v[1030], "1.650V");
    EXPECT_EQ(v[1031], "-0.001V");
    EXPECT_EQ(v[1034], "低");
    EXPECT_EQ(v[1035], "高");
    EXPECT_EQ(v[1036], "50.5%");
    EXPECT_EQ(v[1037], "-5Hz");
    EXPECT_EQ(v[1038], "65536");
    EXPECT_EQ(v[1040], "150RPM");
    EXPECT_EQ(v[1041], "未知错误");
    EXPECT_EQ(v[1042], "25.3℃");
    EXPECT_EQ(v[1039], "24.0V");

    b.At(0x0023) = 1;
    b.At(0x0035) = 1;
    b.At(0x003A) = 150;
    b.At(0x0037) = 0;
    b.At(0x0033) = 6;
    v = StatusValues(b);
    EXPECT_EQ(v[1029], "0.0s Done");
    EXPECT_EQ(v[1027], "1234Hz");
    EXPECT_EQ(v[1040], "1500RPM");
    EXPECT_EQ(v[1039], "24.0V (1.50A)");
    EXPECT_EQ(v[1042], "0");
    EXPECT_EQ(v[1041], "过流关断");

    b.At(0x0035) = 0;
    b.At(0x0036) = 1;
    b.At(0x0034) = 0xFFFF;
    b.At(0x0038) = 0;
    v = StatusValues(b);
    EXPECT_EQ(v[1027], "1234Hz");
    EXPECT_EQ(v[1040], "-");
    EXPECT_EQ(v[1039], "-");
}

TEST(PidLogic, GainsAreShownWithPercentGAndWrittenAsSinglePrecision) {
    PidBlock b{};
    b.At(0x00BA) = 0x3F80; // 1.0, self-locking Kp
    b.SetFloat(0x00C2, 0.1f);
    b.SetFloat(0x00C6, 1234567.0f);
    b.SetFloat(0x00CA, -0.00001f);
    CtrlValues v = PidValuesFromBlock(b);
    EXPECT_EQ(v.size(), 9u);
    EXPECT_EQ(v[1057], "1");
    EXPECT_EQ(v[1053], "0.1"); // the single-precision rounding stays hidden
    EXPECT_EQ(v[1056], "1.23457e+06");
    EXPECT_EQ(v[1060], "-1e-05");
    EXPECT_EQ(v[1052], "0");

    v[1053] = "0.5";
    v[1061] = "abc";
    v[1062] = "";
    const PidBlock w = PidBlockFromValues(v);
    EXPECT_EQ(w.At(0x00C2), 0x3F00);
    EXPECT_EQ(w.At(0x00C3), 0x0000);
    EXPECT_EQ(w.At(0x00BA), 0x3F80);
    EXPECT_EQ(w.GetFloat(0x00BC), 0.0f);
    EXPECT_EQ(w.GetFloat(0x00BE), 0.0f);
    EXPECT_EQ(w.GetFloat(0x00C6), 1234570.0f); // what the six digits say
}

TEST(SafetyLogic, ReadFormatsAndConfigureScalesExactly) {
    SafetyBlock b{};
    const uint16_t regs[14] = {85, 75, 600, 180, 1555, 100, 1, 7, 0, 9, 10000, 0xFFEC, 9876, 5};
    for (int i = 0; i < 14; ++i)
        b.At(static_cast<uint16_t>(0x0100 + i)) = regs[i];
    CtrlValues v = SafetyValuesFromBlock(b);
    EXPECT_EQ(v, (CtrlValues{{1135, "85"},
                             {1136, "75"},
                             {1140, "60.0"},
                             {1141, "18.0"},
                             {1139, "15.6"},
                             {1142, "100"},
                             {1137, "1.0000"},
                             {1138, "-2.0"},
                             {1145, "0.9876"},
                             {1146, "0.5"},
                             {1056, "1"},
                             {1057, "0"}}));

    // Written back unchanged, the over-current becomes 15.6 A; the unused
    // registers become 0.
    SafetyBlock w = SafetyBlockFromValues(v);
    EXPECT_EQ(w.At(0x0104), 1560);
    EXPECT_EQ(w.At(0x0107), 0);
    EXPECT_EQ(w.At(0x0109), 0);
    EXPECT_EQ(w.At(0x0106), 1);
    EXPECT_EQ(w.At(0x010B), 0xFFEC);
    EXPECT_EQ(w.At(0x010C), 9876);

    v[1135] = "85.7";
    v[1138] = "-2.5";
    v[1137] = "1.0234";
    v[1140] = "2.3";
    v[1139] = "0.57";
    v[1141] = "abc";
    v[1142] = "-1";
    v[1057] = "1";
    w = SafetyBlockFromValues(v);
    EXPECT_EQ(w.At(0x0100), 85);
    EXPECT_EQ(w.At(0x010B), 0xFFE7);
    EXPECT_EQ(w.At(0x010A), 10234);
    EXPECT_EQ(w.At(0x0102), 23);
    EXPECT_EQ(w.At(0x0104), 57);
    EXPECT_EQ(w.At(0x0103), 0);
    EXPECT_EQ(w.At(0x0105), 0xFFFF);
    EXPECT_EQ(w.At(0x0108), 1);
}
