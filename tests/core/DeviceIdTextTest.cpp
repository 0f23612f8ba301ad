#include "driver/MotorDriver.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

TEST(DeviceIdText, ObjectsBecomeNamedLinesJoinedByCrLf) {
    // more-follows, next id, count, then id/length/value triples.
    Bytes payload = Hex("00 00 04"
                        "00 03 41 42 43"    // "ABC"
                        "01 02 58 59"       // "XY"
                        "02 04 31 2E 30 00" // "1.0" ended early by a zero byte
                        "07 00");           // empty: past the named ids, extended
    std::string text;
    ASSERT_TRUE(AppendDeviceIdObjects(payload.data(), payload.size(), text));
    EXPECT_EQ(text, "公司名称:ABC\r\n产品代码:XY\r\n主要修订版本:1.0\r\n扩展描述:");

    // A second reply's objects continue the same text; one without objects adds nothing.
    Bytes more = Hex("00 00 01 06 02 4D 31");
    ASSERT_TRUE(AppendDeviceIdObjects(more.data(), more.size(), text));
    Bytes none = Hex("00 00 00");
    ASSERT_TRUE(AppendDeviceIdObjects(none.data(), none.size(), text));
    EXPECT_EQ(text,
              "公司名称:ABC\r\n产品代码:XY\r\n主要修订版本:1.0\r\n扩展描述:\r\n用户应用名称:M1");
}

TEST(DeviceIdText, ObjectRunningPastTheEndIsRefused) {
    std::string text = "keep";
    for (const char* cut : {"00 00 01 00 09 41 42", "00 00 01 00"}) { // short value, no length
        Bytes b = Hex(cut);
        EXPECT_FALSE(AppendDeviceIdObjects(b.data(), b.size(), text)) << cut;
    }

    // A length of 255 with all its bytes present is fine.
    Bytes big = Hex("00 00 01 03 FF");
    big.insert(big.end(), 255, 'w');
    std::string url;
    ASSERT_TRUE(AppendDeviceIdObjects(big.data(), big.size(), url));
    EXPECT_EQ(url, "供应商网址:" + std::string(255, 'w'));
}
