#include "modbus/ResultCode.h"

#include <gtest/gtest.h>

TEST(ResultText, KnownCodesAndTheHexOfOthers) {
    const std::pair<int, const char*> cases[] = {{0, "操作成功"},
                                                 {2, "非法寄存器地址"},
                                                 {96, "请先对电机进行学习"},
                                                 {128, "串口未打开"},
                                                 {129, "应答错误"},
                                                 {130, "通讯超时"},
                                                 {131, "要发送的数据过长"},
                                                 {7, "未定义错误(07)"},
                                                 {12, "未定义错误(0C)"},
                                                 {127, "未定义错误(7F)"},
                                                 {132, "未定义错误(84)"},
                                                 {kResultBadRunKind, "未定义错误(FF)"},
                                                 {0x1234, "未定义错误(1234)"}};
    for (const auto& [code, text] : cases)
        EXPECT_EQ(ResultText(code), text) << code;
}
