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
        {"-1", kRegShort, "FFFF"},          {"70000", kRegShort, "1170"},
        {"-32768", kRegShort, "8000"},      {"abc", kRegShort, "0000"},
        {"-2", kRegLong, "FFFFFFFE"},       {"4294967295", kRegLong, "FFFFFFFF"},
        {"12x", kRegLong, "0000000C"},      {"1.5", kRegFloat, "3FC00000"},
        {"1", kRegFloat, "3F800000"},       {"-0", kRegFloat, "80000000"},
        {"0.1", kRegFloat, "3DCCCCCD"},     {"1e39", kRegFloat, "7F800000"},
        {"-2.5e-3", kRegFloat, "BB23D70A"}, {"", kRegFloat, "00000000"},
    };
    for (const auto& c : toHex)
        EXPECT_EQ(RegDecimalToHex(c.decimal, c.type), c.hex) << c.decimal << " type " << c.type;

    const struct {
        const char* hex;
        int type;
        const char* decimal;
    } toDecimal[] = {
        {"8000", kRegShort, "-32768"},
        {"12345", kRegShort, "9029"}, // low 16 bits
        {"FFFFFFFE", kRegLong, "-2"},
        {"7FFFFFFF", kRegLong, "2147483647"},
        {"3FC00000", kRegFloat, "1.500000"},
        {"C0490FDB", kRegFloat, "-3.141593"},
        {"xyz", kRegLong, "0"},
        {"0x10", kRegShort, "16"},
    };
    for (const auto& c : toDecimal)
        EXPECT_EQ(RegHexToDecimal(c.hex, c.type), c.decimal) << c.hex << " type " << c.type;

    for (auto [typed, shown] : {std::pair{"7a", "007A"},
                                {"", "0000"},
                                {"12345", "2345"},
                                {"0x1f", "001F"},
                                {"zz", "0000"}})
        EXPECT_EQ(RegAddressText(typed), shown) << typed;
}

TEST(RegisterConversions, OneRegisterGoesWithFunction6TwoWithFunction16HighWordFirst) {
    const struct {
        const char* hex;
        int type;
        uint8_t function;
        std::vector<uint16_t> regs;
    } cases[] = {
        {"FFFF", kRegShort, 6, {0xFFFF}},
        {"12345678", kRegShort, 6, {0x5678}},
        {"12345678", kRegLong, 16, {0x1234, 0x5678}},
        {"3FC00000", kRegFloat, 16, {0x3FC0, 0x0000}},
        {"", kRegLong, 16, {0, 0}},
    };
    for (const auto& c : cases) {
        const SRegWrite w = RegWriteRequest(c.hex, c.type);
        EXPECT_EQ(w.function, c.function) << c.hex;
        EXPECT_EQ(w.regs, c.regs) << c.hex;
    }

    const struct {
        std::vector<uint16_t> regs;
        int type;
        const char *hex, *decimal;
    } reads[] = {
        {{0x8000}, kRegShort, "8000", "-32768"},
        {{0x0001}, kRegShort, "0001", "1"},
        {{0xFFFF, 0xFFFE}, kRegLong, "FFFFFFFE", "-2"},
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
        {"FF", 1, "-1"},          {"7F", 1, "127"},
        {"1FF", 1, "-1"},         {"FFFF", 2, "-1"},
        {"8000", 2, "-32768"},    {"800000", 3, "-8388608"},
        {"7FFFFF", 3, "8388607"}, {"FFFFFFFF", 4, "-1"},
        {"FFFFFFFF", 0, "-1"},    {"80000000", 4, "-2147483648"},
        {"zz", 2, "0"},
    };
    for (const auto& c : toDecimal)
        EXPECT_EQ(ObjDataToDecimal(c.hex, c.command), c.decimal) << c.hex << " cmd " << c.command;

    const struct {
        const char* decimal;
        int command;
        const char* hex;
    } toData[] = {
        {"300", 1, "2C"},
        {"-1", 2, "FFFF"},
        {"-1", 3, "FFFFFF"},
        {"-1", 4, "FFFFFFFF"},
        {"4294967295", 4, "FFFFFFFF"},
        {"16", 0, "00000010"},
        {"70000", 2, "1170"},
        {"x", 1, "00"},
    };
    for (const auto& c : toData)
        EXPECT_EQ(ObjDecimalToData(c.decimal, c.command), c.hex)
            << c.decimal << " cmd " << c.command;

    for (auto [typed, sub] : {std::pair{"0x1A", 26},
                              {"0X1a", 26},
                              {"300", 44},
                              {"", 0},
                              {"-1", 255},
                              {"12abc", 12},
                              {"x", 0}})
        EXPECT_EQ(ObjSubIndex(typed), sub) << typed;
    EXPECT_EQ(ObjIndexText("1a"), "001A");
    EXPECT_EQ(ObjIndexText("g"), "0000");
}

TEST(ObjDictConversions, RequestFramesAndDecodedAnswers) {
    // A read sends no data whatever the data edit holds.
    SObjDictRequest r = ObjDictRequest(0, "1000", "0", "FFFFFFFF");
    EXPECT_EQ(SdoFrameText(r.command, r.index, r.subindex, r.data), "40 00 10 00 00 00 00 00");
    r = ObjDictRequest(2, "2000", "1", "FFFF");
    EXPECT_EQ(SdoFrameText(r.command, r.index, r.subindex, r.data), "2B 00 20 01 FF FF 00 00");
    const uint8_t commands[] = {0x40, 0x2F, 0x2B, 0x27, 0x23};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ObjDictRequest(i, "", "", "1").command, commands[i]);
    EXPECT_EQ(SdoFrameText(0x23, 0x1800, 5, 0x12345678), "23 00 18 05 78 56 34 12");

    const struct {
        uint16_t command;
        uint32_t data;
        const char* text;
    } decoded[] = {
        {0x4F, 0x80, "索引号:0x2002 子索引:3 \r\n上传单字节数据：0x80(-128)"},
        {0x4B, 0x0000FFFE, "索引号:0x2002 子索引:3 \r\n上传双字节数据：0xFFFE(-2)"},
        {0x47, 0x00FFFFFF, "索引号:0x2002 子索引:3 \r\n上传三字节数据：0xFFFFFF(16777215)"},
        {0x43, 0xFFFFFFFF, "索引号:0x2002 子索引:3 \r\n上传四字节数据：0xFFFFFFFF(-1)"},
        {0x60, 0, "索引:0x2002 子索引:3 写入成功"},
        {0x80, 0x06090011, "索引号:0x2002 子索引:3 \r\n传送中断：子索引不存在 (0x06090011)"},
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
