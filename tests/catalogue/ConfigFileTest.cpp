#include "driver/ConfigFile.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

namespace {

std::string ExportedText() {
    return ReadFile(HALVIK_TEST_DATA "/exported-v1.json");
}

// The image of a document that is to be read without a problem.
ConfigImage Parsed(const std::string& text) {
    ConfigImage img;
    std::vector<std::string> errors;
    EXPECT_EQ(ParseConfigText(text, img, errors), EConfigParse::Ok)
        << (errors.empty() ? "" : errors[0]);
    return img;
}

ConfigImage SampleImage() {
    ConfigImage img;
    img.blocks = Parsed(ExportedText()).blocks; // as an earlier build exported them
    for (int row = 0; row < kPdoCount; ++row) {
        PdoImage p;
        p.row = row;
        p.commCount = row < 4 ? 2 : 5;
        p.comm = {{1, 4, 0x80000181u + static_cast<uint32_t>(row)}, {2, 1, 255}};
        if (row >= 4)
            p.comm.push_back({3, 2, 100}), p.comm.push_back({5, 2, 65535});
        p.mapCount = 2;
        p.map = {0x60410010, 0x60640020, 0, 0, 0, 0, 0, 0};
        img.pdos.push_back(p);
    }
    img.pdos[3].absent = true;
    img.hasSync = true;
    img.sync = {0x40000080, 10000, 0xFFFFFFFF};
    return img;
}

} // namespace

// The document of an image reads back as the same image, a PDO the device
// lacks included (the round trip against a device is in CliImportTest).
TEST(ConfigFile, ReadsBackAndNamesDifferencesAndWhatTheDeviceCannotHold) {
    const ConfigImage file = SampleImage();
    ConfigImage dev = Parsed(BuildConfigText(file, {}));
    ASSERT_EQ(dev.blocks.size(), file.blocks.size());
    ASSERT_EQ(dev.pdos.size(), file.pdos.size());
    EXPECT_TRUE(dev.pdos[3].absent);
    EXPECT_TRUE(dev.hasSync);
    EXPECT_TRUE(CompareImages(file, dev, {}).empty());
    EXPECT_TRUE(CheckAgainstDevice(file, dev).empty());

    dev = SampleImage();
    dev.blocks[0].regs[2] = 1234;            // ramp acceleration
    dev.pdos[4].map[1] = 0x60410010;         // TPDO1 entry 2
    dev.pdos[4].comm[0].value ^= 0x80000000; // TPDO1 COB-ID
    dev.pdos[5].map[5] = 7;                  // beyond the mapped count: not a difference
    dev.sync.cyclePeriod = 1;
    auto d = CompareImages(file, dev, {});
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].block, "ramp");
    EXPECT_EQ(d[0].item, "acceleration (0x0052)");
    EXPECT_EQ(d[1].block, "TPDO1");
    // The desktop's words for the same differences.
    EXPECT_EQ(d[1].page + " " + d[1].label + " " + d[1].device.shown,
              "通讯对象 TPDO1 COB-ID 0x185");
    EXPECT_EQ(d[2].label, "映射对象 2");
    EXPECT_EQ(d[2].item, "0x1A00 sub 2");
    EXPECT_EQ(d[2].file.text, "0x6064 sub 0, 32 bits");
    EXPECT_EQ(d[3].block, "SYNC");
    EXPECT_FALSE(PdoDiffers(file.pdos[5], dev.pdos[5]));
    EXPECT_TRUE(PdoDiffers(file.pdos[4], dev.pdos[4]));

    dev = SampleImage();
    dev.pdos[4].comm.resize(2); // the device reports no inhibit time or event timer
    dev.pdos[5].map.resize(1);  // and a single mapping entry
    dev.pdos[6].absent = true;
    auto p = CheckAgainstDevice(file, dev);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_NE(p[0].find("TPDO1: 设备的对象 0x1800 没有子索引 3"), std::string::npos) << p[0];
    EXPECT_NE(p[2].find("TPDO2: 映射对象 2 个"), std::string::npos) << p[2];
    EXPECT_NE(p[3].find("TPDO3: 设备没有对象 0x1802"), std::string::npos) << p[3];
}

// A file written by an earlier build reads back whole and is written again
// byte for byte: files move between versions of the tool unchanged.
TEST(ConfigFile, AnEarlierExportReadsAndWritesBackUnchanged) {
    const std::string text = ExportedText();
    const ConfigImage img = Parsed(text);
    EXPECT_EQ(img.blocks.size(), 11u);
    EXPECT_EQ(img.pdos.size(), 8u);
    EXPECT_EQ(BuildConfigText(img, DecodeContext{}), text);
}

// A file saved by a Windows editor: byte-order mark and CRLF line ends.
TEST(ConfigFile, ReadsAFileWithAByteOrderMarkAndCrlf) {
    std::string text = "\xEF\xBB\xBF";
    for (char c : BuildConfigText(SampleImage(), {}))
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(CompareImages(SampleImage(), Parsed(text), {}).empty());
}

namespace {

struct SEdit {
    std::string block, field, value; // value as JSON text
};

// The document with a field's value replaced, or added when the block's
// fields do not have it.
std::string WithField(std::string text, const SEdit& e) {
    const size_t fields = text.find("\"fields\": {", text.find("\"" + e.block + "\": {"));
    const size_t key = text.find("\"" + e.field + "\": ", fields);
    if (key > text.find('}', fields)) {
        text.insert(fields + 11, "\"" + e.field + "\": " + e.value + ",");
        return text;
    }
    const size_t from = key + e.field.size() + 4;
    size_t to = text.find('\n', from);
    to -= text[to - 1] == ',';
    text.replace(from, to - from, e.value);
    return text;
}

// The export of the virtual driver's blocks as a text with fields edited, a
// register set first (block, index, value) and the speed unit it records.
struct SEdited {
    std::vector<SEdit> edits;
    std::tuple<const char*, size_t, uint16_t> reg{nullptr, 0, 0};
    int speedUnitHz = -1;
};

std::string EditedText(const SEdited& e, ConfigImage& exported) {
    exported = Parsed(ExportedText());
    for (BlockImage& b : exported.blocks)
        if (std::get<0>(e.reg) && std::string(b.def->name) == std::get<0>(e.reg))
            b.regs[std::get<1>(e.reg)] = std::get<2>(e.reg);
    exported.device.speedUnitHz = e.speedUnitHz;
    std::string text = BuildConfigText(exported, {});
    for (const SEdit& f : e.edits)
        text = WithField(text, f);
    return text;
}

} // namespace

// What a person edits in `fields` is what gets written, converted as the
// pages convert typed values, and each difference it makes is marked.
TEST(ConfigFile, EditedFieldsWinOverTheirRegisters) {
    const std::tuple<SEdited, uint16_t, std::vector<uint16_t>> rows[] = {
        {{{}, {}, 1}, 0x0052, {5000}}, // unedited, whole Hz recorded
        {{{{"safety", "temperature_calibration_b", "\"-1.5℃\""}}}, 0x010B, {0xFFF1}},
        {{{{"reciprocate", "total_stroke", "\"70000 pulses\""}}}, 0x00A2, {1, 4464}},
        {{{{"system-a", "pulse_ratio", "\"2.5\""}}}, 0x008C, {0x4020, 0}},
        {{{{"motor", "overshoot_correction", "\"no\""}}, {"motor", 18, 3}}, 0x0072, {2}},
        {{{{"comm-b", "rs485_default_params_under_port_control", "true"}}}, 0x009D, {0}},
        {{{{"system-a", "limit_trigger_polarity", "\"禁用\""},
           {"system-a", "digital_signal_polarity", "3"}}},
         0x0080,
         {4, 3}},
        {{{{"ramp", "acceleration", "\"600 Hz/s\""}}}, 0x0052, {6000}},
        {{{{"ramp", "acceleration", "\"600 Hz/s\""}}, {}, 1}, 0x0052, {600}},
        // The motor's speeds are read again at its new range.
        {{{{"motor", "speed_range_x10", "\"yes\""}, {"motor", "max_acceleration", "2500"}}},
         0x0062,
         {2500, 500, 2000, 500, 3000, 1000}},
    };
    for (const auto& [edited, addr, want] : rows) {
        SCOPED_TRACE(edited.edits.empty() ? "unedited" : edited.edits[0].field);
        ConfigImage exported;
        const ConfigImage img = Parsed(EditedText(edited, exported));
        const BlockImage* b = img.Block(BlockOf(addr));
        ASSERT_NE(b, nullptr);
        const auto at = b->regs.begin() + (addr - b->def->start);
        EXPECT_EQ(std::vector<uint16_t>(at, at + static_cast<long>(want.size())), want);
        const auto diffs = CompareImages(img, exported, {});
        EXPECT_EQ(diffs.empty(), edited.edits.empty());
        for (const ConfigDiff& d : diffs)
            EXPECT_TRUE(d.edited) << d.item;
    }
}

// A field that cannot be read, and a value breaking a limit or an order the
// driver documents, refuse the file: every problem with its place.
TEST(ConfigFile, UnreadableOrForbiddenValuesRefuseTheFile) {
    const std::pair<SEdited, std::vector<std::string>> rows[] = {
        {{{{"motor", "rated_current", "\"3,5 A\""}, {"motor", "rated_curent", "1"}}},
         {"blocks.motor.fields.rated_current: \"3,5 A\" 不是数字 (0.00~655.35 A)",
          "blocks.motor.fields.rated_curent: 不是此参数块的字段"}},
        {{{{"motor", "rated_current", "\"700 A\""}, {"canopen", "node_id", "128"}}},
         {"rated_current: \"700 A\" 超出范围 (0.00~655.35 A)",
          "node_id: \"128\" 超出范围 (1~127)"}},
        {{{}, {"comm-b", 0, 0}},
         {"blocks.comm-b.registers[0] (rs485_slave_address): 0 超出范围 (1~255)"}},
        {{{{"comm-a", "rs485_baud", "\"9601 baud\""}}},
         {"blocks.comm-a.registers[0] (rs485_baud): 9601 不是驱动器提供的取值"}},
        {{{{"safety", "over_voltage_shutdown", "\"10.0 V\""},
           {"motor", "default_acceleration", "2500"}}},
         {"blocks.safety: 顺序不符: 过压关断 (10.0 V) 应高于欠压关断 (18.0 V)",
          "blocks.motor: 顺序不符: 默认加速加速度"}},
        {{{{"system-a", "limit_trigger_polarity", "\"Disabled\""},
           {"motor", "overshoot_correction", "\"maybe\""},
           {"pid", "holding_kp", "\"1e39\""},
           {"motor", "phase_sequence", "\"05 01 03 02 06 05\""}}},
         {"limit_trigger_polarity: \"Disabled\" 不是以下之一: 低电平/闭合",
          "overshoot_correction: \"maybe\" 既不是 yes 也不是 no",
          "holding_kp: \"1e39\" 超出单精度数的范围",
          "phase_sequence: \"05 01 03 02 06 05\" 与其寄存器中的值"}},
    };
    for (const auto& [edited, want] : rows) {
        ConfigImage exported, img;
        std::vector<std::string> errors;
        EXPECT_EQ(ParseConfigText(EditedText(edited, exported), img, errors),
                  EConfigParse::Refused);
        std::string all;
        for (const std::string& e : errors)
            all += e + "\n";
        EXPECT_EQ(errors.size(), want.size()) << all;
        for (const std::string& e : want)
            EXPECT_NE(all.find(e), std::string::npos) << e << "\n" << all;
    }

    // A hand-written block whose texts do not show the driver's speed unit.
    const std::string head = R"({"format": "halvik-cli configuration", "version": 1, )";
    const std::string ramp = R"("blocks": {"ramp": {"start": 80, "registers": [0, 0, 5000, 5000],
        "fields": {"acceleration": "600 Hz/s"}}}})";
    ConfigImage img;
    std::vector<std::string> errors;
    EXPECT_EQ(ParseConfigText(head + ramp, img, errors), EConfigParse::Refused);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("acceleration: 无法读取 \"600 Hz/s\""), std::string::npos)
        << errors[0];
    EXPECT_EQ(Parsed(head + R"("device": {"speedUnitHz": false}, )" + ramp).blocks.at(0).regs[2],
              6000);
}
