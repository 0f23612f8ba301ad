#include "driver/Blocks.h"
#include "driver/MotorDriver.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace {

template <class Block> Bytes WireOf(const Block& b) {
    return Regs(std::vector<uint16_t>(b.m_reg.begin(), b.m_reg.end()));
}

} // namespace

TEST(BlockRecord, ThirtyTwoBitFieldsTravelHighWordFirst) {
    PidBlock pid;
    pid.Set32(0x00BA, 100000);
    EXPECT_EQ(pid.At(0x00BA), 0x0001);
    EXPECT_EQ(pid.At(0x00BB), 0x86A0);
    Bytes head = WireOf(pid);
    EXPECT_EQ(Bytes(head.begin(), head.begin() + 4), Hex("00 01 86 A0"));
    EXPECT_EQ(pid.Get32(0x00BA), 100000u);

    pid.Set32(0x00CA, 0x12345678);
    Bytes wire = WireOf(pid);
    EXPECT_EQ(Bytes(wire.end() - 4, wire.end()), Hex("12 34 56 78"));

    pid.SetFloat(0x00BC, 1.5f); // 0x3FC00000
    EXPECT_EQ(pid.At(0x00BC), 0x3FC0);
    EXPECT_EQ(pid.At(0x00BD), 0x0000);
    EXPECT_FLOAT_EQ(pid.GetFloat(0x00BC), 1.5f);
    pid.SetFloat(0x00BE, -0.001f);
    EXPECT_FLOAT_EQ(pid.GetFloat(0x00BE), -0.001f);

    ReciprocateBlock rec;
    rec.Set32(0x00A2, 0xFFFFFFFE); // -2 as a signed count
    EXPECT_EQ(static_cast<int32_t>(rec.Get32(0x00A2)), -2);
    EXPECT_EQ(rec.At(0x00A2), 0xFFFF);
    EXPECT_EQ(rec.At(0x00A3), 0xFFFE);
    EXPECT_EQ(rec.At(0x00A1), 0);
    EXPECT_EQ(rec.At(0x00A4), 0);
}

TEST(BlockRecord, CatalogueShapes) {
    EXPECT_EQ(DeviceInfoBlock::kStart, 0x0000);
    EXPECT_EQ(DeviceInfoBlock::kCount, 16);
    EXPECT_EQ(RealtimeStatusBlock::kCount, 28);
    EXPECT_EQ(MotorParamBlock::kCount, 27);
    EXPECT_LE(MotorParamBlock::kCount, kMaxWriteRegisters);
    EXPECT_EQ(PidBlock::kStart, 0x00BA);
    EXPECT_EQ(PidBlock::kCount, 18);
    EXPECT_EQ(LearnBlock::kCount, 16);
    EXPECT_TRUE(SystemBlockA::Holds(kSystemAPair + 1));
    EXPECT_TRUE(SystemBlockB::Holds(kSystemBPair + 1));
    EXPECT_TRUE(ReciprocateBlock::Holds(kReciprocatePair + 1));
    EXPECT_FALSE(PidBlock::Holds(0x00CC));
    EXPECT_FALSE(PidBlock::Holds(0x00B9));
}

TEST(BlockRecord, DeviceModelTextReadsHighByteFirst) {
    DeviceInfoBlock info;
    const char name[] = "BLDC-48V20A";
    for (int i = 0; i < 8; ++i) {
        uint8_t hi = i * 2 < 11 ? name[i * 2] : 0;
        uint8_t lo = i * 2 + 1 < 11 ? name[i * 2 + 1] : 0;
        info.At(static_cast<uint16_t>(0x0002 + i)) = static_cast<uint16_t>(hi << 8 | lo);
    }
    info.At(0x0000) = 0x0102;
    EXPECT_EQ(DeviceModelText(info), "BLDC-48V20A");

    // Sixteen characters fit the registers; the text keeps fifteen.
    for (int i = 0; i < 8; ++i)
        info.At(static_cast<uint16_t>(0x0002 + i)) = 0x4142;
    EXPECT_EQ(DeviceModelText(info), "ABABABABABABABA");

    info.At(0x0002) = 0x4100;
    EXPECT_EQ(DeviceModelText(info), "A");
    info.At(0x0002) = 0x0041;
    EXPECT_EQ(DeviceModelText(info), "");
}

TEST(ByteSwaps, SwapBytes16AndSwapWords32) {
    Bytes b = Hex("00 01 86 A0 12 34 56");
    SwapBytes16(b.data(), b.size()); // three whole units, the odd byte stays
    EXPECT_EQ(b, Hex("01 00 A0 86 34 12 56"));
    SwapBytes16(b.data(), 0);
    EXPECT_EQ(b, Hex("01 00 A0 86 34 12 56"));

    Bytes w = Hex("11 22 33 44 55 66 77 88 99 AA");
    SwapWords32(w.data(), w.size()); // two whole units, the last half stays
    EXPECT_EQ(w, Hex("33 44 11 22 77 88 55 66 99 AA"));
    SwapWords32(w.data(), 3);
    EXPECT_EQ(w, Hex("33 44 11 22 77 88 55 66 99 AA"));

    // Wire registers into host order, then a 32-bit pair joined high word first.
    if constexpr (std::endian::native == std::endian::little) {
        Bytes wire = Hex("00 01 86 A0");
        PidBlock pid;
        std::memcpy(pid.m_reg.data(), wire.data(), wire.size());
        SwapBytes16(pid.m_reg.data(), wire.size());
        EXPECT_EQ(pid.Get32(0x00BA), 100000u);
    }
}

TEST(MotorDriverSettings, ParityChoiceBuildsTheSettingsString) {
    EXPECT_EQ(CMotorDriver::SettingsString(9600, 0), "9600,n,8,2");
    EXPECT_EQ(CMotorDriver::SettingsString(9600, 1), "9600,o,8,1");
    EXPECT_EQ(CMotorDriver::SettingsString(19200, 2), "19200,e,8,1");
    EXPECT_EQ(CMotorDriver::SettingsString(115200, 3), "115200,n,8,1");
    EXPECT_EQ(CMotorDriver::SettingsString(9600, 7), "9600,n,8,1");
    EXPECT_EQ(CMotorDriver::SettingsString(9600, -1), "9600,n,8,1");
    LineSettings s;
    for (int choice = -1; choice <= 4; ++choice)
        EXPECT_TRUE(ParseLineSettings(CMotorDriver::SettingsString(38400, choice), s)) << choice;
}
