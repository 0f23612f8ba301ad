// halvik-cli on a line with three virtual drivers: status and stop of
// several drivers, each by its own address, one of them silent.

#include "tests/cli/CliRunner.h"

#include <sstream>

namespace {

class CliBus : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_FALSE(UsePrivatePortFolder().empty()); }
    void SetUp() override {
        ASSERT_TRUE(m_sim.Ok());
        m_sim.Server().InjectFault(EFault::Silent, 0, -1, 2);
    }
    CliRun Cli(const std::string& args) {
        std::vector<std::string> words = Words(args);
        words.insert(words.begin(), {"--port", m_sim.Device(), "--timeout", "200"});
        return RunCli(words);
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    CSimHarness m_sim{std::vector<uint8_t>{1, 2, 5}};
};

TEST_F(CliBus, StatusOfSeveralDriversIsOneLineEachPerRound) {
    m_sim.DriverAt(5).SetRegister(0x0037, 417);
    CliRun r = Cli("--json status --slaves 1,2,5 --watch --count 2 --interval 10");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("reads failed at slave(s) 2\n"), std::string::npos) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    for (size_t i = 0; i < lines.size(); ++i) {
        Json j;
        std::string why;
        ASSERT_TRUE(ParseJson(lines[i], j, why)) << why << "\n" << lines[i];
        const std::string slave = std::to_string("125"[i % 3] - '0');
        EXPECT_EQ(At(j, "slave"), slave);
        EXPECT_EQ(At(j, "round"), std::to_string(i / 3 + 1));
        EXPECT_EQ(At(j, "link.polls"), std::to_string(i / 3 + 1));
        if (slave == "2") {
            EXPECT_EQ(At(j, "error.code"), "130");
            EXPECT_EQ(At(j, "link.timeouts"), std::to_string(i / 3 + 1));
        } else {
            // The entries 'status --json' gives.
            EXPECT_EQ(At(j, "fields.#"), "22");
            EXPECT_EQ(At(j, "fields.temperature.value"), slave == "5" ? "41.7" : "25.3");
            EXPECT_EQ(At(j, "link.updates"), std::to_string(i / 3 + 1));
        }
    }

    // As text, one line per driver: its summary, or that it did not answer.
    r = Cli("status --slaves 5,2");
    EXPECT_EQ(r.status, 3);
    const std::vector<std::string> text = Lines(r.out);
    ASSERT_EQ(text.size(), 2u) << r.out;
    EXPECT_EQ(text[0].rfind("slave   5  input_voltage=", 0), 0u) << text[0];
    EXPECT_NE(text[0].find(" temperature=41.7℃ "), std::string::npos) << text[0];
    EXPECT_EQ(text[1].rfind("slave   2  no answer  link ", 0), 0u) << text[1];

    EXPECT_EQ(Cli("--slave 3 status --slaves 1,2").status, 2);
    EXPECT_EQ(Cli("status --turnaround-ms 20").status, 2);
}

// Every motor is stopped, the silent driver's too (only its answer is
// lost), and the one that did not confirm is named.
TEST_F(CliBus, StopOfSeveralDriversStopsEachAndNamesTheSilentOne) {
    for (const char* slave : {"1", "2", "5"})
        RunCli({"--port", m_sim.Device(), "--slave", slave, "run", "pwm", "50"});
    const auto later = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (uint8_t s : {1, 2, 5}) {
        m_sim.DriverAt(s).Advance(later);
        EXPECT_NE(m_sim.DriverAt(s).GetRegister(0x0020), 0) << int(s); // output PWM
        m_sim.DriverAt(s).ClearRequestLog();
    }

    CliRun r = Cli("stop --slaves 1,2,5 emergency");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "slave   1  操作成功\nslave   2  通讯超时 (130)\nslave   5  操作成功\n");
    EXPECT_NE(r.err.find("failed at slave(s) 2\n"), std::string::npos) << r.err;
    for (uint8_t s : {1, 2, 5}) {
        CVirtualDriver& d = m_sim.DriverAt(s);
        d.Advance(later);
        EXPECT_EQ(d.GetRegister(0x0040), 1) << int(s); // emergency
        EXPECT_EQ(d.GetRegister(0x0020), 0) << int(s);
        // Each by its own address; the silent one once more at the full time-out.
        EXPECT_EQ(d.RequestLog().size(), s == 2 ? 2u : 1u) << int(s);
    }

    m_sim.Server().ClearFaults();
    r = Cli("--json stop --slaves 5,1");
    EXPECT_EQ(r.status, 0) << r.err;
    Json j;
    std::string why;
    ASSERT_TRUE(ParseJson(r.out, j, why)) << why;
    EXPECT_EQ(At(j, "mode"), "normal");
    EXPECT_EQ(At(j, "slaves.#"), "2");
    EXPECT_EQ(At(j, "slaves.0.slave"), "5");
    EXPECT_EQ(At(j, "slaves.1.result.code"), "0");
}

} // namespace
