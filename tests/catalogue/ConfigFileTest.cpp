#include "driver/ConfigFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

ConfigImage SampleImage() {
    ConfigImage img;
    for (const BlockDef* def : ExportBlocks()) {
        BlockImage b{def, std::vector<uint16_t>(def->count)};
        for (size_t i = 0; i < b.regs.size(); ++i)
            b.regs[i] = static_cast<uint16_t>(i * 4099 + def->start);
        img.blocks.push_back(b);
    }
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
    std::ifstream f(HALVIK_TEST_DATA "/exported-v1.json", std::ios::binary);
    ASSERT_TRUE(f.good());
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
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
