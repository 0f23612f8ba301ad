// Conversions of the tool windows that decide what goes on the wire and what
// is shown of an answer: no QApplication.

#include "driver/Format.h"
#include "tools/ObjDictDlg.h"
#include "tools/RegisterDlg.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(RegisterConversions, DecimalAndHexFollowTheTypeWidthAndFloatBitPattern) {
    const struct {
        const char* decimal;
        int type;
        const char* hex;
    } toHex[] = {
        {"-1", kRegShort, "FFFF"},       {"70000", kRegShort, "1170"},
        {"-2", kRegLong, "FFFFFFFE"},    {"4294967295", kRegLong, "FFFFFFFF"},
        {"-0", kRegFloat, "80000000"},   {"0.1", kRegFloat, "3DCCCCCD"},
        {"1e39", kRegFloat, "7F800000"},
    };
    for (const auto& c : toHex)
        EXPECT_EQ(RegDecimalToHex(c.decimal, c.type), c.hex) << c.decimal << " type " << c.type;

    const struct {
        const char* hex;
        int type;
        const char* decimal;
    } toDecimal[] = {
        {"12345", kRegShort, "9029"}, // low 16 bits
        {"C0490FDB", kRegFloat, "-3.141593"},
        {"0x10", kRegShort, "16"},
    };
    for (const auto& c : toDecimal)
        EXPECT_EQ(RegHexToDecimal(c.hex, c.type), c.decimal) << c.hex << " type " << c.type;

    for (auto [typed, shown] : {std::pair{"", "0000"}, {"12345", "2345"}, {"0x1f", "001F"}})
        EXPECT_EQ(RegAddressText(typed), shown) << typed;
}

TEST(RegisterConversions, ReadRegistersShowAsHexAndDecimalHighWordFirst) {
    const struct {
        std::vector<uint16_t> regs;
        int type;
        const char *hex, *decimal;
    } reads[] = {
        {{0x8000}, kRegShort, "8000", "-32768"},
        {{0x3FC0, 0x0000}, kRegFloat, "3FC00000", "1.500000"},
    };
    for (const auto& c : reads) {
        const SRegReadTexts t = RegReadTexts(c.regs.data(), c.type);
        EXPECT_EQ(t.hex, c.hex);
        EXPECT_EQ(t.decimal, c.decimal);
    }
}

TEST(ObjDictConversions, DataIsSignExtendedAndCutByTheCommandWidth) {
    // Command indexes: 0 read, 1..4 write that many bytes.
    const struct {
        const char* hex;
        int command;
        const char* decimal;
    } toDecimal[] = {
        {"7F", 1, "127"},          {"1FF", 1, "-1"},      {"8000", 2, "-32768"},
        {"800000", 3, "-8388608"}, {"FFFFFFFF", 0, "-1"},
    };
    for (const auto& c : toDecimal)
        EXPECT_EQ(ObjDataToDecimal(c.hex, c.command), c.decimal) << c.hex << " cmd " << c.command;

    const struct {
        const char* decimal;
        int command;
        const char* hex;
    } toData[] = {{"-1", 3, "FFFFFF"},
                  {"4294967295", 4, "FFFFFFFF"},
                  {"16", 0, "00000010"},
                  {"70000", 2, "1170"}};
    for (const auto& c : toData)
        EXPECT_EQ(ObjDecimalToData(c.decimal, c.command), c.hex)
            << c.decimal << " cmd " << c.command;

    for (auto [typed, sub] : {std::pair{"0X1a", 26}, {"300", 44}, {"-1", 255}, {"12abc", 12}})
        EXPECT_EQ(ObjSubIndex(typed), sub) << typed;
    EXPECT_EQ(ObjIndexText("1a"), "001A");
}

TEST(ObjDictConversions, RequestFramesAndDecodedAnswers) {
    // The window test decodes a four-byte upload, a download and an abort.
    const struct {
        uint16_t command;
        uint32_t data;
        const char* text;
    } decoded[] = {
        {0x4F, 0x80, "索引号:0x2002 子索引:3 \r\n上传单字节数据：0x80(-128)"},
        {0x4B, 0x0000FFFE, "索引号:0x2002 子索引:3 \r\n上传双字节数据：0xFFFE(-2)"},
        {0x47, 0x00FFFFFF, "索引号:0x2002 子索引:3 \r\n上传三字节数据：0xFFFFFF(16777215)"},
    };
    for (const auto& c : decoded) {
        std::string text = "before";
        SdoReply reply;
        reply.command = c.command;
        reply.index = 0x2002;
        reply.subindex = 3;
        reply.data = c.data;
        EXPECT_TRUE(DecodeSdoReply(reply, text));
        EXPECT_EQ(text, c.text);
    }
    // Unknown commands, a high byte included, leave the text alone.
    for (uint16_t command : {0x42, 0x0143, 0x00}) {
        std::string text = "before";
        SdoReply reply;
        reply.command = command;
        EXPECT_FALSE(DecodeSdoReply(reply, text)) << command;
        EXPECT_EQ(text, "before");
    }
}

} // namespace
