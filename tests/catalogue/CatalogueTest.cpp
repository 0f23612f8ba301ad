#include "driver/Catalogue.h"
#include "driver/FieldInput.h"

#include <gtest/gtest.h>

#include <algorithm>

// Types, scales and units as the driver stores them; speeds follow their unit
// flag (whole Hz or tenths), preset speeds are currents in torque mode. The
// virtual driver's values of every field are decoded in the exported file
// that ConfigFileTest writes again byte for byte; here what they leave out.
TEST(Fields, BlocksDecodeWithTheirTypesScalesAndUnits) {
    using Set = std::vector<std::pair<uint16_t, uint16_t>>; // address, value; others 0
    const struct {
        const char* block;
        bool hz;
        Set set;
        const char *field, *text;
    } cases[] = {
        {"ramp", true, {{0x52, 5000}}, "acceleration", "5000 Hz/s"},
        {"motor", false, {{0x66, 30000}, {0x77, 1}}, "max_commutation_frequency", "30000 Hz"},
        {"preset-speed", true, {{0xB0, 1}, {0xB2, 250}}, "forward_speed", "2.50 A"},
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
    EXPECT_TRUE(FieldIsSigned(CatalogueField(0x010B)));
    EXPECT_FALSE(FieldIsSigned(CatalogueField(0x010A)));
    EXPECT_EQ(FindField(0x0091), nullptr);
    EXPECT_EQ(BlockOf(0x0091), FindBlock("comm-a"));
    EXPECT_EQ(FindField(*FindBlock("motor"), 0x0080), nullptr);
    // By name, as the surfaces and the configuration file name them: the
    // block tells apart the two learning states.
    const BlockDef* block = nullptr;
    EXPECT_EQ(FindField("learn.learning_state", &block)->addr, 0x00E2);
    EXPECT_EQ(block, FindBlock("learn"));
    EXPECT_EQ(FieldAddr("motor.learning_state"), 0x0075);
    for (const char* unknown : {"motor", "motor.", ".rated_current", "pid.rated_current", "x.y"})
        EXPECT_EQ(FindField(unknown), nullptr) << unknown;
}

// What a person types is refused unless the whole text is a number that fits
// the field; valid text converts exactly as before (digits below the
// resolution cut toward zero).
TEST(FieldInput, TypedNumbersAreCheckedAgainstTheFieldsRange) {
    const struct {
        uint16_t addr;
        const char* text;
        int64_t raw;         // when accepted
        const char* problem; // "" when accepted
    } cases[] = {
        {0x006A, " 655.359 ", 65535, ""},
        {0x006A, "1e2", 10000, ""},
        {0x006A, "99999", 0, "电机额定电流: 99999 超出范围 (0.00~655.35 A)"},
        {0x006A, "", 0, "电机额定电流: 未填写 (0.00~655.35 A)"},
        {0x0102, "12x", 0, "过压关断: 12x 不是数字 (0.0~6553.5 V)"},
        {0x010B, "-3276.8", -32768, ""},
        {0x010B, "-3276.9", 0, "温度校准 b: -3276.9 超出范围 (-3276.8~3276.7℃)"},
        {0x00A2, "4294967295", 4294967295, ""},
        {0x00A2, "4294967296", 0, "总行程: 4294967296 超出范围 (0~4294967295 脉冲)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const SNumberCheck r = CheckNumber(FieldRule(CatalogueField(c.addr)), c.text);
        EXPECT_EQ(r.problem, c.problem);
        if (r.Ok()) {
            EXPECT_EQ(r.raw, c.raw);
        }
    }
    float f = 0;
    EXPECT_EQ(CheckFloat("Kp", "-1.5e2", f), "");
    EXPECT_EQ(f, -150.0f);
    EXPECT_EQ(CheckFloat("Kp", "1e39", f), "Kp: 1e39 超出范围 (±3.40282e+38)");
    EXPECT_EQ(CheckFloat("Kp", "nan", f), "Kp: nan 不是数字");
}

// Orders the driver documents hold between fields of one block; speeds are
// shown in the unit the block itself sets.
TEST(FieldInput, ContradictingFieldsOfOneBlockAreNamed) {
    const BlockDef& safety = *FindBlock("safety");
    std::vector<uint16_t> regs(safety.count);
    regs[2] = 180; // over-voltage 18.0 V
    regs[3] = 180;
    EXPECT_EQ(OrderProblem(safety, regs, {}), "过压关断 (18.0 V) 应高于欠压关断 (18.0 V)");
    regs[2] = 181;
    EXPECT_EQ(OrderProblem(safety, regs, {}), "");

    const BlockDef& motor = *FindBlock("motor");
    regs.assign(motor.count, 0);
    regs[0x66 - 0x60] = 3000;
    regs[0x67 - 0x60] = 3000; // equal is allowed
    EXPECT_EQ(OrderProblem(motor, regs, {}), "");
    regs[0x67 - 0x60] = 3001;
    regs[0x77 - 0x60] = 1; // whole Hz
    EXPECT_EQ(OrderProblem(motor, regs, {}),
              "默认换向频率 (3001 Hz) 不能大于最大换向频率 (3000 Hz)");
}

TEST(FieldInput, AddressesAndIdsAreDecimalOrHexWithNothingElse) {
    const struct {
        const char* text;
        int64_t value; // -1: refused
    } cases[] = {{"0X10", 16}, {" 0x7f ", 127}, {"16", 16}, {"10x", -1},
                 {"1f", -1},   {"x", -1},       {"", -1},   {"0x", -1}};
    for (const auto& c : cases) {
        int64_t v = -1;
        EXPECT_EQ(ParseStrictId(c.text, v), c.value >= 0) << c.text;
        if (c.value >= 0) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}
