// halvik-cli monitor on the virtual driver's tap while an independent master
// (libmodbus) drives the driver and judges its replies and refusals: every
// transaction paired and decoded, also after garbage on the line and a reply
// that arrives in two parts.

#include "tests/cli/CliRunner.h"

#include <modbus.h>

#include <atomic>
#include <cerrno>
#include <sstream>
#include <thread>

namespace {

TEST(CliMonitorTest, PairsAnotherMastersTransactionsThroughTheTap) {
    ASSERT_FALSE(UsePrivatePortFolder().empty());
    CSimHarness sim;
    ASSERT_TRUE(sim.Ok());
    ASSERT_TRUE(sim.Server().OpenTap());
    const std::string tap = sim.Server().Tap().DevicePath();

    // libmodbus also judges the driver's replies: what each call returned,
    // errno after a failed one.
    std::vector<int> got;
    auto note = [&](int rc) { got.push_back(rc == -1 ? errno : rc); };
    std::atomic<bool> listening{false}, done{false};
    std::thread master([&] {
        WaitFor([&] { return listening.load(); }, 10000);
        modbus_t* c = modbus_new_rtu(sim.Device().c_str(), 9600, 'N', 8, 2);
        modbus_set_slave(c, 1);
        modbus_set_response_timeout(c, 1, 0);
        if (modbus_connect(c) == 0) {
            uint16_t regs[64];
            note(modbus_read_registers(c, 0x0060, 27, regs)); // the largest block
            const uint16_t gains[2] = {0x3F80, 0x0000};       // speed Kp 1.0
            note(modbus_write_registers(c, 0x00C0, 2, gains));
            sim.Server().InjectFault(EFault::Trailing, 3);
            modbus_write_register(c, 0x0040, 1);
            modbus_flush(c);
            sim.Server().InjectFault(EFault::Split, 30);
            modbus_read_registers(c, 0x0020, 28, regs);
            note(modbus_read_registers(c, 0x0048, 1, regs)); // no such register
            note(modbus_write_register(c, 0x0040, 9));       // no such stop
            uint8_t id[64];
            note(modbus_report_slave_id(c, sizeof id, id)); // no such function
            // The driver's own code 96 is well formed, though libmodbus knows
            // it only as no standard exception code.
            sim.Driver().SetRegister(0x0075, 0);
            note(modbus_write_register(c, 0x0043, 100));
            modbus_close(c);
        }
        modbus_free(c);
        done = true;
    });
    const CliRun r = RunCli({"--port", tap, "--json", "monitor"}, 30000, [&](const CliRun& so_far) {
        if (so_far.err.find("listening") != std::string::npos)
            listening = true;
        size_t pairs = 0;
        for (size_t at = 0; (at = so_far.out.find("\"action\"", at)) != std::string::npos; ++at)
            ++pairs;
        return done && pairs >= 7;
    });
    master.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got, (std::vector<int>{27, 2, EMBXILADD, EMBXILVAL, EMBXILFUN, EMBBADEXC}));

    std::vector<Json> tx;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        Json j;
        std::string err;
        ASSERT_TRUE(ParseJson(line, j, err)) << line;
        if (!j.contains("noise"))
            tx.push_back(j);
    }
    ASSERT_EQ(tx.size(), 7u) << r.out;
    EXPECT_EQ(At(tx[0], "action"), "read motor 0x0060+27");
    std::string current;
    for (const Json& f : tx[0]["fields"])
        if (f["name"] == "motor.rated_current")
            current = f["text"];
    EXPECT_EQ(current, "3.00 A");
    EXPECT_EQ(At(tx[1], "fields.0.name"), "pid.speed_kp");
    EXPECT_EQ(At(tx[1], "fields.0.value"), "1");
    EXPECT_EQ(At(tx[2], "action"), "stop 紧急停止");
    EXPECT_EQ(At(tx[3], "action"), "read status 0x0020+28");
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(At(tx[i], "result.text"), "ok") << i;
    for (const auto& [i, code] : {std::pair{4, "2"}, {5, "3"}, {6, "96"}})
        EXPECT_EQ(At(tx[i], "result.code"), code) << i;
    EXPECT_NE(r.out.find("\"noise\":\""), std::string::npos); // the garbage, said as such
    EXPECT_NE(r.err.find("7 transactions (1: 7)"), std::string::npos) << r.err;
}

} // namespace
