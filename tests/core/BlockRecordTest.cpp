#include "driver/Blocks.h"
#include "driver/MotorDriver.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

TEST(BlockRecord, ThirtyTwoBitFieldsTravelHighWordFirst) {
    PidBlock pid;
    pid.Set32(0x00BA, 100000);
    pid.SetFloat(0x00BC, 1.5f); // 0x3FC00000
    pid.Set32(0x00CA, 0x12345678);
    Bytes wire = Regs(std::vector<uint16_t>(pid.m_reg.begin(), pid.m_reg.end()));
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 8), Hex("00 01 86 A0 3F C0 00 00"));
    EXPECT_EQ(Bytes(wire.end() - 4, wire.end()), Hex("12 34 56 78"));
    EXPECT_EQ(pid.Get32(0x00BA), 100000u);
    EXPECT_FLOAT_EQ(pid.GetFloat(0x00BC), 1.5f);

    ReciprocateBlock rec;
    rec.Set32(0x00A2, 0xFFFFFFFE); // -2 as a signed count
    EXPECT_EQ(static_cast<int32_t>(rec.Get32(0x00A2)), -2);
    EXPECT_EQ(rec.At(0x00A2), 0xFFFF);
    EXPECT_EQ(rec.At(0x00A3), 0xFFFE);
    EXPECT_EQ(rec.At(0x00A1), 0); // neighbours untouched
    EXPECT_EQ(rec.At(0x00A4), 0);
}

// Sixteen characters cut to fifteen is the main window's test.
TEST(BlockRecord, DeviceModelTextReadsHighByteFirstAndEndsAtAZeroByte) {
    DeviceInfoBlock info;
    const char name[16] = "BLDC-48V20A";
    for (int i = 0; i < 8; ++i)
        info.At(static_cast<uint16_t>(0x0002 + i)) =
            static_cast<uint16_t>(uint8_t(name[i * 2]) << 8 | uint8_t(name[i * 2 + 1]));
    EXPECT_EQ(DeviceModelText(info), "BLDC-48V20A");
    info.At(0x0002) = 0x4100;
    EXPECT_EQ(DeviceModelText(info), "A");
    info.At(0x0002) = 0x0041;
    EXPECT_EQ(DeviceModelText(info), "");
}

TEST(ByteSwaps, WholeUnitsOnly) {
    Bytes b = Hex("00 01 86 A0 12 34 56");
    SwapBytes16(b.data(), b.size()); // three whole units, the odd byte stays
    EXPECT_EQ(b, Hex("01 00 A0 86 34 12 56"));
    Bytes w = Hex("11 22 33 44 55 66 77 88 99 AA");
    SwapWords32(w.data(), w.size()); // two whole units, the last half stays
    EXPECT_EQ(w, Hex("33 44 11 22 77 88 55 66 99 AA"));
    SwapWords32(w.data(), 3);
    EXPECT_EQ(w, Hex("33 44 11 22 77 88 55 66 99 AA"));
}

TEST(MotorDriverSettings, AnUnknownParityChoiceIsNoneWithOneStopBit) {
    EXPECT_EQ(CMotorDriver::SettingsString(9600, 7), "9600,n,8,1");
}
