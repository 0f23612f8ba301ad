#include "driver/MotorDriver.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

TEST(DeviceIdText, ObjectNames) {
    EXPECT_STREQ(DeviceIdObjectName(0), "公司名称");
    EXPECT_STREQ(DeviceIdObjectName(1), "产品代码");
    EXPECT_STREQ(DeviceIdObjectName(2), "主要修订版本");
    EXPECT_STREQ(DeviceIdObjectName(3), "供应商网址");
    EXPECT_STREQ(DeviceIdObjectName(4), "产品名称");
    EXPECT_STREQ(DeviceIdObjectName(5), "模式名称");
    EXPECT_STREQ(DeviceIdObjectName(6), "用户应用名称");
    EXPECT_STREQ(DeviceIdObjectName(7), "扩展描述");
    EXPECT_STREQ(DeviceIdObjectName(0x80), "扩展描述");
    EXPECT_STREQ(DeviceIdObjectName(0xFF), "扩展描述");
}

TEST(DeviceIdText, ObjectsBecomeLinesJoinedByCrLf) {
    // more-follows, next id, count, then id/length/value triples.
    Bytes payload = Hex("00 00 04"
                        "00 03 41 42 43"    // "ABC"
                        "01 02 58 59"       // "XY"
                        "02 04 31 2E 30 00" // "1.0" ended early by a zero byte
                        "80 00");           // empty extended object
    std::string text;
    ASSERT_TRUE(AppendDeviceIdObjects(payload.data(), payload.size(), text));
    EXPECT_EQ(text, "公司名称:ABC\r\n产品代码:XY\r\n主要修订版本:1.0\r\n扩展描述:");

    // A second reply's objects continue the same text.
    Bytes more = Hex("00 00 01 04 02 4D 31");
    ASSERT_TRUE(AppendDeviceIdObjects(more.data(), more.size(), text));
    EXPECT_EQ(text, "公司名称:ABC\r\n产品代码:XY\r\n主要修订版本:1.0\r\n扩展描述:\r\n产品名称:M1");

    // A payload without objects adds nothing.
    std::string empty;
    Bytes none = Hex("00 00 00");
    EXPECT_TRUE(AppendDeviceIdObjects(none.data(), none.size(), empty));
    EXPECT_EQ(empty, "");
}

TEST(DeviceIdText, ObjectRunningPastTheEndIsRefused) {
    Bytes cut = Hex("00 00 01 00 09 41 42");
    std::string text = "keep";
    EXPECT_FALSE(AppendDeviceIdObjects(cut.data(), cut.size(), text));

    Bytes lone = Hex("00 00 01 00"); // id without its length byte
    EXPECT_FALSE(AppendDeviceIdObjects(lone.data(), lone.size(), text));

    // A length of 255 with all its bytes present is fine.
    Bytes big = Hex("00 00 01 03 FF");
    big.insert(big.end(), 255, 'w');
    std::string url;
    ASSERT_TRUE(AppendDeviceIdObjects(big.data(), big.size(), url));
    EXPECT_EQ(url, "供应商网址:" + std::string(255, 'w'));
}
