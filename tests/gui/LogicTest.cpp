// Plain logic behind the windows: no QApplication. What the windows show for
// the common cases is checked against the virtual driver in the window tests.

#include "desklogic/MainDlgLogic.h"
#include "desklogic/PageLogic.h"
#include "driver/Format.h"
#include "pages/MotorCtrlPage.h"
#include "pages/MotorParamPage.h"
#include "pages/SafetyPage.h"

#include <gtest/gtest.h>

TEST(DisplayTexts, StatusInItsOtherStates) {
    // Arrived, an error, no temperature and no current reading (the fields'
    // own texts are the catalogue's, the frequency the window's).
    RealtimeStatusBlock b{};
    for (auto [addr, value] : {std::pair{0x23, 1}, {0x33, 6}, {0x34, 150}, {0x35, 1}, {0x38, 240}})
        b.At(static_cast<uint16_t>(addr)) = static_cast<uint16_t>(value);
    CtrlValues v = StatusValues(b);
    EXPECT_EQ(v.size(), 18u);
    EXPECT_EQ(v[1029], "0.0s Done");
    EXPECT_EQ(v[1039], "24.0V");
    EXPECT_EQ(v[1042], "0");
    EXPECT_EQ(v[1041], "过流关断");
    // No voltage: a dash, not a number.
    b.At(0x38) = 0;
    EXPECT_EQ(StatusValues(b)[1039], "-");
}

TEST(PageLogic, SafetyWritesWhatTheFieldsSayAndRefusesTheRest) {
    SafetyBlock s{};
    const uint16_t regs[14] = {85, 75, 600, 180, 1555, 100, 1, 7, 0, 9, 10000, 0xFFEC, 9876, 5};
    for (int i = 0; i < 14; ++i)
        s.At(static_cast<uint16_t>(0x0100 + i)) = regs[i];
    const CtrlValues shown = SafetyValuesFromBlock(s);
    // The over-current, shown to 0.1 A, shows its hundredths when it has
    // them: written back unchanged, it stays 15.55 A; 15.50 A shows as 15.5.
    EXPECT_EQ(ValueOf(shown, 1139), "15.55");
    SafetyBlock back{};
    ASSERT_FALSE(SafetyBlockFromValues(shown, back).Has());
    EXPECT_EQ(back.At(0x0104), 1555);
    s.At(0x0104) = 1550;
    EXPECT_EQ(ValueOf(SafetyValuesFromBlock(s), 1139), "15.5");
    EXPECT_EQ(back.At(0x010B), 0xFFEC);
    // Refused at the control holding the value: a signed field's range, the
    // order of two fields.
    const struct {
        int ctrl;
        const char* text;
        const char* message;
    } refused[] = {
        {1135, "32768", "过热关断: 32768 超出范围 (-32768~32767℃)"},
        {1140, "12", "过压关断 (12.0 V) 应高于欠压关断 (18.0 V)"},
    };
    for (const auto& c : refused) {
        CtrlValues v = shown;
        v[c.ctrl] = c.text;
        SafetyBlock untouched{};
        const SInputProblem p = SafetyBlockFromValues(v, untouched);
        EXPECT_EQ(p.ctrl, c.ctrl) << c.text;
        EXPECT_EQ(p.message, c.message);
        EXPECT_EQ(untouched.At(0x0104), 0);
    }
}

TEST(MotorCtrlLogic, LimitsAndMoveFrequencyAreClampedInTheSpeedUnit) {
    const struct {
        const char* text;
        bool unitHz;
        const char* shown;
        int range;
    } limits[] = {{"0", false, "0.1", 1},
                  {"12.36", false, "12.3", 123},
                  {"40000", true, "32767", 32767},
                  {"abc", true, "1", 1}};
    for (const auto& c : limits) {
        const SFreqLimit l = FreqLimitOf(c.text, c.unitHz);
        EXPECT_EQ(l.text, c.shown) << c.text;
        EXPECT_EQ(l.range, c.range) << c.text;
    }
    EXPECT_EQ(PositionLimitOf("-5"), 1);
    EXPECT_EQ(PositionLimitOf("250x"), 250);
    // A move at 0 Hz goes out as the slowest move; beyond the register, or
    // no number, no move at all.
    uint16_t freq = 0;
    EXPECT_FALSE(MoveFrequencyOf("0", true, freq).Has());
    EXPECT_EQ(freq, 1);
    EXPECT_FALSE(MoveFrequencyOf("0.7", false, freq).Has());
    EXPECT_EQ(freq, 7);
    EXPECT_EQ(MoveFrequencyOf("7000", false, freq).message,
              "换向频率: 7000 超出范围 (0.0~6553.5 Hz)");
    EXPECT_EQ(MoveFrequencyOf("1O0", true, freq).message, "换向频率: 1O0 不是数字 (0~65535 Hz)");
}

TEST(MotorParamLogic, SpeedFieldsFollowTheRangeAndTheRecordIsPackedExactly) {
    MotorParamBlock b{};
    b.At(0x0060) = 15;    // 1.5 s
    b.At(0x0066) = 30000; // maximum commutation frequency
    b.At(0x0069) = 2;
    b.At(0x006A) = 250; // 2.50 A
    b.At(0x006D) = 0x0501;
    b.At(0x006E) = 0x0302;
    b.At(0x006F) = 0x0604;
    b.At(0x0075) = 0x0003; // learned, bit 0
    b.At(0x0077) = 1;
    for (bool unitHz : {false, true}) {
        const CtrlValues v = MotorParamValuesFromBlock(b, unitHz);
        EXPECT_EQ(v.at(1049), "1.5");
        EXPECT_EQ(v.at(1083), unitHz ? "30000" : "3000.0");
        EXPECT_EQ(v.at(1043), "2.50");
        EXPECT_EQ(v.at(1111), "1");
        EXPECT_EQ(v.at(1059), "05 01 03 02 06 04");
        // Shown values are written back unchanged in either unit.
        MotorParamBlock back{};
        ASSERT_FALSE(MotorParamBlockFromValues(v, unitHz, back).Has());
        back.At(0x0075) = 3;
        EXPECT_EQ(back, b);
    }
    CtrlValues typed = MotorParamValuesFromBlock(MotorParamBlock{}, false);
    typed[1059] = "0x5 1 3 2 6 0X4";
    MotorParamBlock w{};
    ASSERT_FALSE(MotorParamBlockFromValues(typed, false, w).Has());
    EXPECT_EQ(w.At(0x006D), 0x0501);
    EXPECT_EQ(w.At(0x006F), 0x0604);

    // What used to wrap, clamp or count as 0 is refused at its control.
    const struct {
        int ctrl;
        const char* text;
        const char* message;
    } refused[] = {
        {1083, "7000", "最大换向频率: 7000 超出范围 (0.0~6553.5 Hz)"},
        {1059, "100 1 3 2 6 4", "电机相序数据: 100 1 3 2 6 4 应为6个十六进制字节 (00~FF)"},
        {1095, "0.1", "默认换向频率 (0.1 Hz) 不能大于最大换向频率 (0.0 Hz)"},
    };
    for (const auto& c : refused) {
        CtrlValues v = typed;
        v[c.ctrl] = c.text;
        const SInputProblem p = MotorParamBlockFromValues(v, false, w);
        EXPECT_EQ(p.ctrl, c.ctrl) << c.text;
        EXPECT_EQ(p.message, c.message);
    }
}
