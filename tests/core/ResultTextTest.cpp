#include "modbus/ResultCode.h"

#include <gtest/gtest.h>

// The table's texts are shown as they stand; what can go wrong is the lookup
// at its gaps and edges.
TEST(ResultText, KnownCodesAndTheHexOfOthers) {
    const std::pair<int, const char*> cases[] = {{kResultOk, "操作成功"},
                                                 {7, "未定义错误(07)"},
                                                 {132, "未定义错误(84)"},
                                                 {kResultBadRunKind, "未定义错误(FF)"},
                                                 {0x1234, "未定义错误(1234)"}};
    for (const auto& [code, text] : cases)
        EXPECT_EQ(ResultText(code), text) << code;
}
