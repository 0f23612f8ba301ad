#include "driver/ConfigFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

std::string ExportedText() {
    std::ifstream f(HALVIK_TEST_DATA "/exported-v1.json", std::ios::binary);
    EXPECT_TRUE(f.good());
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The virtual driver's blocks as an earlier build exported them.
ConfigImage Exported() {
    ConfigImage img;
    std::vector<std::string> errors;
    EXPECT_EQ(ParseConfigText(ExportedText(), img, errors), EConfigParse::Ok)
        << (errors.empty() ? "" : errors[0]);
    return img;
}

ConfigImage SampleImage() {
    ConfigImage img;
    img.blocks = Exported().blocks;
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
    ConfigImage dev;
    std::vector<std::string> errors;
    ASSERT_EQ(ParseConfigText(BuildConfigText(file, {}), dev, errors), EConfigParse::Ok)
        << errors.at(0);
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
    EXPECT_EQ(d[0].where, "ramp");
    EXPECT_EQ(d[0].item, "acceleration (0x0052)");
    EXPECT_EQ(d[1].where, "TPDO1");
    EXPECT_EQ(d[2].item, "0x1A00 sub 2");
    EXPECT_EQ(d[2].file, "0x6064 sub 0, 32 bits");
    EXPECT_EQ(d[3].where, "SYNC");
    EXPECT_FALSE(PdoDiffers(file.pdos[5], dev.pdos[5]));
    EXPECT_TRUE(PdoDiffers(file.pdos[4], dev.pdos[4]));

    dev = SampleImage();
    dev.pdos[4].comm.resize(2); // the device reports no inhibit time or event timer
    dev.pdos[5].map.resize(1);  // and a single mapping entry
    dev.pdos[6].absent = true;
    auto p = CheckAgainstDevice(file, dev);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_NE(p[0].find("TPDO1: the device has no sub-index 3"), std::string::npos) << p[0];
    EXPECT_NE(p[2].find("TPDO2: 2 mapped objects"), std::string::npos) << p[2];
    EXPECT_NE(p[3].find("TPDO3: the device has no object 0x1802"), std::string::npos) << p[3];
}

// A file written by an earlier build reads back whole and is written again
// byte for byte: files move between versions of the tool unchanged.
TEST(ConfigFile, AnEarlierExportReadsAndWritesBackUnchanged) {
    const std::string text = ExportedText();
    ConfigImage img;
    std::vector<std::string> errors;
    ASSERT_EQ(ParseConfigText(text, img, errors), EConfigParse::Ok)
        << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(img.blocks.size(), 11u);
    EXPECT_EQ(img.pdos.size(), 8u);
    EXPECT_EQ(BuildConfigText(img, DecodeContext{}), text);
}

// A file saved by a Windows editor: byte-order mark and CRLF line ends.
TEST(ConfigFile, ReadsAFileWithAByteOrderMarkAndCrlf) {
    std::string text = "\xEF\xBB\xBF";
    for (char c : BuildConfigText(SampleImage(), {}))
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ConfigImage img;
    std::vector<std::string> errors;
    ASSERT_EQ(ParseConfigText(text, img, errors), EConfigParse::Ok) << errors.at(0);
    EXPECT_TRUE(CompareImages(SampleImage(), img, {}).empty());
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

} // namespace

// What a person edits in `fields` is what gets written, converted as the
// pages convert typed values; what cannot be read, breaks a limit or an order
// refuses the file, every problem with its place.
TEST(ConfigFile, EditedFieldsWinOverTheirRegistersAndBadOnesRefuseTheFile) {
    struct SRow {
        const char* name;
        std::vector<SEdit> edits;
        int speedUnitHz = -1;                                            // as the export records it
        std::tuple<const char*, size_t, uint16_t> before{nullptr, 0, 0}; // a register set first
        uint16_t addr = 0;
        std::vector<uint16_t> want; // registers from addr
        std::vector<std::string> errors;
    };
    const SRow rows[] = {
        {.name = "unedited, whole Hz recorded", .speedUnitHz = 1, .addr = 0x0052, .want = {5000}},
        {.name = "number and unit",
         .edits = {{"motor", "rated_current", "\"3.5 A\""}},
         .addr = 0x006A,
         .want = {350}},
        {.name = "engineering value",
         .edits = {{"motor", "rated_current", "4"}},
         .addr = 0x006A,
         .want = {400}},
        {.name = "signed, unit without a blank",
         .edits = {{"safety", "temperature_calibration_b", "\"-1.5℃\""}},
         .addr = 0x010B,
         .want = {0xFFF1}},
        {.name = "32 bits",
         .edits = {{"reciprocate", "total_stroke", "\"70000 pulses\""}},
         .addr = 0x00A2,
         .want = {1, 4464}},
        {.name = "float",
         .edits = {{"system-a", "pulse_ratio", "\"2.5\""}},
         .addr = 0x008C,
         .want = {0x4020, 0}},
        {.name = "bit 0 keeps the others",
         .edits = {{"motor", "overshoot_correction", "\"no\""}},
         .before = {"motor", 18, 3},
         .addr = 0x0072,
         .want = {2}},
        {.name = "zero means yes",
         .edits = {{"comm-b", "rs485_default_params_under_port_control", "true"}},
         .addr = 0x009D,
         .want = {0}},
        {.name = "list item by text and by index",
         .edits = {{"system-a", "limit_trigger_polarity", "\"禁用\""},
                   {"system-a", "digital_signal_polarity", "3"}},
         .addr = 0x0080,
         .want = {4, 3}},
        {.name = "list item in bit 0",
         .edits = {{"canopen", "communication_mode", "\"CANOpen\""}},
         .addr = 0x0120,
         .want = {1}},
        {.name = "speed in the unit the texts show",
         .edits = {{"ramp", "acceleration", "\"600 Hz/s\""}},
         .addr = 0x0052,
         .want = {6000}},
        {.name = "speed in the recorded unit",
         .edits = {{"ramp", "acceleration", "\"600 Hz/s\""}},
         .speedUnitHz = 1,
         .addr = 0x0052,
         .want = {600}},
        {.name = "motor speeds read again at the block's new range",
         .edits = {{"motor", "speed_range_x10", "\"yes\""},
                   {"motor", "max_acceleration", "\"2500 Hz/s\""}},
         .addr = 0x0062,
         .want = {2500, 500, 2000, 500, 3000, 1000}},
        {.name = "not a number",
         .edits = {{"motor", "rated_current", "\"3,5 A\""}},
         .errors = {"blocks.motor.fields.rated_current: \"3,5 A\" is not a number "
                    "(0.00~655.35 A)"}},
        {.name = "out of range, every problem listed",
         .edits = {{"motor", "rated_current", "\"700 A\""},
                   {"comm-b", "rs485_slave_address", "\"0\""},
                   {"canopen", "node_id", "128"}},
         .errors = {"rated_current: \"700 A\" is out of range (0.00~655.35 A)",
                    "rs485_slave_address: \"0\" is out of range (1~255)",
                    "node_id: \"128\" is out of range (1~127)"}},
        {.name = "a limit in the registers",
         .before = {"comm-b", 0, 0},
         .errors = {"blocks.comm-b.registers[0] (rs485_slave_address): 0 is out of range "
                    "(1~255)"}},
        {.name = "orders",
         .edits = {{"safety", "over_voltage_shutdown", "\"10.0 V\""},
                   {"motor", "default_acceleration", "2500"}},
         .errors = {"blocks.safety: out of order: 过压关断 (10.0 V) 应高于欠压关断 (18.0 V)",
                    "blocks.motor: out of order: 默认加速加速度"}},
        {.name = "texts that are no value",
         .edits = {{"system-a", "limit_trigger_polarity", "\"Disabled\""},
                   {"motor", "overshoot_correction", "\"maybe\""},
                   {"pid", "holding_kp", "\"1e39\""},
                   {"motor", "phase_sequence", "\"05 01 03 02 06 05\""},
                   {"motor", "rated_curent", "\"3.5 A\""}},
         .errors = {"limit_trigger_polarity: \"Disabled\" is not one of: 低电平/闭合",
                    "overshoot_correction: \"maybe\" is neither yes nor no",
                    "holding_kp: \"1e39\" is out of range",
                    "phase_sequence: \"05 01 03 02 06 05\" is not what its registers hold",
                    "blocks.motor.fields.rated_curent: not a field of this block"}},
    };
    for (const SRow& row : rows) {
        SCOPED_TRACE(row.name);
        ConfigImage base = Exported();
        if (const auto& [block, index, value] = row.before; block)
            for (BlockImage& b : base.blocks)
                if (std::string(b.def->name) == block)
                    b.regs[index] = value;
        base.device.speedUnitHz = row.speedUnitHz;
        std::string text = BuildConfigText(base, {});
        for (const SEdit& e : row.edits)
            text = WithField(text, e);
        ConfigImage img;
        std::vector<std::string> errors;
        const EConfigParse rc = ParseConfigText(text, img, errors);
        std::string all;
        for (const std::string& e : errors)
            all += e + "\n";
        if (!row.errors.empty()) {
            EXPECT_EQ(rc, EConfigParse::Refused);
            EXPECT_EQ(errors.size(), row.errors.size()) << all;
            for (const std::string& e : row.errors)
                EXPECT_NE(all.find(e), std::string::npos) << e << "\n" << all;
            continue;
        }
        ASSERT_EQ(rc, EConfigParse::Ok) << all;
        const BlockImage* b = img.Block(BlockOf(row.addr));
        ASSERT_TRUE(b);
        const auto at = b->regs.begin() + (row.addr - b->def->start);
        EXPECT_EQ(std::vector<uint16_t>(at, at + static_cast<long>(row.want.size())), row.want);
        // Each difference from the export is a field edited in the file.
        const auto diffs = CompareImages(img, base, {});
        EXPECT_EQ(diffs.empty(), row.edits.empty());
        for (const Difference& d : diffs)
            EXPECT_TRUE(d.edited) << d.item;
    }

    // A hand-written block whose texts do not show the driver's speed unit.
    const std::string ramp = R"("blocks": {"ramp": {"start": 80, "registers": [0, 0, 5000, 5000],
        "fields": {"acceleration": "600 Hz/s"}}}})";
    const std::string head = R"({"format": "halvik-cli configuration", "version": 1, )";
    ConfigImage img;
    std::vector<std::string> errors;
    EXPECT_EQ(ParseConfigText(head + ramp, img, errors), EConfigParse::Refused);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("acceleration: \"600 Hz/s\" cannot be read"), std::string::npos)
        << errors[0];
    errors.clear();
    ASSERT_EQ(ParseConfigText(head + R"("device": {"speedUnitHz": false}, )" + ramp, img, errors),
              EConfigParse::Ok)
        << errors.at(0);
    EXPECT_EQ(img.blocks.at(0).regs[2], 6000);
}
