#include "driver/Catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

// Types, scales and units as the driver stores them; speeds follow their unit
// flag (whole Hz or tenths), preset speeds are currents in torque mode.
TEST(Fields, BlocksDecodeWithTheirTypesScalesAndUnits) {
    EXPECT_EQ(FormatScaled(-5, 2), "-0.05");
    EXPECT_EQ(FormatScaled(5, 3), "0.005");
    EXPECT_EQ(FormatFloat(0.1f), "0.1");
    using Set = std::vector<std::pair<uint16_t, uint16_t>>; // address, value; others 0
    const struct {
        const char* block;
        bool hz;
        Set set;
        const char *field, *text;
    } cases[] = {
        {"ramp", false, {{0x52, 5000}}, "acceleration", "500.0 Hz/s"},
        {"ramp", true, {{0x52, 5000}}, "acceleration", "5000 Hz/s"},
        {"motor", false, {{0x66, 30000}}, "max_commutation_frequency", "3000.0 Hz"},
        {"motor", false, {{0x66, 30000}, {0x77, 1}}, "max_commutation_frequency", "30000 Hz"},
        {"preset-speed", true, {{0xB0, 1}, {0xB2, 250}}, "forward_speed", "2.50 A"},
        {"preset-speed", true, {{0xB2, 250}}, "forward_speed", "250 Hz"},
        {"safety", false, {{0x100, 0xFFF6}}, "over_temperature_shutdown", "-10℃"},
        {"safety", false, {{0x104, 1555}}, "over_current_shutdown", "15.55 A"},
        {"safety", false, {{0x106, 1}}, "current_loop_pid_dynamic", "yes"},
        {"safety", false, {{0x10A, 10234}}, "temperature_calibration_k", "1.0234"},
        {"safety", false, {{0x10B, 0xFFEC}}, "temperature_calibration_b", "-2.0℃"},
        {"reciprocate", false, {{0xA2, 1}}, "total_stroke", "65536 pulses"},
        {"reciprocate", false, {{0xA0, 7}}, "homing_mode", "(no item for 7)"},
        {"comm-a", false, {{0x91, 0xC200}, {0x90, 1}}, "rs485_baud", "115200 baud"},
        {"status", false, {{0x22, 1234}}, "commutation_frequency", "123.4Hz"},
        {"status", false, {{0x22, 1234}, {0x35, 1}}, "commutation_frequency", "1234Hz"},
        {"status", false, {{0x34, 0xFFFF}}, "motor_speed", "-"},
        {"status", false, {{0x34, 150}, {0x35, 1}}, "motor_speed", "1500RPM"},
        {"status", false, {{0x38, 240}, {0x3A, 150}}, "input_voltage", "24.0V (1.50A)"},
    };
    for (const auto& b : AllBlocks()) // every field lies inside its block
        for (int i = 0; i < b.fieldCount; ++i)
            EXPECT_LE(b.fields[i].addr + b.fields[i].regs, b.start + b.count) << b.fields[i].name;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.block) + " " + c.field);
        const BlockDef* def = FindBlock(c.block);
        ASSERT_NE(def, nullptr);
        std::vector<uint16_t> regs(def->count);
        for (const auto& [addr, value] : c.set)
            regs.at(addr - def->start) = value;
        DecodeContext ctx;
        ctx.speedUnitHz = c.hz;
        const auto fields = DecodeBlock(*def, regs, ctx);
        auto f = std::find_if(fields.begin(), fields.end(),
                              [&](const DecodedField& x) { return x.name == c.field; });
        ASSERT_NE(f, fields.end());
        EXPECT_EQ(f->text, c.text);
        // No reading: null in JSON, not a number.
        EXPECT_EQ(f->value.IsNull(), std::string(c.text) == "-");
    }
}

// Pages look fields up by register: list texts in register order, the scale,
// the sign; a register inside a field but not its first is no field.
TEST(Fields, PagesFindListsAndScalesByRegister) {
    EXPECT_EQ(FieldItems(0x0080).size(), 5u);
    EXPECT_EQ(FieldItems(0x0081).size(), 4u); // the first four of the same list
    EXPECT_STREQ(FieldItem(CatalogueField(0x0081), 3), "上升沿/断开瞬间");
    EXPECT_EQ(FieldItem(CatalogueField(0x0081), 4), nullptr);
    EXPECT_EQ(CatalogueField(0x0104).decimals, 2);
    EXPECT_TRUE(FieldIsSigned(CatalogueField(0x010B)));
    EXPECT_FALSE(FieldIsSigned(CatalogueField(0x010A)));
    EXPECT_EQ(FindField(0x0091), nullptr);
    EXPECT_EQ(BlockOf(0x0091), FindBlock("comm-a"));
    EXPECT_EQ(FindField(*FindBlock("motor"), 0x0080), nullptr);
}
