#include "modbus/Crc16.h"
#include "modbus/RtuFrame.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Crc16, CheckValueWireOrderAndRunningBytes) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc16Value(reinterpret_cast<const uint8_t*>(digits), 9), 0x4B37);

    // Crc16 returns the byte sent first in its high byte.
    Bytes req = Hex("01 03 00 00 00 01");
    EXPECT_EQ(Crc16(req.data(), req.size()), 0x840A);
    EXPECT_EQ(Crc16Value(req.data(), req.size()), 0x0A84);
    uint8_t frame[16] = {};
    std::memcpy(frame, req.data(), req.size());
    ASSERT_EQ(AppendCrc(frame, req.size()), 8u);
    EXPECT_EQ(Bytes(frame, frame + 8), Hex("01 03 00 00 00 01 84 0A"));

    // The running bytes end in the frame's CRC and start with the first byte's.
    Bytes body = Hex("01 10 00 50 00 04 08 00 00 00 00 13 88 13 88");
    Bytes lo(body.size()), hi(body.size());
    EXPECT_EQ(Crc16(body.data(), body.size(), lo.data(), hi.data()), 0xFF42);
    EXPECT_EQ(lo.back(), 0xFF);
    EXPECT_EQ(hi.back(), 0x42);
    EXPECT_EQ(Crc16(body.data(), 1), (lo[0] << 8) | hi[0]);

    // The table agrees with the bitwise form over every byte value and length.
    Bytes all(254);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint8_t>(i * 7 + 3);
    for (size_t len = 0; len <= all.size(); ++len) {
        Bytes expect = WithCrc(Bytes(all.begin(), all.begin() + static_cast<long>(len)));
        uint16_t crc = Crc16(all.data(), len);
        ASSERT_EQ(crc, expect[len] << 8 | expect[len + 1]) << len;
    }
}

TEST(RtuFrame, RequestBuildersGiveTheExampleFrames) {
    uint8_t out[kRtuMaxFrame] = {};
    auto built = [&](size_t n) { return Bytes(out, out + n); };
    EXPECT_EQ(built(BuildReadRequest(out, 1, 0x0050, 4)), Hex("01 03 00 50 00 04 44 18"));
    EXPECT_EQ(built(BuildWriteSingleRequest(out, 1, 0x0040, 1)), Hex("01 06 00 40 00 01 49 DE"));
    const uint16_t ramp[4] = {0, 0, 5000, 5000};
    EXPECT_EQ(built(BuildWriteMultipleRequest(out, 1, 0x0050, ramp, 4)),
              Hex("01 10 00 50 00 04 08 00 00 00 00 13 88 13 88 FF 42"));
    EXPECT_EQ(built(BuildReadDeviceIdRequest(out, 1, 1, 0)), Hex("01 2B 0E 01 00 70 77"));
    // Addresses and slaves travel unchanged in every byte position.
    EXPECT_EQ(built(BuildReadRequest(out, 0xF7, 0xABCD, 0x1234)),
              WithCrc(Hex("F7 03 AB CD 12 34")));

    // No register is a 9-byte frame; the 31 registers that fill one go to
    // libmodbus in the peer test.
    EXPECT_EQ(built(BuildWriteMultipleRequest(out, 1, 0x0060, ramp, 0)),
              WithCrc(Hex("01 10 00 60 00 00 00")));
}

TEST(RtuFrame, CheckReplyWantsAddressLengthAndCrc) {
    const struct {
        uint32_t slave;
        Bytes frame;
        bool ok;
    } cases[] = {
        {1, Hex("01 83 02 C0 F1"), true},
        {0x101, Hex("01 83 02 C0 F1"), true}, // only the low byte of the slave counts
        {2, Hex("01 83 02 C0 F1"), false},
        {1, Hex("01 83 02 C0 F0"), false},
        {1, WithCrc(Hex("01")), false}, // under four bytes is never a reply
        {1, {}, false},
        {1, WithCrc(Hex("01 2B")), true},
        {1, Hex("01 83 02 C0 F1 55"), false}, // bytes behind a whole frame
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckReply(c.slave, c.frame.data(), static_cast<uint32_t>(c.frame.size())), c.ok)
            << testing::PrintToString(c.frame);
}
