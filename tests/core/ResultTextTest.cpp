#include "modbus/ResultCode.h"

#include <gtest/gtest.h>

// The table's texts are shown as they stand; what can go wrong is the lookup
// at its gaps and edges.
TEST(ResultText, KnownCodesAndTheHexOfOthers) {
    const std::pair<int, const char*> cases[] = {{kResultOk, "操作成功"},
                                                 {kResultNotLearned, "请先对电机进行学习"},
                                                 {kResultTooLong, "要发送的数据过长"},
                                                 {7, "未定义错误(07)"},
                                                 {12, "未定义错误(0C)"},
                                                 {132, "未定义错误(84)"},
                                                 {kResultBadRunKind, "未定义错误(FF)"},
                                                 {0x1234, "未定义错误(1234)"}};
    for (const auto& [code, text] : cases)
        EXPECT_EQ(ResultText(code), text) << code;
}
