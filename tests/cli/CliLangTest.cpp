// The driver's texts in English with --lang en or an English environment,
// Chinese with --lang zh or any other; the command line's own words and the
// JSON keys are the same either way.

#include "tests/cli/CliRunner.h"

#include <cstdlib>

namespace {

using CliLang = CliTest;

TEST_F(CliLang, DriverTextsFollowTheLanguage) {
    m_sim.Driver().SetRegister(0x0080, 3); // limit trigger polarity, item 3
    const std::string get = "get system-a.limit_trigger_polarity";
    Expect(get + " --lang en", 0, {"system-a.limit_trigger_polarity = Rising edge / on opening\n"});
    Expect(get + " --lang zh", 0, {"system-a.limit_trigger_polarity = 上升沿/断开瞬间\n"});
    Expect("fields motor --lang en", 0, {"Rated current", "0=Horizontal positioning"});
    // What get showed in English, set takes back.
    m_sim.Driver().SetRegister(0x0080, 0);
    EXPECT_EQ(Cli({"set", "system-a.limit_trigger_polarity", "Rising edge / on opening", "--yes",
                   "--lang", "en"})
                  .status,
              0);
    EXPECT_EQ(m_sim.Driver().GetRegister(0x0080), 3);

    // The environment's language, which --lang overrides.
    const char* saved = std::getenv("LANG");
    const std::string was = saved ? saved : "";
    setenv("LANG", "en_US.UTF-8", 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    Expect(get, 0, {"= Rising edge / on opening\n"});
    Expect(get + " --lang zh", 0, {"= 上升沿/断开瞬间\n"});
    CliRun usage = Expect("get no.such_field", 2, {}, {"halvik-cli: "});
    setenv("LANG", "C.UTF-8", 1);
    Expect(get, 0, {"= 上升沿/断开瞬间\n"});
    EXPECT_EQ(Expect("get no.such_field", 2).err, usage.err); // its own words stay English
    if (saved)
        setenv("LANG", was.c_str(), 1);
    else
        unsetenv("LANG");

    // JSON: the same keys, the result text in the language asked for.
    const Json en = JsonOf({"stop", "--lang", "en"}), zh = JsonOf({"stop", "--lang", "zh"});
    EXPECT_EQ(At(en, "result.text"), "Done");
    EXPECT_EQ(At(zh, "result.text"), "操作成功");
    for (const auto& [key, value] : zh.items())
        EXPECT_TRUE(en.contains(key)) << key;
}

} // namespace
