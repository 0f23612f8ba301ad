#include "driver/Sdo.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SdoWindow, RequestRegistersAndDownloadCommands) {
    // Sizes 1, 2 and 4 go out in the CANopen editors' exchange tests.
    const std::pair<int, int> bySize[] = {{3, 0x27}, {0, 0}, {5, 0}, {-1, 0}};
    for (const auto& [size, command] : bySize)
        EXPECT_EQ(SdoDownloadCommand(size), command) << size;
}

TEST(SdoWindow, AnswerRegistersAndAbortTexts) {
    const uint16_t abort[6] = {0x0080, 0x1400, 0x0009, 0x7777, 0x0609, 0x0011};
    SdoReply r = ParseSdoWindow(abort);
    EXPECT_EQ(r.command, kSdoAbort);
    EXPECT_EQ(r.index, 0x1400);
    EXPECT_EQ(r.subindex, 9);
    EXPECT_EQ(r.reserved, 0x7777);
    EXPECT_EQ(r.data, 0x06090011u);
    EXPECT_EQ(SdoAbortText(r.data), "子索引不存在 (0x06090011)");
    EXPECT_EQ(SdoAbortText(0), "未定义终止码(0x00000000)");
    // Neighbours of table codes are not in the table.
    EXPECT_EQ(SdoAbortText(0x06020001), "未定义终止码(0x06020001)");

    // A high byte in the command register is kept, so it matches no command.
    const uint16_t odd[6] = {0x0160, 0x2000, 0x0100, 0, 0xFFFF, 0xFFFF};
    r = ParseSdoWindow(odd);
    EXPECT_EQ(r.command, 0x0160);
    EXPECT_EQ(r.subindex, 0x0100);
    EXPECT_EQ(r.data, 0xFFFFFFFFu);
}
