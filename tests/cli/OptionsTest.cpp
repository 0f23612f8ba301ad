#include "cli/Options.h"

#include <gtest/gtest.h>

namespace {

bool Parse(std::vector<std::string> argv, CommandLine& cl, std::string& err) {
    cl = CommandLine{};
    err.clear();
    return ParseCommandLine(argv, cl, err);
}

} // namespace

TEST(Options, DefaultsAreTheDesktopToolsAndOptionsGoAnywhere) {
    CommandLine cl;
    std::string err;
    ASSERT_TRUE(Parse({"status"}, cl, err)) << err;
    EXPECT_EQ(cl.line.port, "COM1");
    EXPECT_EQ(cl.line.baud, 9600);
    EXPECT_EQ(cl.line.framing, 0);
    EXPECT_EQ(cl.line.slave, 1);
    EXPECT_EQ(cl.line.timeoutMs, 1000);

    ASSERT_TRUE(Parse({"--port", "/dev/ttyUSB0", "--framing=e1", "reg", "write", "0x50", "-5",
                       "--type", "i16", "--slave", "7", "--json"},
                      cl, err))
        << err;
    EXPECT_EQ(cl.line.port, "/dev/ttyUSB0");
    EXPECT_EQ(cl.line.framing, 2);
    EXPECT_EQ(cl.line.slave, 7);
    EXPECT_TRUE(cl.line.json);
    EXPECT_EQ(cl.command, "reg");
    EXPECT_EQ(cl.args, (std::vector<std::string>{"write", "0x50", "-5"}));
    ASSERT_NE(cl.Value("--type"), nullptr);
    EXPECT_EQ(*cl.Value("--type"), "i16");
}

TEST(Options, MistakesAreNamed) {
    CommandLine cl;
    std::string err;
    EXPECT_FALSE(Parse({"frobnicate"}, cl, err));
    EXPECT_NE(err.find("frobnicate"), std::string::npos);
    EXPECT_FALSE(Parse({"--framing", "x8", "info"}, cl, err));
    EXPECT_NE(err.find("--framing"), std::string::npos);
    EXPECT_FALSE(Parse({"--slave", "256", "info"}, cl, err));
    EXPECT_NE(err.find("out of range"), std::string::npos);
    EXPECT_FALSE(Parse({"--timeout", "0", "info"}, cl, err));
    EXPECT_FALSE(Parse({"info", "--watch"}, cl, err)); // another command's option
    EXPECT_NE(err.find("--watch"), std::string::npos);
    EXPECT_FALSE(Parse({"info", "--slave"}, cl, err));
    EXPECT_NE(err.find("needs a value"), std::string::npos);
    EXPECT_FALSE(Parse({"status", "--watch=1"}, cl, err));
}

TEST(Options, NumbersAreWholeOrRefused) {
    int64_t v = 0;
    EXPECT_TRUE(ParseInteger("0x1A", v));
    EXPECT_EQ(v, 26);
    EXPECT_TRUE(ParseInteger("-12", v));
    EXPECT_EQ(v, -12);
    EXPECT_FALSE(ParseInteger("12abc", v));
    EXPECT_FALSE(ParseInteger("", v));
    EXPECT_FALSE(ParseInteger("0x", v));
    EXPECT_FALSE(ParseInteger("1.5", v));
    EXPECT_FALSE(ParseInteger("99999999999999999999", v));
    EXPECT_TRUE(IsStrictDecimal("-12.5"));
    EXPECT_TRUE(IsStrictDecimal("1e3"));
    EXPECT_FALSE(IsStrictDecimal("12.5Hz"));
    EXPECT_FALSE(IsStrictDecimal("."));
    EXPECT_FALSE(IsStrictDecimal("1e"));
}
