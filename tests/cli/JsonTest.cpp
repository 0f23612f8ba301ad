#include "cli/Json.h"

#include <gtest/gtest.h>

TEST(Json, WritesAndReadsBackEveryKindOfValue) {
    const std::string text = "tab\there \"quoted\" \\ 通讯超时 \x01";
    CJson doc = CJson::Object();
    doc.Set("text", CJson::Str(text));
    doc.Set("big", CJson::Uint(4294967295u));
    doc.Set("neg", CJson::Int(-32768));
    doc.Set("exact", CJson::NumberText("-100.5"));
    doc.Set("list", CJson::Array()).Push(CJson::Bool(true));
    doc.Set("none", CJson());
    for (bool pretty : {true, false}) {
        CJson back;
        std::string err;
        ASSERT_TRUE(ParseJson(doc.Dump(pretty), back, err)) << err;
        EXPECT_EQ(back.Find("text")->Text(), text);
        uint64_t big = 0;
        EXPECT_TRUE(back.Find("big")->GetUint64(big));
        EXPECT_EQ(big, 4294967295u);
        int64_t neg = 0;
        EXPECT_TRUE(back.Find("neg")->GetInt64(neg));
        EXPECT_EQ(neg, -32768);
        EXPECT_EQ(back.Find("exact")->Text(), "-100.5");
        EXPECT_TRUE(back.Find("none")->IsNull());
        EXPECT_EQ(back.Dump(pretty), doc.Dump(pretty));
    }
    // Arrays of numbers stay on one line for people.
    CJson regs = CJson::Array();
    regs.Push(CJson::Int(1));
    regs.Push(CJson::Int(2));
    EXPECT_EQ(regs.Dump(true), "[1, 2]");
    EXPECT_EQ(regs.Dump(false), "[1,2]");
    // Stray bytes are written as Latin-1 so the output stays UTF-8.
    std::string out;
    AppendJsonString(out, std::string("A\xE9\xFF") + "中");
    EXPECT_EQ(out, "\"A\xC3\xA9\xC3\xBF中\"");
}

TEST(Json, EscapesDecodeAndNumbersAreIntegersOnlyWhenWrittenAsSuch) {
    CJson j;
    std::string err;
    ASSERT_TRUE(ParseJson(R"("\u0041\u00e9\u4e2d\ud83d\ude00\/\n")", j, err)) << err;
    EXPECT_EQ(j.Text(), "Aé中😀/\n");
    int64_t v = 0;
    uint64_t u = 0;
    ASSERT_TRUE(ParseJson("[1.0, 1e2, -1, 18446744073709551616, 0]", j, err));
    EXPECT_FALSE(j.Items()[0].GetInt64(v));
    EXPECT_FALSE(j.Items()[1].GetInt64(v));
    EXPECT_FALSE(j.Items()[2].GetUint64(u));
    EXPECT_TRUE(j.Items()[2].GetInt64(v));
    EXPECT_FALSE(j.Items()[3].GetUint64(u)); // out of range, not wrapped
    EXPECT_TRUE(j.Items()[4].GetUint64(u));
}

// Truncated, trailing content, duplicate members, bad numbers, escapes,
// control characters, invalid or overlong UTF-8, too deep.
TEST(Json, RejectsBrokenDocumentsWithAPlaceAndDeepNestingWithoutACrash) {
    const char* bad[] = {
        "[01]",
        "[1.]",
        "[-]",
        "[tru]",
        "{1: 2}",
        "[1 2]",
        "{\"a\": 1,}",
        "{\"a\": 1} x",
        "{",
        "{\"a\": [1, 2",
        "{\"a\": 1, \"a\": 2}",
        "",
        "[\"\\x\"]",          // bad escape
        "[\"\\ud800\"]",      // lone surrogate
        "[\"a\x0Ab\"]",       // raw control character
        "[\"\xC3\x28\"]",     // invalid UTF-8
        "[\"\xE0\x80\x80\"]", // overlong form
    };
    for (const auto& t : bad) {
        SCOPED_TRACE(t);
        CJson j = CJson::Str("unchanged");
        std::string err;
        EXPECT_FALSE(ParseJson(t, j, err));
        EXPECT_NE(err.find("line "), std::string::npos) << err;
        EXPECT_EQ(j.Text(), "unchanged");
    }
    std::string err;
    CJson j;
    EXPECT_FALSE(ParseJson("{\n  \"a\": [1,\n  2,, 3]}", j, err));
    EXPECT_EQ(err.rfind("line 3, column 5", 0), 0u) << err;
    EXPECT_FALSE(ParseJson(std::string(100000, '['), j, err));
    EXPECT_NE(err.find("too deep"), std::string::npos);
    EXPECT_TRUE(ParseJson(std::string(60, '[') + std::string(60, ']'), j, err)) << err;
}
