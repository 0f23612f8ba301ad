// Rules of the system, communication and reciprocating pages that decide the
// bytes on the wire, without widgets. The window tests check the same pages
// end to end against the virtual driver.

#include "pages/CommParamPage.h"
#include "pages/ReciprocatePage.h"

#include <gtest/gtest.h>

TEST(CommParamRules, ANoteOnlyForWrittenChangesOfLineOrAddress) {
    SCommBlocks before{};
    before.a.Set32(0x0090, 9600);
    before.a.At(0x0092) = 3;
    before.b.At(0x009C) = 1;
    const std::vector<std::string> parity = {"N2", "O1", "E1", "N1"};

    SCommBlocks line = before;
    line.a.Set32(0x0090, 19200);
    line.a.At(0x0092) = 2;
    EXPECT_EQ(CommChangeNote(before, line, false, false, parity), ""); // write failed

    // An address alone is the window test's.
    line.b.At(0x009C) = 5;
    line.a.At(0x0092) = 9; // no such item: named by its number
    EXPECT_EQ(CommChangeNote(before, line, true, true, parity),
              "驱动器485口已改为19200波特、校验方式9，从站地址已改为0x05，请相应修改连接设置");
}

TEST(CommParamRules, TheBaudMatchesItsItemAndARateNoItemNamesShowsTheFirst) {
    const std::vector<std::string> items = {"9600 ", "19200", "38400", "57600", "115200"};
    SCommBlocks s{};
    for (const auto& [baud, index] :
         {std::pair<uint32_t, const char*>{9600, "0"}, {115200, "4"}, {65536, "0"}, {19201, "0"}}) {
        s.a.Set32(0x0090, baud);
        const CtrlValues v = CommValuesFromBlocks(s, items);
        EXPECT_EQ(v.at(1155), index) << baud; // the baud-rate combo
    }
}

TEST(ReciprocateRules, SpeedsFollowTheUnitFlagAndNothingOutOfRangeIsWritten) {
    ReciprocateBlock shown{};
    shown.At(0x00A4) = 125;
    constexpr int kCoarseSpeed = 1056;
    const struct {
        bool unitHz;
        const char* typed;
        int64_t written; // -1: refused with the message
        const char* message;
    } cases[] = {
        {false, "2.3", 23, ""},
        {true, "12.5", 12, ""},
        {true, "70000", -1, "复位粗调速度: 70000 超出范围 (0~65535 Hz(脉冲/秒))"},
    };
    for (const auto& c : cases) {
        CtrlValues v = ReciprocateValuesFromBlock(shown, c.unitHz);
        v[kCoarseSpeed] = c.typed;
        ReciprocateBlock w{};
        const SInputProblem p = ReciprocateBlockFromValues(v, c.unitHz, w);
        EXPECT_EQ(p.message, c.message) << c.typed;
        if (c.written >= 0) {
            EXPECT_EQ(w.At(0x00A4), c.written) << c.typed;
        } else {
            EXPECT_EQ(p.ctrl, kCoarseSpeed);
        }
    }
}

TEST(ReciprocateRules, PresetSpeedsReadByTheReadModeAndWriteByTheSelectedMode) {
    // Register 0x00B0 as read and the flag decide the text; the mode then
    // selected and the flag decide what that text writes.
    const struct {
        uint16_t mode;
        bool unitHz;
        uint16_t raw;
        const char* shown;
        uint16_t written;
    } cases[] = {
        {1, true, 250, "2.50", 250}, // torque, hundredths
        {0, false, 30, "3.0", 30},
        {3, true, 30, "30", 30},
        {2, false, 125, "12.5", 125},
    };
    for (const auto& c : cases) {
        PresetSpeedBlock b{};
        b.At(0x00B0) = c.mode;
        b.At(0x00B2) = c.raw;
        b.At(0x00B3) = c.raw;
        CtrlValues v = PresetValuesFromBlock(b, c.unitHz);
        EXPECT_EQ(v[1121], c.shown) << c.mode << " " << c.unitHz;
        EXPECT_EQ(v[1122], c.shown) << c.mode << " " << c.unitHz;
        PresetSpeedBlock w{};
        ASSERT_FALSE(PresetBlockFromValues(v, c.unitHz, w).Has());
        EXPECT_EQ(w.At(0x00B0), c.mode);
        EXPECT_EQ(w.At(0x00B2), c.written) << c.mode << " " << c.unitHz;
        EXPECT_EQ(w.At(0x00B3), c.written) << c.mode << " " << c.unitHz;
    }
    // No mode chosen, or a torque beyond the register, writes nothing.
    CtrlValues v = PresetValuesFromBlock(PresetSpeedBlock{}, false);
    v[1123] = "-1";
    PresetSpeedBlock w{};
    EXPECT_EQ(PresetBlockFromValues(v, false, w).message, "调速方式: 未选择");
    v[1123] = "1";
    v[1121] = "655.36";
    EXPECT_EQ(PresetBlockFromValues(v, false, w).message,
              "正转速度: 655.36 超出范围 (0.00~655.35 A)");
}
