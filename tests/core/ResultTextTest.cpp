#include "modbus/ResultCode.h"

#include <gtest/gtest.h>

TEST(ResultText, KnownCodesAndTheHexOfOthers) {
    EXPECT_EQ(ResultText(kResultOk), "操作成功");
    EXPECT_EQ(ResultText(kResultNotLearned), "请先对电机进行学习");
    EXPECT_EQ(ResultText(kResultPortClosed), "串口未打开");
    EXPECT_EQ(ResultText(kResultBadReply), "应答错误");
    EXPECT_EQ(ResultText(kResultTimeout), "通讯超时");
    EXPECT_EQ(ResultText(kResultTooLong), "要发送的数据过长");
    // Gaps in the table, and codes beyond a byte.
    const std::pair<int, const char*> others[] = {{7, "未定义错误(07)"},
                                                  {12, "未定义错误(0C)"},
                                                  {132, "未定义错误(84)"},
                                                  {kResultBadRunKind, "未定义错误(FF)"},
                                                  {0x1234, "未定义错误(1234)"}};
    for (const auto& [code, text] : others)
        EXPECT_EQ(ResultText(code), text) << code;
}
