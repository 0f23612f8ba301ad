// get, set and fields against the virtual driver: fields by their file names,
// decoded as read decodes them, each block read once, a set that writes only
// the field's registers and nothing at all when refused.

#include "tests/cli/CliRunner.h"

#include <algorithm>

namespace {

using CliField = CliTest;

// (start, count) of every write request in the log.
std::vector<std::pair<int, int>> Writes(const CVirtualDriver& d) {
    std::vector<std::pair<int, int>> out;
    for (const auto& f : d.RequestLog())
        if (f.size() > 6 && (f[1] == 0x06 || f[1] == 0x10))
            out.emplace_back(f[2] << 8 | f[3], f[1] == 0x06 ? 1 : f[4] << 8 | f[5]);
    return out;
}

TEST_F(CliField, GetReadsEachBlockOnceAndShowsWhatReadShows) {
    CVirtualDriver& d = m_sim.Driver();
    d.SetRegister(0x006A, 350);  // rated current, hundredths of A
    d.SetRegister(0x0080, 3);    // limit trigger polarity, item 3
    d.SetRegister(0x0052, 2505); // acceleration, tenths of Hz/s
    d.SetRegister(0x0038, 240);  // input voltage
    d.ClearRequestLog();
    CliRun r = Expect("get motor.rated_current system-a.limit_trigger_polarity ramp.acceleration "
                      "motor.gear_ratio",
                      0);
    EXPECT_EQ(r.out, "motor.rated_current = 3.50 A\n"
                     "system-a.limit_trigger_polarity = 上升沿/断开瞬间\n"
                     "ramp.acceleration = 250.5 Hz/s\n"
                     "motor.gear_ratio = 1.0:1\n");
    EXPECT_EQ(d.RequestLog().size(), 4u); // three blocks, then the speed unit

    // In whole Hz; a status field read alongside brings the unit with it.
    d.SetRegister(0x0036, 1);
    d.ClearRequestLog();
    Json j = JsonOf({"get", "ramp.acceleration", "status.input_voltage"});
    EXPECT_EQ(d.RequestLog().size(), 2u);
    EXPECT_EQ(At(j, "speedUnitHz"), "true");
    const Json& speed = j["fields"][0];
    EXPECT_EQ(JsonText(speed["name"]), "ramp.acceleration");
    EXPECT_EQ(JsonText(speed["address"]), "82");
    EXPECT_EQ(JsonText(speed["value"]), "2505");
    EXPECT_EQ(JsonText(speed["unit"]), "Hz/s");
    EXPECT_EQ(JsonText(speed["text"]), "2505 Hz/s");
    const Json status = JsonOf({"read", "status"});
    EXPECT_EQ(JsonText(j["fields"][1]["text"]), At(status, "fields.input_voltage.text"));

    // The names, ranges, access and labels need no port.
    r = RunCli({"--port", "/dev/halvik-no-such-device", "fields", "safety"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 12) << r.out;
    for (const char* text : {"safety.over_voltage_shutdown", "writable", "过压关断", "0.0~6553.5 V",
                             "safety.over_temperature_shutdown", "-32768~32767℃"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
}

TEST_F(CliField, SetWritesOnlyTheFieldsRegistersAndReadsThemBack) {
    CVirtualDriver& d = m_sim.Driver();
    d.ClearRequestLog();
    Json j = JsonOf({"set", "motor.rated_current", "3.5", "system-a.limit_trigger_polarity",
                     "上升沿/断开瞬间", "comm-a.rs485_parity", "0", "--yes"});
    EXPECT_EQ(d.GetRegister(0x006A), 350);
    EXPECT_EQ(d.GetRegister(0x0080), 3);
    EXPECT_EQ(d.GetRegister(0x0092), 0);
    EXPECT_EQ(Writes(d), (std::vector<std::pair<int, int>>{{0x006A, 1}, {0x0080, 1}, {0x0092, 1}}));
    EXPECT_EQ(JsonText(j["fields"][0]["text"]), "3.50 A");
    EXPECT_EQ(JsonText(j["fields"][2]["text"]), "无校验+2停止位");

    // A speed is given in the driver's unit.
    d.SetRegister(0x0036, 1);
    Expect("set ramp.acceleration 250.55", 0, {"ramp.acceleration = 250 Hz/s\n"});
    EXPECT_EQ(d.GetRegister(0x0052), 250);

    // Refused before the port is opened: no frame at all.
    d.ClearRequestLog();
    const std::pair<const char*, const char*> refused[] = {
        {"set motor.rated_current 3,5", "\"3,5\" 不是数字 (0.00~655.35 A)"},
        {"set system-a.limit_trigger_polarity 5", "选项 5 超出范围"},
        {"set device-info.identifier 1", "read-only"},
        {"set comm-b.rs485_slave_address 0 --yes", "超出范围 (1~255)"},
        {"set comm-b.rs485_slave_address 5", "--yes"},
        {"set comm-a.rs485_parity 1 comm-b.rs485_slave_address 5 --yes", "one block at a time"},
        {"set motor.rated_current 1 motor.rated_current 2", "given twice"},
        {"set motor.rated_current", "VALUE"},
        {"set motor.rated_curent 1", "close names: motor.rated_current"},
        {"get motor.rated_curent", "close names: motor.rated_current"},
    };
    for (const auto& [args, mention] : refused) {
        CliRun r = Cli(Words(args));
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(mention), std::string::npos) << args << "\n" << r.err;
    }
    EXPECT_TRUE(d.RequestLog().empty());

    // An order the driver documents holds for the block as it will be: it is
    // read, and nothing is written.
    Expect("set safety.under_voltage_shutdown 65", 2, {},
           {"过压关断 (60.0 V) 应高于欠压关断 (65.0 V)"});
    EXPECT_TRUE(Writes(d).empty());
    Expect("set safety.over_voltage_shutdown 70 safety.under_voltage_shutdown 65", 0);
    EXPECT_EQ(d.GetRegisters(0x0102, 2), (std::vector<uint16_t>{700, 650}));

    // A new baud rate moves the line: the other fields are read back before
    // it is written, the baud rate itself at the new rate.
    Expect("--timeout 300 set reciprocate.homing_torque 1.5 comm-a.rs485_baud 19200 --yes", 0,
           {"The driver now answers at slave 1, 19200 baud", "reciprocate.homing_torque = 1.50 A\n",
            "comm-a.rs485_baud = 19200 baud\n"});
    EXPECT_EQ(d.GetRegisters(0x0090, 2), (std::vector<uint16_t>{0, 19200}));
}

} // namespace
