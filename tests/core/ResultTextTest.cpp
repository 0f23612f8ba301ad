#include "modbus/ResultCode.h"

#include <gtest/gtest.h>

TEST(ResultText, KnownCodes) {
    const std::pair<int, const char*> known[] = {
        {0, "操作成功"},        {1, "非法功能号"},
        {2, "非法寄存器地址"},  {3, "非法数据值"},
        {4, "操作失败"},        {5, "请求已被确认"},
        {6, "设备忙"},          {8, "奇偶检验错误"},
        {10, "网关路径不可用"}, {11, "网关目标设备响应失败"},
        {64, "不允许操作"},     {96, "请先对电机进行学习"},
        {128, "串口未打开"},    {129, "应答错误"},
        {130, "通讯超时"},      {131, "要发送的数据过长"},
    };
    for (const auto& [code, text] : known)
        EXPECT_EQ(ResultText(code), text) << code;
}

TEST(ResultText, OtherCodesShowTheirHexValue) {
    EXPECT_EQ(ResultText(7), "未定义错误(07)");
    EXPECT_EQ(ResultText(200), "未定义错误(C8)");
    EXPECT_EQ(ResultText(9), "未定义错误(09)");
    EXPECT_EQ(ResultText(12), "未定义错误(0C)");
    EXPECT_EQ(ResultText(63), "未定义错误(3F)");
    EXPECT_EQ(ResultText(65), "未定义错误(41)");
    EXPECT_EQ(ResultText(97), "未定义错误(61)");
    EXPECT_EQ(ResultText(127), "未定义错误(7F)");
    EXPECT_EQ(ResultText(132), "未定义错误(84)");
    EXPECT_EQ(ResultText(kResultBadRunKind), "未定义错误(FF)");
    EXPECT_EQ(ResultText(0x1234), "未定义错误(1234)");
}
