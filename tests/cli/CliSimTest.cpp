// halvik-cli against the virtual driver: JSON output of the reading commands,
// the effect of the writing commands, exit statuses, watch and learning.

#include "tests/cli/CliRunner.h"

#include "cli/Fields.h"
#include "cli/Json.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class CliSim : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_FALSE(UsePrivatePortFolder().empty()); }

    void SetUp() override { ASSERT_TRUE(m_sim.Ok()); }

    CliRun Cli(std::vector<std::string> args, int deadlineMs = 30000,
               const std::function<bool(const CliRun&)>& interruptWhen = {}) {
        args.insert(args.begin(), {"--port", m_sim.Device()});
        return RunCli(args, deadlineMs, interruptWhen);
    }

    static CJson Json(const CliRun& r) {
        CJson j;
        std::string err;
        EXPECT_TRUE(ParseJson(r.out, j, err)) << err << "\n" << r.out << r.err;
        return j;
    }

    static std::vector<uint16_t> Regs(const CJson* arr) {
        std::vector<uint16_t> v;
        if (!arr)
            return v;
        for (const auto& x : arr->Items()) {
            int64_t n = -1;
            EXPECT_TRUE(x.GetInt64(n));
            v.push_back(static_cast<uint16_t>(n));
        }
        return v;
    }

    static const CJson* Field(const CJson& block, const std::string& name) {
        for (const auto& f : block.Find("fields")->Items())
            if (f.Find("name")->Text() == name)
                return &f;
        ADD_FAILURE() << "no field " << name;
        return nullptr;
    }

    CSimHarness m_sim{1, -1};
};

} // namespace

TEST_F(CliSim, InfoIdentAndStatusPrintTheDeviceAsJson) {
    CliRun r = Cli({"--json", "info"});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson info = Json(r);
    EXPECT_EQ(Regs(info.Find("registers")), m_sim.Driver().GetRegisters(0x0000, 16));
    char id[16];
    std::snprintf(id, sizeof id, "0x%04X", m_sim.Driver().GetRegister(0x0000));
    EXPECT_EQ(Field(info, "identifier")->Find("text")->Text(), id);
    EXPECT_FALSE(Field(info, "model")->Find("text")->Text().empty());

    r = Cli({"ident", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson ident = Json(r);
    ASSERT_GE(ident.Find("objects")->Size(), 1u);
    EXPECT_EQ(ident.Find("objects")->Items()[0].Find("name")->Text(), "公司名称");

    m_sim.Driver().SetRegister(0x0020, 0xFC18); // output PWM -100.0 %
    m_sim.Driver().SetRegisters(0x0024, {0xFFFF, 0xFFFE});
    r = Cli({"--json", "status"});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson st = Json(r);
    EXPECT_EQ(Regs(st.Find("registers")).size(), 28u);
    const CJson* pwm = Field(st, "output_pwm");
    EXPECT_EQ(pwm->Find("value")->Text(), "-100.0");
    EXPECT_EQ(pwm->Find("unit")->Text(), "%");
    EXPECT_EQ(pwm->Find("text")->Text(), "-100.0%");
    EXPECT_EQ(Regs(pwm->Find("raw")), (std::vector<uint16_t>{0xFC18}));
    EXPECT_EQ(Field(st, "position")->Find("value")->Text(), "-2");
}

TEST_F(CliSim, ReadPrintsEveryBlockAndRegReadTypedValues) {
    m_sim.Driver().SetRegisters(0x00BA, {0x3FC0, 0x0000});
    for (const auto& b : AllBlocks()) {
        if (std::string(b.name) == "status")
            continue; // live values
        CliRun r = Cli({"--json", "read", b.name});
        ASSERT_EQ(r.status, 0) << b.name << ": " << r.err;
        CJson j = Json(r);
        EXPECT_EQ(j.Find("block")->Text(), b.name);
        EXPECT_EQ(Regs(j.Find("registers")), m_sim.Driver().GetRegisters(b.start, b.count))
            << b.name;
        EXPECT_EQ(j.Find("fields")->Size(), static_cast<size_t>(b.fieldCount));
    }
    CliRun r = Cli({"--json", "read", "pid"});
    EXPECT_EQ(Field(Json(r), "holding_kp")->Find("value")->Text(), "1.5");

    m_sim.Driver().SetRegisters(0x0100, {0xFFFF, 0xFFFE, 0x8000});
    r = Cli({"--json", "reg", "read", "0x100", "--type", "i32"});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson j = Json(r);
    ASSERT_EQ(j.Find("values")->Size(), 1u);
    EXPECT_EQ(j.Find("values")->Items()[0].Find("value")->Text(), "-2");
    EXPECT_EQ(j.Find("values")->Items()[0].Find("hex")->Text(), "0xFFFFFFFE");
    r = Cli({"--json", "reg", "read", "0x101", "--count", "2", "--type", "i16"});
    j = Json(r);
    ASSERT_EQ(j.Find("values")->Size(), 2u);
    EXPECT_EQ(j.Find("values")->Items()[1].Find("value")->Text(), "-32768");
    r = Cli({"--json", "reg", "read", "0xBA", "--type", "f32"});
    EXPECT_EQ(Json(r).Find("values")->Items()[0].Find("value")->Text(), "1.5");
}

TEST_F(CliSim, WritingCommandsReachTheDevice) {
    CVirtualDriver& d = m_sim.Driver();
    CliRun r = Cli({"--json", "reg", "write", "0x100", "-5", "--type", "i16"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r).Find("result")->Find("code")->Text(), "0");
    EXPECT_EQ(d.GetRegister(0x0100), 0xFFFB);
    ASSERT_EQ(Cli({"reg", "write", "0xBC", "1.5", "--type", "f32"}).status, 0);
    EXPECT_EQ(d.GetRegisters(0x00BC, 2), (std::vector<uint16_t>{0x3FC0, 0x0000}));
    ASSERT_EQ(Cli({"reg", "write", "0xBE", "0x12345678", "--type", "u32"}).status, 0);
    EXPECT_EQ(d.GetRegisters(0x00BE, 2), (std::vector<uint16_t>{0x1234, 0x5678}));

    r = Cli({"--json", "run", "pwm", "50"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(d.GetRegister(0x0042), 500);
    r = Cli({"--json", "stop", "emergency"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r).Find("result")->Find("text")->Text(), "操作成功");
    EXPECT_EQ(d.GetRegister(0x0040), 1);
    r = Cli({"run", "freq", "12.56"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(d.GetRegister(0x0043), 125); // tenths of Hz, cut toward zero
    EXPECT_NE(r.err.find("sent as 12.5 Hz"), std::string::npos) << r.err;
    ASSERT_EQ(Cli({"stop"}).status, 0);
    EXPECT_EQ(d.GetRegister(0x0040), 0);

    d.ClearRequestLog();
    r = Cli({"--json", "move", "--freq", "50", "--position", "-1000", "--relative"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r).Find("command")->Text(), "move");
    bool moveSeen = false;
    for (const auto& f : d.RequestLog())
        if (f.size() == 17 && f[1] == 0x10 && f[2] == 0x00 && f[3] == 0x44)
            moveSeen = f[7] == 0x01 && f[8] == 0xF4 && f[10] == 1 && f[11] == 0xFF &&
                       f[12] == 0xFF && f[13] == 0xFC && f[14] == 0x18;
    EXPECT_TRUE(moveSeen);
    ASSERT_EQ(Cli({"stop", "free"}).status, 0);

    d.ClearRequestLog();
    r = Cli({"--json", "clear-position"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r).Find("result")->Find("code")->Text(), "0");
    auto log = d.RequestLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(std::vector<uint8_t>(log.back().begin(), log.back().begin() + 6),
              (std::vector<uint8_t>{0x01, 0x06, 0x70, 0x0A, 0x00, 0x01}));

    r = Cli({"--json", "sdo", "download", "0x1800", "5", "250", "--size", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r).Find("answer")->Find("command")->Text(), "0x60");
    uint32_t v = 0;
    ASSERT_TRUE(d.GetObject(0x1800, 5, v));
    EXPECT_EQ(v, 250u);
    r = Cli({"--json", "sdo", "upload", "0x1800", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json(r).Find("value")->Text(), "250");
    EXPECT_EQ(Json(r).Find("size")->Text(), "2");

    r = Cli({"--json", "sdo", "upload", "0x1400", "9"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(Json(r).Find("abort")->Find("text")->Text(), "子索引不存在 (0x06090011)");
    EXPECT_NE(r.err.find("传送终止"), std::string::npos) << r.err;

    ASSERT_EQ(Cli({"sdo", "save"}).status, 0);
    EXPECT_EQ(d.SaveCount(), 1);
}

TEST_F(CliSim, ExitStatusesSayWhatWentWrong) {
    CliRun r = RunCli({"--port", "/dev/halvik-no-such-device", "info"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("cannot open /dev/halvik-no-such-device"), std::string::npos) << r.err;
    r = RunCli({"--port", "COM977", "info"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("COM977"), std::string::npos) << r.err;

    m_sim.Server().InjectFault(EFault::Silent, 0, -1);
    r = Cli({"--timeout", "150", "--json", "info"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("通讯超时 (130)"), std::string::npos) << r.err;
    m_sim.Server().ClearFaults();

    m_sim.Server().InjectFault(EFault::Exception, 2, -1);
    r = Cli({"--timeout", "500", "read", "pid"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("非法寄存器地址 (2)"), std::string::npos) << r.err;
    r = Cli({"--timeout", "500", "sdo", "upload", "0x1000", "0"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("非法寄存器地址 (2)"), std::string::npos) << r.err;
    m_sim.Server().ClearFaults();

    // Usage errors name the problem and never touch the line.
    m_sim.Driver().ClearRequestLog();
    const std::vector<std::vector<std::string>> usage = {
        {"frobnicate"},
        {"read", "nope"},
        {"reg", "write", "0x10", "70000"},
        {"reg", "write", "0x10", "1.5", "--type", "i16"},
        {"run", "pwm", "101"},
        {"run", "pwm", "fast"},
        {"sdo", "download", "0x1800", "5", "1"},
        {"sdo", "download", "0x1800", "5", "256", "--size", "1"},
        {"--framing", "q1", "info"},
        {"move", "--freq", "10"},
        {"stop", "gently"},
        {"status", "--count", "3"},
        {},
    };
    for (const auto& args : usage) {
        r = Cli(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]) << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_TRUE(m_sim.Driver().RequestLog().empty());
}

TEST_F(CliSim, PortsListsTheComLinks) {
    CSimHarness linked(1, 5);
    ASSERT_TRUE(linked.Ok());
    CliRun r = RunCli({"--json", "ports"});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson j = Json(r);
    bool found = false;
    for (const auto& p : j.Find("ports")->Items())
        if (p.Find("com")->Text() == "5")
            found = p.Find("device")->Text() == linked.Device();
    EXPECT_TRUE(found) << r.out;
    // And COM5 can be used by number.
    r = RunCli({"--port", "COM5", "--json", "info"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(CliSim, StatusWatchRepeatsAndStopsOnCtrlC) {
    CliRun r = Cli({"--json", "status", "--watch", "--count", "3", "--interval", "20"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    int samples = 0;
    while (std::getline(lines, line)) {
        CJson j;
        std::string err;
        ASSERT_TRUE(ParseJson(line, j, err)) << err << ": " << line;
        EXPECT_EQ(j.Find("sample")->Text(), std::to_string(++samples));
        EXPECT_EQ(j.Find("fields")->Size(), 22u);
    }
    EXPECT_EQ(samples, 3);

    // Until interrupted: Ctrl-C after the first sample ends it cleanly.
    r = Cli({"status", "--watch", "--interval", "50"}, 30000,
            [](const CliRun& run) { return run.out.find("sample 1") != std::string::npos; });
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("temperature"), std::string::npos);

    // A failed sample is reported and the watch goes on; the status says so.
    m_sim.Server().InjectFault(EFault::Silent, 0, 1);
    r = Cli(
        {"--timeout", "150", "--json", "status", "--watch", "--count", "2", "--interval", "10"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("\"error\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"sample\":2,"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("通讯超时 (130)"), std::string::npos);
}

TEST_F(CliSim, LearnReportsItsOutcomeAndAlwaysClearsTheRequest) {
    CVirtualDriver& d = m_sim.Driver();
    d.SetLearnDuration(std::chrono::milliseconds(300));
    CliRun r = Cli({"--json", "learn"});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson j = Json(r);
    EXPECT_EQ(j.Find("outcome")->Text(), "success");
    EXPECT_EQ(j.Find("text")->Text(), "学习成功");
    EXPECT_EQ(j.Find("phaseText")->Text(), "05 01 03 02 06 04");
    EXPECT_EQ(d.GetRegister(0x00E1), 0);

    d.SetLearnOutcome(false);
    r = Cli({"learn"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("学习失败"), std::string::npos) << r.out;
    EXPECT_EQ(d.GetRegister(0x00E1), 0);

    // A learning run that never ends is bounded, and the request is withdrawn.
    d.SetLearnDuration(std::chrono::minutes(10));
    r = Cli({"learn", "--timeout-s", "1"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("no outcome within 1 s"), std::string::npos) << r.err;
    EXPECT_EQ(d.GetRegister(0x00E1), 0);

    // Ctrl-C stops it cleanly with the closing write.
    d.ClearRequestLog();
    r = Cli({"learn"}, 30000, [&](const CliRun&) { return d.RequestLog().size() >= 3; });
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    EXPECT_EQ(d.GetRegister(0x00E1), 0);
}
