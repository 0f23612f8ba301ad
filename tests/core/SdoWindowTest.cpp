#include "driver/Sdo.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

std::vector<uint16_t> Window(uint8_t command, uint16_t index, uint8_t sub, uint32_t data) {
    uint16_t regs[6] = {0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD};
    BuildSdoWindow(command, index, sub, data, regs);
    return std::vector<uint16_t>(regs, regs + 6);
}

} // namespace

TEST(SdoWindow, RequestRegisters) {
    using V = std::vector<uint16_t>;
    EXPECT_EQ(Window(kSdoUpload, 0x1005, 0, 0), (V{0x0040, 0x1005, 0, 0, 0, 0}));
    EXPECT_EQ(Window(kSdoDownload2, 0x1006, 0, 0x1234), (V{0x002B, 0x1006, 0, 0, 0x0000, 0x1234}));
    EXPECT_EQ(Window(kSdoDownload4, 0x1400, 1, 0x80000201),
              (V{0x0023, 0x1400, 0x0001, 0, 0x8000, 0x0201}));
    EXPECT_EQ(Window(kSdoDownload1, 0xFFFF, 0xFF, 0xFF), (V{0x002F, 0xFFFF, 0x00FF, 0, 0, 0x00FF}));
}

TEST(SdoWindow, AnswerRegisters) {
    const uint16_t upload[6] = {0x0043, 0x1005, 0x0000, 0x0000, 0x0000, 0x0080};
    SdoReply r = ParseSdoWindow(upload);
    EXPECT_EQ(r.command, kSdoUploadAns4);
    EXPECT_EQ(r.index, 0x1005);
    EXPECT_EQ(r.subindex, 0);
    EXPECT_EQ(r.data, 0x00000080u);

    const uint16_t abort[6] = {0x0080, 0x1400, 0x0009, 0x7777, 0x0609, 0x0011};
    r = ParseSdoWindow(abort);
    EXPECT_EQ(r.command, kSdoAbort);
    EXPECT_EQ(r.index, 0x1400);
    EXPECT_EQ(r.subindex, 9);
    EXPECT_EQ(r.reserved, 0x7777);
    EXPECT_EQ(r.data, 0x06090011u);
    EXPECT_EQ(SdoAbortText(r.data), "子索引不存在 (0x06090011)");

    // A high byte in the command register is kept, so it matches no command.
    const uint16_t odd[6] = {0x0160, 0x2000, 0x0100, 0, 0xFFFF, 0xFFFF};
    r = ParseSdoWindow(odd);
    EXPECT_EQ(r.command, 0x0160);
    EXPECT_NE(r.command, kSdoDownloadAck);
    EXPECT_EQ(r.subindex, 0x0100);
    EXPECT_EQ(r.data, 0xFFFFFFFFu);
}

TEST(SdoWindow, DownloadCommandBySize) {
    EXPECT_EQ(SdoDownloadCommand(1), 0x2F);
    EXPECT_EQ(SdoDownloadCommand(2), 0x2B);
    EXPECT_EQ(SdoDownloadCommand(3), 0x27);
    EXPECT_EQ(SdoDownloadCommand(4), 0x23);
    EXPECT_EQ(SdoDownloadCommand(0), 0);
    EXPECT_EQ(SdoDownloadCommand(5), 0);
    EXPECT_EQ(SdoDownloadCommand(-1), 0);
}

TEST(SdoAbortText, KnownAndUnknownCodes) {
    EXPECT_EQ(SdoAbortText(0x06020000), "对象字典中对象不存在 (0x06020000)");
    EXPECT_EQ(SdoAbortText(0x05030000), "触发位没有交替改变 (0x05030000)");
    EXPECT_EQ(SdoAbortText(0x05040002), "无效的块大小（仅Block Transfer模式） (0x05040002)");
    EXPECT_EQ(SdoAbortText(0x06010002), "试图写只读对象 (0x06010002)");
    EXPECT_EQ(SdoAbortText(0x06090030), "超出参数的值范围(写访问时) (0x06090030)");
    EXPECT_EQ(SdoAbortText(0x08000023), "对象字典动态产生错误或对象字典不存在 (0x08000023)");
    EXPECT_EQ(SdoAbortText(0x12345678), "未定义终止码(0x12345678)");
    EXPECT_EQ(SdoAbortText(0), "未定义终止码(0x00000000)");
    EXPECT_EQ(SdoAbortText(0xABCDEF01), "未定义终止码(0xABCDEF01)");
    // Neighbours of table codes are not in the table.
    EXPECT_EQ(SdoAbortText(0x06020001), "未定义终止码(0x06020001)");
}
