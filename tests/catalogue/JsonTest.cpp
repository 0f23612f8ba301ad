#include "driver/Json.h"

#include <gtest/gtest.h>

// Exact decimals travel as numbers; a value outside the target type is
// refused, not wrapped.
TEST(Json, WritesAndReadsBackTextsEscapesAndNumbers) {
    const std::string text = "tab\there \"quoted\" \\ 通讯超时 \x01\b\f\x7f";
    Json doc = Json::object();
    doc["text"] = text;
    doc["exact"] = JsonNumber("-100.5");
    doc["regs"] = Json::array({1, 2});
    EXPECT_EQ(DumpJson(doc, false),
              "{\"text\":\"tab\\there \\\"quoted\\\" \\\\ 通讯超时 "
              "\\u0001\\u0008\\u000c\\u007f\",\"exact\":-100.5,\"regs\":[1,2]}");
    Json back;
    std::string err;
    ASSERT_TRUE(ParseJson(DumpJson(doc, true), back, err)) << err;
    EXPECT_EQ(back["text"], text);
    EXPECT_EQ(DumpJson(back, false), DumpJson(doc, false));
    // An exact decimal is written as its text: trailing zeros are the field's
    // resolution, and a value a double cannot hold stays whole.
    for (const char* exact :
         {"16.000", "-0.10", "1e3", "18446744073709551617", "123456789.123456789"}) {
        Json n = JsonNumber(exact);
        EXPECT_EQ(DumpJson(Json::array({n}), true), std::string("[") + exact + "]");
        EXPECT_EQ(JsonText(n), exact);
    }
    for (const char* notNumber : {"", "nan", "-", "1.", ".5", "01", "1e", "0x10", "1 "})
        EXPECT_TRUE(JsonNumber(notNumber).is_null()) << notNumber;
    int64_t whole = 0;
    EXPECT_TRUE(JsonInt(JsonNumber("-12"), whole));
    EXPECT_EQ(whole, -12);
    EXPECT_FALSE(JsonInt(JsonNumber("-12.5"), whole));
    // Stray bytes are written as Latin-1 so the output stays UTF-8.
    std::string out;
    AppendJsonString(out, std::string("A\xE9\xFF") + "中");
    EXPECT_EQ(out, "\"A\xC3\xA9\xC3\xBF中\"");

    ASSERT_TRUE(ParseJson(R"("\u0041\u00e9\u4e2d\ud83d\ude00\/\n")", back, err)) << err;
    EXPECT_EQ(JsonText(back), "Aé中😀/\n");
    int64_t v = 0;
    uint64_t u = 0;
    ASSERT_TRUE(ParseJson("[1.0, -1, 18446744073709551615, 18446744073709551616]", back, err));
    EXPECT_FALSE(JsonInt(back[0], v));
    EXPECT_TRUE(JsonInt(back[1], v));
    EXPECT_EQ(v, -1);
    EXPECT_FALSE(JsonUint(back[1], u));
    EXPECT_TRUE(JsonUint(back[2], u));
    EXPECT_EQ(u, UINT64_MAX);
    EXPECT_FALSE(JsonUint(back[3], u));
}

// Truncated, trailing content, duplicate members, bad numbers, escapes,
// invalid UTF-8, too deep.
TEST(Json, RejectsBrokenDocumentsWithAPlaceAndDeepNestingWithoutACrash) {
    // Plain syntax is the parser library's; one of each kind shows that every
    // refusal names its place and leaves the document as it was.
    const std::string bad[] = {"[01]",
                               "{\"a\": 1,}",
                               "{\"a\": 1} x",
                               "{\"a\": [1, 2",
                               "{\"a\": 1, \"a\": 2}",
                               "[{\"b\": {\"a\": 1}, \"a\": 2, \"b\": 3}]",
                               "[\"\\ud800\"]",
                               "[\"\xC3\x28\"]",
                               "[1e999]",
                               ""};
    for (const auto& t : bad) {
        SCOPED_TRACE(t);
        Json j = "unchanged";
        std::string err;
        EXPECT_FALSE(ParseJson(t, j, err));
        EXPECT_EQ(err.rfind("第", 0), 0u) << err;
        EXPECT_EQ(j, "unchanged");
    }
    std::string err;
    Json j;
    EXPECT_FALSE(ParseJson("{\n  \"a\": [1,\n  2,, 3]}", j, err));
    EXPECT_EQ(err.rfind("第3行, 第5列: 不是有效的JSON (", 0), 0u) << err;
    EXPECT_FALSE(ParseJson("{\"a\": 1,\n \"a\": 2}", j, err));
    EXPECT_EQ(err.rfind("第2行, 第4列: 重复的成员 \"a\"", 0), 0u) << err;
    EXPECT_FALSE(ParseJson(std::string(100000, '['), j, err));
    EXPECT_NE(err.find("嵌套太深"), std::string::npos);
    EXPECT_TRUE(ParseJson(std::string(60, '[') + std::string(60, ']'), j, err)) << err;
}
