// halvik-cli against the virtual driver: JSON output of every command, its
// effect on the device, exit statuses, watch and learning.

#include "tests/cli/CliRunner.h"

#include "driver/Catalogue.h"

#include <algorithm>
#include <chrono>
#include <sstream>

namespace {

using Regs = std::vector<uint16_t>;

Regs RegsOf(const Json* arr) {
    Regs v;
    for (const auto& x : *arr) {
        int64_t n = -1;
        EXPECT_TRUE(JsonInt(x, n));
        v.push_back(static_cast<uint16_t>(n));
    }
    return v;
}

// Member `what` of the field `name` of a block's output, as text (arrays as
// compact JSON).
std::string FieldOf(const Json& block, const std::string& name, const char* what) {
    for (const auto& f : block["fields"])
        if (JsonText(f["name"]) == name && f.contains(what))
            return f[what].is_array() ? DumpJson(f[what], false) : JsonText(f[what]);
    ADD_FAILURE() << "no " << what << " of field " << name;
    return "";
}

using CliSim = CliTest;

TEST_F(CliSim, ReadingCommandsPrintTheDeviceAsJson) {
    CVirtualDriver& d = m_sim.Driver();
    d.SetRegister(0x0020, 0xFC18); // output PWM -100.0 %
    d.SetRegisters(0x0024, {0xFFFF, 0xFFFE});
    d.SetRegisters(0x00BA, {0x3FC0, 0x0000});
    d.SetRegisters(0x0100, {0xFFFF, 0xFFFE, 0x8000});

    Json j = JsonOf({"info"});
    EXPECT_EQ(RegsOf(&j["registers"]), d.GetRegisters(0x0000, 16));
    char id[16];
    std::snprintf(id, sizeof id, "0x%04X", d.GetRegister(0x0000));
    EXPECT_EQ(FieldOf(j, "identifier", "text"), id);
    EXPECT_FALSE(FieldOf(j, "model", "text").empty());

    j = JsonOf({"ident"});
    EXPECT_EQ(At(j, "objects.0.name"), "公司名称");

    j = JsonOf({"status"});
    EXPECT_EQ(RegsOf(&j["registers"]).size(), 28u);
    EXPECT_EQ(FieldOf(j, "output_pwm", "value"), "-100.0");
    EXPECT_EQ(FieldOf(j, "output_pwm", "unit"), "%");
    EXPECT_EQ(FieldOf(j, "output_pwm", "text"), "-100.0%");
    EXPECT_EQ(FieldOf(j, "output_pwm", "raw"), "[64536]"); // 0xFC18
    EXPECT_EQ(FieldOf(j, "position", "value"), "-2");

    for (const auto& b : AllBlocks()) {
        if (std::string(b.name) == "status")
            continue; // live values
        SCOPED_TRACE(b.name);
        j = JsonOf({"read", b.name});
        EXPECT_EQ(At(j, "block"), b.name);
        EXPECT_EQ(RegsOf(&j["registers"]), d.GetRegisters(b.start, b.count));
        EXPECT_EQ(j["fields"].size(), static_cast<size_t>(b.fieldCount));
    }
    EXPECT_EQ(FieldOf(JsonOf({"read", "pid"}), "holding_kp", "value"), "1.5");

    j = JsonOf({"reg", "read", "0x100", "--type", "i32"});
    ASSERT_EQ(j["values"].size(), 1u);
    EXPECT_EQ(At(j, "values.0.value"), "-2");
    EXPECT_EQ(At(j, "values.0.hex"), "0xFFFFFFFE");
    j = JsonOf({"reg", "read", "0x101", "--count", "2", "--type", "i16"});
    ASSERT_EQ(j["values"].size(), 2u);
    EXPECT_EQ(At(j, "values.1.value"), "-32768");
    EXPECT_EQ(At(JsonOf({"reg", "read", "0xBA", "--type", "f32"}), "values.0.value"), "1.5");

    CSimHarness linked(1, 5);
    ASSERT_TRUE(linked.Ok());
    CliRun r = RunCli({"--json", "ports"});
    ASSERT_EQ(r.status, 0) << r.err;
    bool found = false;
    j = Doc(r.out);
    for (const auto& p : j["ports"])
        if (JsonText(p["com"]) == "5")
            found = JsonText(p["device"]) == linked.Device();
    EXPECT_TRUE(found) << r.out;
    EXPECT_EQ(RunCli({"--port", "COM5", "--json", "info"}).status, 0);
}

TEST_F(CliSim, WritingCommandsReachTheDevice) {
    CVirtualDriver& d = m_sim.Driver();
    EXPECT_EQ(At(JsonOf({"reg", "write", "0x100", "-5", "--type", "i16"}), "result.code"), "0");
    EXPECT_EQ(d.GetRegister(0x0100), 0xFFFB);
    ASSERT_EQ(Cli({"reg", "write", "0xBC", "1.5", "--type", "f32"}).status, 0);
    EXPECT_EQ(d.GetRegisters(0x00BC, 2), (Regs{0x3FC0, 0x0000}));
    ASSERT_EQ(Cli({"reg", "write", "0xBE", "0x12345678", "--type", "u32"}).status, 0);
    EXPECT_EQ(d.GetRegisters(0x00BE, 2), (Regs{0x1234, 0x5678}));

    JsonOf({"run", "pwm", "50"});
    EXPECT_EQ(d.GetRegister(0x0042), 500);
    // Negative numbers are arguments, with or without "--" before them.
    for (const auto& args :
         {std::vector<std::string>{"run", "pwm", "-.5"}, {"run", "pwm", "--", "-0.5"}}) {
        d.SetRegister(0x0042, 0);
        ASSERT_EQ(Cli(args).status, 0) << args[2];
        EXPECT_EQ(d.GetRegister(0x0042), 0xFFFB);
    }
    EXPECT_EQ(At(JsonOf({"stop", "emergency"}), "result.text"), "操作成功");
    EXPECT_EQ(d.GetRegister(0x0040), 1);
    CliRun r = Cli({"run", "freq", "12.56"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(d.GetRegister(0x0043), 125); // tenths of Hz, cut toward zero
    EXPECT_NE(r.err.find("sent as 12.5 Hz"), std::string::npos) << r.err;
    ASSERT_EQ(Cli({"stop"}).status, 0);
    EXPECT_EQ(d.GetRegister(0x0040), 0);

    d.ClearRequestLog();
    EXPECT_EQ(At(JsonOf({"move", "--freq", "50", "--position", "-1000", "--relative"}), "command"),
              "move");
    bool moveSeen = false;
    for (const auto& f : d.RequestLog())
        if (f.size() == 17 && f[1] == 0x10 && f[2] == 0x00 && f[3] == 0x44)
            moveSeen = f[7] == 0x01 && f[8] == 0xF4 && f[10] == 1 && f[11] == 0xFF &&
                       f[12] == 0xFF && f[13] == 0xFC && f[14] == 0x18;
    EXPECT_TRUE(moveSeen);
    ASSERT_EQ(Cli({"stop", "free"}).status, 0);

    d.ClearRequestLog();
    EXPECT_EQ(At(JsonOf({"clear-position"}), "result.code"), "0");
    auto log = d.RequestLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(std::vector<uint8_t>(log.back().begin(), log.back().begin() + 6),
              (std::vector<uint8_t>{0x01, 0x06, 0x70, 0x0A, 0x00, 0x01}));

    Json j = JsonOf({"sdo", "download", "0x1800", "5", "250", "--size", "2"});
    EXPECT_EQ(At(j, "answer.command"), "0x60");
    uint32_t v = 0;
    ASSERT_TRUE(d.GetObject(0x1800, 5, v));
    EXPECT_EQ(v, 250u);
    j = JsonOf({"sdo", "upload", "0x1800", "5"});
    EXPECT_EQ(At(j, "value"), "250");
    EXPECT_EQ(At(j, "size"), "2");
    r = Cli({"--json", "sdo", "upload", "0x1400", "9"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(At(Doc(r.out), "abort.text"), "子索引不存在 (0x06090011)");
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
    for (const auto& args : {std::vector<std::string>{"--timeout", "500", "read", "pid"},
                             {"--timeout", "500", "sdo", "upload", "0x1000", "0"}}) {
        r = Cli(args);
        EXPECT_EQ(r.status, 3);
        EXPECT_NE(r.err.find("非法寄存器地址 (2)"), std::string::npos) << r.err;
    }
    m_sim.Server().ClearFaults();

    // Usage errors name the problem and never touch the line.
    m_sim.Driver().ClearRequestLog();
    const std::pair<std::vector<std::string>, const char*> usage[] = {
        {{"frobnicate"}, "frobnicate"},
        {{"read", "nope"}, "nope"},
        {{"reg", "write", "0x10", "70000"}, "out of range"},
        {{"reg", "write", "0x10", "1.5", "--type", "i16"}, "1.5"},
        {{"reg", "read", "12abc"}, "12abc"},
        {{"reg", "read", "0x"}, "0x"},
        {{"reg", "write", "0x10", "99999999999999999999"}, "99999999999999999999"},
        {{"run", "pwm", "101"}, "101"},
        {{"run", "pwm", "fast"}, "fast"},
        {{"run", "freq", "12.5Hz"}, "12.5Hz"},
        {{"sdo", "download", "0x1800", "5", "1"}, "--size"},
        {{"sdo", "download", "0x1800", "5", "256", "--size", "1"}, "256"},
        {{"--framing", "q1", "info"}, "--framing"},
        {{"--slave", "256", "info"}, "out of range"},
        {{"--timeout", "0", "info"}, "--timeout"},
        {{"info", "--watch"}, "--watch"}, // another command's option
        {{"info", "--slave"}, "needs a value"},
        {{"status", "--watch=1"}, "--watch"},
        {{"move", "--freq", "10"}, "--position"},
        {{"stop", "gently"}, "gently"},
        {{"status", "--count", "3"}, "--count"},
        {{"--port=", "info"}, "--port"},
        {{"--watch", "status", "--yes"}, "--watch"},
        {{"help", "nope"}, "nope"},
        {{"scan", "--first", "9", "--last", "3"}, "--first"},
        {{"scan", "--last", "248"}, "out of range"},
        {{"scan", "--reply-ms", "0"}, "--reply-ms"},
        {{}, "usage"},
    };
    for (const auto& [args, mention] : usage) {
        r = Cli(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]) << r.err;
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
    }
    EXPECT_TRUE(m_sim.Driver().RequestLog().empty());
}

// Every command explains itself and each of its options, without the line.
TEST_F(CliSim, HelpForTheProgramAndEveryCommand) {
    m_sim.Driver().ClearRequestLog();
    const std::pair<const char*, std::vector<const char*>> commands[] = {
        {"ports", {}},
        {"info", {}},
        {"ident", {}},
        {"status", {"--watch", "--interval", "--count"}},
        {"read", {}},
        {"reg read", {"--type", "--count"}},
        {"reg write", {"--type"}},
        {"sdo upload", {}},
        {"sdo download", {"--size"}},
        {"sdo save", {}},
        {"run pwm", {}},
        {"run freq", {"--raw"}},
        {"move", {"--freq", "--position", "--relative", "--raw"}},
        {"stop", {}},
        {"clear-position", {}},
        {"learn", {"--timeout-s"}},
        {"export", {}},
        {"import", {"--dry-run", "--yes"}},
        {"scan", {"--first", "--last", "--all-lines", "--reply-ms"}},
    };
    CliRun overview = Cli({"--help"});
    ASSERT_EQ(overview.status, 0) << overview.err;
    for (const char* line : {"--port", "--baud", "--framing", "--slave", "--timeout", "--json"})
        EXPECT_NE(overview.out.find("\n  " + std::string(line) + " "), std::string::npos) << line;
    for (const auto& [name, options] : commands) {
        SCOPED_TRACE(name);
        EXPECT_NE(overview.out.find("\n  " + std::string(name)), std::string::npos);
        std::vector<std::string> words;
        for (std::istringstream in(name); in >> words.emplace_back();)
            ;
        words.pop_back();
        std::vector<std::string> help = words, helpCommand = words;
        help.push_back("--help");
        helpCommand.insert(helpCommand.begin(), "help");
        for (const auto& args : {help, helpCommand}) {
            CliRun r = Cli(args);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out.rfind("usage: halvik-cli " + std::string(name), 0), 0u) << r.out;
            for (const char* opt : options) {
                // One line per option: its name and what it does.
                const size_t at = r.out.find("\n  " + std::string(opt) + " ");
                ASSERT_NE(at, std::string::npos) << opt << "\n" << r.out;
                const std::string line = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
                EXPECT_GT(line.size(), std::string(opt).size() + 10) << line;
            }
        }
    }
    EXPECT_TRUE(m_sim.Driver().RequestLog().empty());
}

// A driver at another address and line setting is found there, and only
// there; where no driver is, nothing is listed and the status says so.
TEST_F(CliSim, ScanFindsTheDriverWhereItAnswers) {
    CVirtualDriver& d = m_sim.Driver();
    d.SetSlave(37);
    d.SetRegister(0x0000, 0x1501);
    d.SetRegisters(0x0090, {0, 19200, 1}); // 19200 baud, odd parity

    CliRun r = Cli(
        {"--json", "scan", "--first", "36", "--last", "37", "--all-lines", "--reply-ms", "100"});
    ASSERT_EQ(r.status, 0) << r.err;
    Json j = Doc(r.out);
    EXPECT_EQ(j["lines"].size(), 24u);
    ASSERT_EQ(j["drivers"].size(), 1u) << r.out;
    EXPECT_EQ(At(j, "drivers.0.slave"), "37");
    EXPECT_EQ(At(j, "drivers.0.baud"), "19200");
    EXPECT_EQ(At(j, "drivers.0.framing"), "o1");
    EXPECT_EQ(At(j, "drivers.0.identifier"), "0x1501");
    EXPECT_FALSE(At(j, "drivers.0.model").empty());
    EXPECT_NE(r.err.find("scanning 115200 n1"), std::string::npos) << r.err;

    // One line per driver, on standard output.
    r = Cli({"scan", "--first", "37", "--last", "37", "--all-lines", "--reply-ms", "100"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("slave  37   19200 o1  identifier 0x1501  model ", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;

    // The right address at the wrong line setting is silence.
    r = Cli({"--json", "scan", "--first", "36", "--last", "38", "--reply-ms", "100"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Doc(r.out)["drivers"].empty()) << r.out;
    EXPECT_NE(r.err.find("no driver answered"), std::string::npos) << r.err;

    // Ctrl-C ends a long scan cleanly, and the port is free afterwards.
    d.SetRegisters(0x0090, {0, 9600, 0});
    r = Cli({"scan", "--reply-ms", "200"},
            [](const CliRun& run) { return run.err.find("scanning") != std::string::npos; });
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    EXPECT_EQ(Cli({"--slave", "37", "info"}).status, 0);
}

TEST_F(CliSim, StatusWatchRepeatsAndStopsOnCtrlC) {
    CliRun r = Cli({"--json", "status", "--watch", "--count", "3", "--interval", "20"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    int samples = 0;
    while (std::getline(lines, line)) {
        Json j = Doc(line);
        EXPECT_EQ(At(j, "sample"), std::to_string(++samples));
        EXPECT_EQ(j["fields"].size(), 22u);
    }
    EXPECT_EQ(samples, 3);

    // Until interrupted: Ctrl-C after the first sample ends it cleanly.
    r = Cli({"status", "--watch", "--interval", "50"},
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
    // At its end the watch sums up the link, off the JSON stream.
    EXPECT_NE(r.err.find(", 1 time-outs, 0 CRC/reply errors, 0 exceptions\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("halvik-cli: link: "), std::string::npos) << r.err;

    // The device goes away after two samples: the watch ends at once and says why.
    m_sim.Server().InjectFault(EFault::LineGone, 2);
    const auto t0 = std::chrono::steady_clock::now();
    r = Cli({"status", "--watch", "--count", "20", "--interval", "20"});
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("sample 2"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("sample 4"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(m_sim.Device() + ": the device was removed"), std::string::npos) << r.err;
}

TEST_F(CliSim, LearnReportsItsOutcomeAndAlwaysClearsTheRequest) {
    CVirtualDriver& d = m_sim.Driver();
    d.SetLearnDuration(std::chrono::milliseconds(300));
    Json j = JsonOf({"learn"});
    EXPECT_EQ(At(j, "outcome"), "success");
    EXPECT_EQ(At(j, "text"), "学习成功");
    EXPECT_EQ(At(j, "phaseText"), "05 01 03 02 06 04");
    EXPECT_EQ(d.GetRegister(0x00E1), 0);

    d.SetLearnOutcome(false);
    CliRun r = Cli({"learn"});
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
    r = Cli({"learn"}, [&](const CliRun&) { return d.RequestLog().size() >= 3; });
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    EXPECT_EQ(d.GetRegister(0x00E1), 0);
}

} // namespace
