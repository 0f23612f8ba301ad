#include "cli/Fields.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::map<std::string, DecodedField> Decode(const char* block, std::vector<uint16_t> regs,
                                           bool speedUnitHz = false) {
    const BlockDef* def = FindBlock(block);
    EXPECT_NE(def, nullptr) << block;
    regs.resize(def->count);
    DecodeContext ctx;
    ctx.speedUnitHz = speedUnitHz;
    std::map<std::string, DecodedField> out;
    for (auto& f : DecodeBlock(*def, regs, ctx))
        out[f.name] = f;
    return out;
}

} // namespace

TEST(Fields, ScaledValuesAreExactDecimals) {
    EXPECT_EQ(FormatScaled(-1000, 1), "-100.0");
    EXPECT_EQ(FormatScaled(5, 3), "0.005");
    EXPECT_EQ(FormatScaled(-5, 2), "-0.05");
    EXPECT_EQ(FormatScaled(65535, 4), "6.5535");
    EXPECT_EQ(FormatScaled(123, 0), "123");
    EXPECT_EQ(FormatFloat(0.1f), "0.1");
    EXPECT_EQ(FormatFloat(1.0f), "1");
}

TEST(Fields, SpeedFieldsFollowTheirUnitFlag) {
    auto tenths = Decode("ramp", {0, 0, 5000, 125});
    EXPECT_EQ(tenths["acceleration"].text, "500.0 Hz/s");
    EXPECT_EQ(tenths["deceleration"].value.Text(), "12.5");
    auto whole = Decode("ramp", {0, 0, 5000, 125}, true);
    EXPECT_EQ(whole["acceleration"].text, "5000 Hz/s");

    // The motor block carries its own unit flag in 0x0077.
    std::vector<uint16_t> motor(27);
    motor[0x0066 - 0x0060] = 30000;
    EXPECT_EQ(Decode("motor", motor)["max_commutation_frequency"].text, "3000.0 Hz");
    motor[0x0077 - 0x0060] = 1;
    EXPECT_EQ(Decode("motor", motor)["max_commutation_frequency"].text, "30000 Hz");

    // Preset speeds are currents in torque mode, whatever the flag.
    auto torque = Decode("preset-speed", {1, 0, 250, 30}, true);
    EXPECT_EQ(torque["forward_speed"].text, "2.50 A");
    auto duty = Decode("preset-speed", {0, 0, 250, 30}, true);
    EXPECT_EQ(duty["forward_speed"].text, "250 Hz");
}

TEST(Fields, TypesDecodeAsTheDriverStoresThem) {
    auto safety = Decode("safety", {0xFFF6, 0, 0, 0, 1555, 0, 1, 0, 0, 0, 10234, 0xFFEC});
    EXPECT_EQ(safety["over_temperature_shutdown"].value.Text(), "-10");
    EXPECT_EQ(safety["over_current_shutdown"].text, "15.55 A");
    EXPECT_TRUE(safety["current_loop_pid_dynamic"].value.BoolValue());
    EXPECT_EQ(safety["temperature_calibration_k"].value.Text(), "1.0234");
    EXPECT_EQ(safety["temperature_calibration_b"].text, "-2.0℃");

    auto pid = Decode("pid", {0x3F80, 0x0000, 0x3F00, 0x0000});
    EXPECT_EQ(pid["holding_kp"].text, "1");
    EXPECT_EQ(pid["holding_ki"].value.Text(), "0.5");
    EXPECT_EQ(pid["holding_kp"].raw, (std::vector<uint16_t>{0x3F80, 0}));

    auto stroke = Decode("reciprocate", {7, 0, 0x0001, 0x0000});
    EXPECT_EQ(stroke["total_stroke"].value.Text(), "65536");
    EXPECT_EQ(stroke["homing_mode"].text, "(no item for 7)");

    auto comm = Decode("comm-a", {0x0001, 0xC200, 3});
    EXPECT_EQ(comm["rs485_baud"].value.Text(), "115200");
    EXPECT_EQ(comm["rs485_parity"].text, "无校验+1停止位");
}

TEST(Fields, StatusUsesTheMainWindowTexts) {
    std::vector<uint16_t> st(28);
    auto at = [&](uint16_t a) -> uint16_t& { return st[a - 0x0020]; };
    at(0x0020) = 0xFC18;
    at(0x0022) = 1234;
    at(0x0024) = 0xFFFF;
    at(0x0025) = 0xFFFF;
    at(0x0034) = 0xFFFF;
    at(0x0038) = 240;
    at(0x003A) = 150;
    auto f = Decode("status", st);
    EXPECT_EQ(f["output_pwm"].text, "-100.0%");
    EXPECT_EQ(f["output_pwm"].value.Text(), "-100.0");
    EXPECT_EQ(f["commutation_frequency"].text, "123.4Hz");
    EXPECT_EQ(f["commutation_frequency"].value.Text(), "123.4");
    EXPECT_EQ(f["position"].value.Text(), "-1");
    EXPECT_TRUE(f["motor_speed"].value.IsNull());
    EXPECT_EQ(f["motor_speed"].text, "-");
    EXPECT_EQ(f["input_voltage"].text, "24.0V (1.50A)");
    EXPECT_EQ(f["error_state"].text, "无");
    at(0x0035) = 1;
    at(0x0034) = 150;
    f = Decode("status", st);
    EXPECT_EQ(f["commutation_frequency"].value.Text(), "1234");
    EXPECT_EQ(f["motor_speed"].value.Text(), "1500");
}

TEST(Fields, ExportOrderPutsTheLineSettingsLast) {
    auto order = ExportBlocks();
    ASSERT_EQ(order.size(), 11u);
    EXPECT_STREQ(order[order.size() - 1]->name, "comm-b");
    EXPECT_STREQ(order[order.size() - 2]->name, "comm-a");
    for (size_t i = 0; i + 3 < order.size(); ++i)
        EXPECT_FALSE(order[i]->comm);
    // Every field lies inside its block.
    for (const auto& b : AllBlocks())
        for (int i = 0; i < b.fieldCount; ++i)
            EXPECT_LE(b.fields[i].addr + b.fields[i].regs, b.start + b.count) << b.fields[i].name;
}
