// halvik-cli against the virtual driver: JSON output of every command, its
// effect on the device, exit statuses, help, scan, watch, learning and the
// step response.

#include "tests/cli/CliRunner.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

using Regs = std::vector<uint16_t>;
using Checks = std::vector<std::pair<std::string, std::string>>; // JSON path, text

std::string Dump(const Regs& regs) {
    return DumpJson(Json(regs), false);
}

using CliSim = CliTest;

TEST_F(CliSim, ReadingCommandsPrintTheDeviceAsJson) {
    CVirtualDriver& d = m_sim.Driver();
    d.SetRegister(0x0020, 0xFC18); // output PWM -100.0 %
    d.SetRegisters(0x0024, {0xFFFF, 0xFFFE});
    d.SetRegisters(0x00BA, {0x3FC0, 0x0000});
    d.SetRegisters(0x0100, {0xFFFF, 0xFFFE, 0x8000});
    const std::pair<const char*, Checks> cases[] = {
        {"info",
         {{"registers", Dump(d.GetRegisters(0x0000, 16))},
          {"fields.identifier.text", "0x1501"},
          {"fields.model.text", "HVK-BLD4810"}}},
        {"ident", {{"objects.0.name", "公司名称"}}},
        {"status",
         {{"registers.#", "28"},
          {"fields.output_pwm.value", "-100.0"},
          {"fields.output_pwm.unit", "%"},
          {"fields.output_pwm.text", "-100.0%"},
          {"fields.output_pwm.raw", "[64536]"},
          {"fields.position.value", "-2"}}},
        // One block stands for all, one that follows the speed unit: the
        // command reads any block the same way, and every block reading
        // whole is the catalogue map's test.
        {"read ramp",
         {{"block", "ramp"},
          {"registers", Dump(d.GetRegisters(0x0050, 4))},
          {"speedUnitHz", "false"},
          {"fields.acceleration.text", "500.0 Hz/s"}}},
        {"reg read 0x100 --type i32",
         {{"values.#", "1"}, {"values.0.value", "-2"}, {"values.0.hex", "0xFFFFFFFE"}}},
        {"reg read 0x101 --count 2 --type i16", {{"values.#", "2"}, {"values.1.value", "-32768"}}},
        {"reg read 0xBA --type f32", {{"values.0.value", "1.5"}}},
    };
    for (const auto& [args, checks] : cases) {
        const Json j = JsonOf(Words(args));
        for (const auto& [path, want] : checks)
            EXPECT_EQ(At(j, path), want) << args << " " << path;
    }

    CSimHarness linked(1, 5);
    ASSERT_TRUE(linked.Ok());
    CliRun r = RunCli({"--json", "ports"});
    ASSERT_EQ(r.status, 0) << r.err;
    bool found = false;
    const Json ports = Doc(r.out)["ports"];
    for (const auto& p : ports)
        found = found || (JsonText(p["com"]) == "5" && JsonText(p["device"]) == linked.Device());
    EXPECT_TRUE(found) << r.out;
    EXPECT_EQ(RunCli({"--port", "COM5", "--json", "info"}).status, 0);
}

TEST_F(CliSim, LinksInAPortFolderOthersCanWriteToAreNotFollowed) {
    // Someone's COM3 link to a driver, in a port folder anyone may write to.
    const std::string saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = UsePrivatePortFolder();
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(symlink(m_sim.Device().c_str(), (folder + "/COM3").c_str()), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    const std::string why = folder + " is writable by others (mode 0777)";
    m_sim.Driver().ClearRequestLog();

    CliRun r = RunCli({"--port", "COM3", "ident"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    EXPECT_TRUE(m_sim.Driver().RequestLog().empty());
    r = RunCli({"--json", "ports"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    Json doc = Doc(r.out);
    EXPECT_NE(At(doc, "portFolderProblem").find(why), std::string::npos);
    for (const auto& p : doc["ports"])
        EXPECT_NE(JsonText(p["device"]), m_sim.Device());

    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    std::filesystem::remove_all(std::filesystem::path(folder).parent_path().parent_path());
}

TEST_F(CliSim, WritingCommandsReachTheDevice) {
    CVirtualDriver& d = m_sim.Driver();
    // Each starts from registers at 0xFFFF: the command, what it says (as
    // JSON and on standard error), and the registers it leaves.
    const std::tuple<const char*, Checks, const char*, uint16_t, Regs> cases[] = {
        {"reg write 0x100 -5 --type i16", {{"registers", "[65531]"}}, "", 0x0100, {0xFFFB}},
        {"reg write 0xBC 1.5 --type f32", {}, "", 0x00BC, {0x3FC0, 0x0000}},
        {"reg write 0xBE 0x12345678 --type u32", {}, "", 0x00BE, {0x1234, 0x5678}},
        {"run pwm 50", {{"command", "run"}}, "", 0x0042, {500}},
        // Negative numbers are arguments, with or without "--" before them.
        {"run pwm -.5", {}, "", 0x0042, {0xFFFB}},
        {"run pwm -- -0.5", {}, "", 0x0042, {0xFFFB}},
        {"run freq 12.56", {}, "sent as 12.5 Hz", 0x0043, {125}}, // tenths, cut toward zero
        {"run freq -7 --raw", {}, "", 0x0043, {0xFFF9}},
        {"stop emergency", {{"result.text", "操作成功"}}, "", 0x0040, {1}},
        {"stop", {{"command", "stop"}}, "", 0x0040, {0}},
    };
    for (const auto& [args, json, note, addr, regs] : cases) {
        d.SetRegisters(addr, Regs(regs.size(), 0xFFFF));
        CliRun r = Cli(Words(std::string("--json ") + args));
        ASSERT_EQ(r.status, 0) << args << r.err;
        for (const auto& [path, want] : json)
            EXPECT_EQ(At(Doc(r.out), path), want) << args << " " << path;
        EXPECT_NE(r.err.find(note), std::string::npos) << r.err;
        EXPECT_EQ(d.GetRegisters(addr, static_cast<uint16_t>(regs.size())), regs) << args;
    }

    EXPECT_EQ(At(JsonOf({"move", "--freq", "50", "--position", "-1000", "--relative"}), "command"),
              "move");
    // 50.0 Hz in tenths, relative, -1000, high word first.
    EXPECT_EQ(d.GetRegisters(0x0044, 4), (Regs{500, 1, 0xFFFF, 0xFC18}));
    ASSERT_EQ(Cli({"stop", "free"}).status, 0);

    d.ClearRequestLog();
    EXPECT_EQ(At(JsonOf({"clear-position"}), "result.code"), "0");
    auto log = d.RequestLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(std::vector<uint8_t>(log.back().begin(), log.back().begin() + 6),
              (std::vector<uint8_t>{0x01, 0x06, 0x70, 0x0A, 0x00, 0x01}));

    Expect("--json sdo download 0x1800 5 250 --size 2", 0, {"\"command\": \"0x60\""});
    uint32_t v = 0;
    ASSERT_TRUE(d.GetObject(0x1800, 5, v));
    EXPECT_EQ(v, 250u);
    Expect("--json sdo upload 0x1800 5", 0, {"\"size\": 2,", "\"value\": 250,"});
    EXPECT_EQ(At(Doc(Expect("--json sdo upload 0x1400 9", 3, {}, {"传送终止"}).out), "abort.text"),
              "子索引不存在 (0x06090011)");
    Expect("sdo save", 0);
    EXPECT_EQ(d.SaveCount(), 1);
}

TEST_F(CliSim, ExitStatusesSayWhatWentWrong) {
    // A later --port wins over the fixture's.
    const struct {
        std::vector<std::string> args;
        EFault fault;
        const char* mention;
    } device[] = {
        {{"--port", "/dev/halvik-no-such-device", "info"},
         EFault::None,
         "cannot open /dev/halvik-no-such-device"},
        {{"--port", "COM977", "info"}, EFault::None, "COM977"},
        {{"--timeout", "150", "--json", "info"}, EFault::Silent, "通讯超时 (130)"},
        {{"--timeout", "500", "read", "pid"}, EFault::Exception, "非法寄存器地址 (2)"},
        {{"--timeout", "500", "sdo", "upload", "0x1000", "0"},
         EFault::Exception,
         "非法寄存器地址 (2)"},
    };
    for (const auto& [args, fault, mention] : device) {
        m_sim.Server().InjectFault(fault, fault == EFault::Exception ? 2 : 0, -1);
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 3) << mention;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
    }
    m_sim.Server().ClearFaults();

    // Usage errors name the problem and never touch the line.
    m_sim.Driver().ClearRequestLog();
    const std::pair<const char*, const char*> usage[] = {
        {"frobnicate", "frobnicate"},
        {"read nope", "nope"},
        {"reg", "read, write"},
        {"reg write 0x10 70000", "out of range"},
        {"reg write 0x10 1.5 --type i16", "1.5"},
        {"reg write 0xBC 1.5f --type f32", "'1.5f' is not a number"},
        {"reg write 0xBC 1e39 --type f32", "'1e39' is out of range for f32"},
        {"reg read 12abc", "12abc"},
        {"reg read 0xFFFF --count 2", "0xFFFF"},
        {"reg write 0x10 99999999999999999999", "99999999999999999999"},
        {"run pwm 101", "101"},
        {"run pwm fast", "fast"},
        {"run pwm 5 --raw", "--raw"},
        {"sdo upload 0x1800", "SUB"},
        {"sdo download 0x1800 5 1", "--size"},
        {"sdo download 0x1800 5 256 --size 1", "256"},
        {"--framing q1 info", "--framing"},
        {"--slave 256 info", "out of range"},
        {"info --watch", "--watch"}, // another command's option
        {"status --watch=1", "--watch"},
        {"move --freq 10", "--position"},
        {"stop gently", "gently"},
        {"status --count 3", "--count"},
        {"--port= info", "--port"},
        {"help nope", "nope"},
        {"scan --first 9 --last 3", "--first"},
        {"scan --last 248", "out of range"},
        {"status --slaves 1,300", "'1,300': '300' is not a slave address 1..247"},
        {"stop --slaves 2,0x02", "'2,0x02': slave 0x02 twice"},
    };
    for (const auto& [args, mention] : usage) {
        CliRun r = Cli(Words(args));
        EXPECT_EQ(r.status, 2) << args << r.err;
        // One line naming the problem, one pointing to the help.
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\n(see 'halvik-cli --help')\n"), std::string::npos) << r.err;
    }
    CliRun r = Cli({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no command given\nusage: "), std::string::npos) << r.err;
    EXPECT_TRUE(m_sim.Driver().RequestLog().empty());
}

// Every command the overview lists has its own help, without the line.
TEST_F(CliSim, HelpForTheProgramAndEveryCommand) {
    m_sim.Driver().ClearRequestLog();
    CliRun overview = Cli({"--help"});
    ASSERT_EQ(overview.status, 0) << overview.err;
    for (const char* line : {"--port", "--baud", "--framing", "--slave", "--timeout", "--json"})
        EXPECT_NE(overview.out.find("\n  " + std::string(line) + " "), std::string::npos) << line;
    EXPECT_NE(overview.out.find("\nExit status: "), std::string::npos);
    // A command is the lowercase words that open its synopsis in the list.
    std::vector<std::string> commands;
    std::istringstream list(overview.out.substr(overview.out.find("\nCommands:\n") + 11));
    for (std::string line; std::getline(list, line) && !line.empty();) {
        std::string name;
        for (const std::string& w : Words(line.substr(0, 38))) {
            if (w[0] == '-' || w.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") != w.npos)
                break;
            name += (name.empty() ? "" : " ") + w;
        }
        if (!name.empty())
            commands.push_back(name);
    }
    EXPECT_GE(commands.size(), 24u) << overview.out;
    for (const std::string& name : commands) {
        for (const std::string& args : {name + " --help", "help " + name}) {
            CliRun r = Cli(Words(args));
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out.rfind("usage: halvik-cli " + name, 0), 0u) << r.out;
        }
    }
    EXPECT_TRUE(m_sim.Driver().RequestLog().empty());
}

TEST_F(CliSim, ScanFindsTheDriverWhereItAnswers) {
    CVirtualDriver& d = m_sim.Driver();
    d.SetSlave(37);
    d.SetRegister(0x0000, 0x1501);
    d.SetRegisters(0x0090, {0, 19200, 1}); // 19200 baud, odd parity

    const Json j = Doc(Expect("--json scan --first 36 --last 37 --all-lines --reply-ms 100", 0, {},
                              {"scanning 115200 n1"})
                           .out);
    for (const auto& [path, want] : Checks{{"lines.#", "24"},
                                           {"drivers.#", "1"},
                                           {"drivers.0.slave", "37"},
                                           {"drivers.0.baud", "19200"},
                                           {"drivers.0.framing", "o1"},
                                           {"drivers.0.identifier", "0x1501"},
                                           {"drivers.0.model", "HVK-BLD4810"}})
        EXPECT_EQ(At(j, path), want) << path;

    // One line per driver, on standard output.
    CliRun r = Expect("scan --first 37 --last 37 --all-lines --reply-ms 100", 0);
    EXPECT_EQ(r.out.rfind("slave  37   19200 o1  identifier 0x1501  model ", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;

    // The right address at the wrong line setting is silence.
    r = Expect("--json scan --first 36 --last 38 --reply-ms 100", 3, {}, {"no driver answered"});
    EXPECT_EQ(At(Doc(r.out), "drivers.#"), "0");

    // Ctrl-C ends a long scan cleanly, and the port is free afterwards.
    d.SetRegisters(0x0090, {0, 9600, 0});
    Expect("scan --reply-ms 200", 130, {}, {"interrupted"},
           [](const CliRun& run) { return run.err.find("scanning") != std::string::npos; });
    Expect("--slave 37 info", 0);
}

TEST_F(CliSim, StatusWatchRepeatsAndStopsOnCtrlC) {
    // Until interrupted: Ctrl-C after the first sample ends it cleanly.
    Expect("status --watch --interval 50", 0, {"temperature"}, {},
           [](const CliRun& run) { return run.out.find("sample 1") != std::string::npos; });

    // A failed sample is reported and the watch goes on; the status says so.
    // At its end the watch sums up the link, off the JSON stream.
    m_sim.Server().InjectFault(EFault::Silent, 0, 1);
    Expect("--timeout 150 --json status --watch --count 2 --interval 10", 3,
           {"\"error\"", "\"sample\":2,"},
           {"通讯超时 (130)",
            "halvik-cli: link: ", ", 1 time-outs, 0 CRC/reply errors, 0 exceptions\n"});

    // The device goes away after two samples: the watch ends at once and says why.
    m_sim.Server().InjectFault(EFault::LineGone, 2);
    const auto t0 = std::chrono::steady_clock::now();
    CliRun r = Expect("status --watch --count 20 --interval 20", 3, {"sample 2"},
                      {m_sim.Device() + ": the device was removed"});
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_EQ(r.out.find("sample 4"), std::string::npos) << r.out;
}

// Every ending withdraws the learning request (register 0x00E1).
TEST_F(CliSim, LearnReportsItsOutcomeAndAlwaysClearsTheRequest) {
    CVirtualDriver& d = m_sim.Driver();
    d.SetLearnDuration(std::chrono::milliseconds(300));
    Expect("--json learn", 0,
           {"\"outcome\": \"success\"", "\"text\": \"学习成功\"",
            "\"phaseText\": \"05 01 03 02 06 04\""});
    EXPECT_EQ(d.GetRegister(0x00E1), 0);

    // A learning run that never ends is bounded.
    d.SetLearnDuration(std::chrono::minutes(10));
    Expect("learn --timeout-s 1", 3, {}, {"no outcome within 1 s"});
    EXPECT_EQ(d.GetRegister(0x00E1), 0);

    // Ctrl-C stops it cleanly with the closing write.
    d.ClearRequestLog();
    Expect("learn", 130, {}, {"interrupted"},
           [&](const CliRun&) { return d.RequestLog().size() >= 3; });
    EXPECT_EQ(d.GetRegister(0x00E1), 0);
}

// The motor moves: never without a terminal or --yes. Whatever ends the run,
// the stop with the mode asked for is the last thing written.
TEST_F(CliSim, StepAsksFirstGivesGainsFiguresSamplesAndStopsOnCtrlC) {
    CVirtualDriver& d = m_sim.Driver();
    auto lastWrite = [&d] {
        const auto log = d.RequestLog();
        return log.empty() ? std::vector<uint8_t>{}
                           : std::vector<uint8_t>(log.back().begin(), log.back().end() - 2);
    };
    Expect("step --loop speed --to 100", 2, {}, {"pass --yes"});
    EXPECT_TRUE(d.RequestLog().empty());

    const Json j = JsonOf(Words("step --loop speed --to 100 --ms 400 --mode emergency --yes"));
    EXPECT_EQ(At(j, "end"), "completed");
    EXPECT_EQ(At(j, "target"), "100");
    EXPECT_EQ(At(j, "gains.speed.kp"), "0.5");
    EXPECT_EQ(At(j, "gains.position.kd"), "0.1");
    EXPECT_EQ(At(j, "limits.maxCommutationFrequency"), "3000");
    EXPECT_NE(At(j, "figures.riseMs"), "null");
    EXPECT_EQ(At(j, "samples.t.#"), At(j, "samples.value.#"));
    EXPECT_GT(std::stoi(At(j, "samples.t.#")), 10);
    EXPECT_EQ(lastWrite(), (std::vector<uint8_t>{1, 0x06, 0x00, 0x40, 0x00, 0x01}));

    Expect("step --loop position --to 3000000000 --yes", 2, {},
           {"超出32位位置寄存器的范围; nothing written"});
    Expect("step --loop speed --to 100 --ms 20000 --yes", 130, {"Motor stopped (normal)"},
           {"interrupted"}, [&](const CliRun&) { return d.GetRegister(0x0022) != 0; });
    EXPECT_EQ(lastWrite(), (std::vector<uint8_t>{1, 0x06, 0x00, 0x40, 0x00, 0x00}));
}

} // namespace
