#include "modbus/Crc16.h"
#include "modbus/RtuFrame.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

Bytes Built(size_t (*build)(uint8_t*, uint8_t, uint16_t, uint16_t), uint8_t slave, uint16_t a,
            uint16_t b) {
    uint8_t out[kRtuMaxFrame] = {};
    size_t n = build(out, slave, a, b);
    return Bytes(out, out + n);
}

} // namespace

TEST(Crc16, CheckValueAndWireOrder) {
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
}

TEST(Crc16, RunningBytesEndInTheFrameCrc) {
    Bytes body = Hex("01 10 00 50 00 04 08 00 00 00 00 13 88 13 88");
    std::vector<uint8_t> lo(body.size()), hi(body.size());
    uint16_t crc = Crc16(body.data(), body.size(), lo.data(), hi.data());
    EXPECT_EQ(lo.back(), 0xFF);
    EXPECT_EQ(hi.back(), 0x42);
    EXPECT_EQ(crc, 0xFF42);
    // The first running value is the CRC of the first byte alone.
    EXPECT_EQ(Crc16(body.data(), 1), (lo[0] << 8) | hi[0]);
}

TEST(Crc16, TableMatchesBitwiseFormOnEveryByteValue) {
    Bytes all(254);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint8_t>(i * 7 + 3);
    for (size_t len = 0; len <= all.size(); len += 1) {
        Bytes body(all.begin(), all.begin() + static_cast<long>(len));
        Bytes expect = WithCrc(body);
        uint16_t crc = Crc16(body.data(), body.size());
        ASSERT_EQ(crc >> 8, expect[len]) << len;
        ASSERT_EQ(crc & 0xFF, expect[len + 1]) << len;
    }
}

TEST(RtuFrame, RequestBuildersGiveTheExampleFrames) {
    EXPECT_EQ(Built(BuildReadRequest, 1, 0x0050, 4), Hex("01 03 00 50 00 04 44 18"));
    EXPECT_EQ(Built(BuildWriteSingleRequest, 1, 0x0040, 1), Hex("01 06 00 40 00 01 49 DE"));

    uint8_t out[kRtuMaxFrame] = {};
    const uint16_t ramp[4] = {0, 0, 5000, 5000};
    size_t n = BuildWriteMultipleRequest(out, 1, 0x0050, ramp, 4);
    EXPECT_EQ(Bytes(out, out + n), Hex("01 10 00 50 00 04 08 00 00 00 00 13 88 13 88 FF 42"));

    n = BuildReadDeviceIdRequest(out, 1, 1, 0);
    EXPECT_EQ(Bytes(out, out + n), Hex("01 2B 0E 01 00 70 77"));

    // Addresses and slaves travel unchanged in every byte position.
    EXPECT_EQ(Built(BuildReadRequest, 0xF7, 0xABCD, 0x1234), WithCrc(Hex("F7 03 AB CD 12 34")));
}

TEST(RtuFrame, WriteMultipleLengthsAtTheLimits) {
    uint8_t out[kRtuMaxFrame] = {};
    uint16_t values[kMaxWriteRegisters];
    for (int i = 0; i < kMaxWriteRegisters; ++i)
        values[i] = static_cast<uint16_t>(0x0100 * i + i);
    size_t n = BuildWriteMultipleRequest(out, 2, 0x0060, values, kMaxWriteRegisters);
    ASSERT_EQ(n, 71u);
    EXPECT_EQ(out[6], 62);
    EXPECT_EQ(out[7 + 2 * 30], 0x1E);
    EXPECT_EQ(out[8 + 2 * 30], 0x1E);
    EXPECT_TRUE(CheckReply(2, out, 71));

    n = BuildWriteMultipleRequest(out, 1, 0x0060, values, 0);
    EXPECT_EQ(Bytes(out, out + n), WithCrc(Hex("01 10 00 60 00 00 00")));
}

TEST(RtuFrame, CheckReplyWantsAddressAndCrc) {
    Bytes exc = Hex("01 83 02 C0 F1");
    EXPECT_TRUE(CheckReply(1, exc.data(), 5));
    // Only the low byte of the expected slave counts.
    EXPECT_TRUE(CheckReply(0x101, exc.data(), 5));
    EXPECT_FALSE(CheckReply(2, exc.data(), 5));

    Bytes bad = exc;
    bad[4] ^= 0x01;
    EXPECT_FALSE(CheckReply(1, bad.data(), 5));
    bad = exc;
    bad[2] = 0x03;
    EXPECT_FALSE(CheckReply(1, bad.data(), 5));

    // Shorter than four bytes is never a reply, even where a CRC would fit.
    Bytes tiny = WithCrc(Hex("01"));
    EXPECT_FALSE(CheckReply(1, tiny.data(), 3));
    EXPECT_FALSE(CheckReply(1, tiny.data(), 0));
    Bytes four = WithCrc(Hex("01 2B"));
    EXPECT_TRUE(CheckReply(1, four.data(), 4));

    // A whole frame with bytes behind it fails the trailing-CRC test.
    Bytes longer = Cat(exc, Hex("55"));
    EXPECT_FALSE(CheckReply(1, longer.data(), static_cast<uint32_t>(longer.size())));
}

TEST(RtuFrame, ExpectedReplyLengthFromTheFunctionCode) {
    Bytes one = Hex("01");
    EXPECT_EQ(ExpectedReplyLength(one.data(), 1), -1);
    EXPECT_EQ(ExpectedReplyLength(one.data(), 0), -1);
    Bytes read = Hex("01 03");
    EXPECT_EQ(ExpectedReplyLength(read.data(), 2), -1); // byte count not seen yet
    Bytes read8 = Hex("01 03 08");
    EXPECT_EQ(ExpectedReplyLength(read8.data(), 3), 13);
    Bytes readMax = Hex("01 03 FA");
    EXPECT_EQ(ExpectedReplyLength(readMax.data(), 3), 255);
    Bytes w6 = Hex("01 06");
    EXPECT_EQ(ExpectedReplyLength(w6.data(), 2), 8);
    Bytes w16 = Hex("01 10");
    EXPECT_EQ(ExpectedReplyLength(w16.data(), 2), 8);
    Bytes exc = Hex("01 83");
    EXPECT_EQ(ExpectedReplyLength(exc.data(), 2), 5);
    Bytes exc2 = Hex("01 AB");
    EXPECT_EQ(ExpectedReplyLength(exc2.data(), 2), 5);
    Bytes devId = Hex("01 2B 0E");
    EXPECT_EQ(ExpectedReplyLength(devId.data(), 3), 3);
}
