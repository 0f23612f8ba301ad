#include "modbus/RtuFrame.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

using EState = CReplyAssembler::EState;

namespace {

// Feeds the chunks in order, judging after each one as the receive thread
// does when the line goes quiet; returns the verdict after the last one.
EState FeedChunks(CReplyAssembler& rx, const std::vector<Bytes>& chunks) {
    EState st = EState::NeedMore;
    for (const Bytes& c : chunks) {
        rx.Feed(c.data(), c.size());
        st = rx.Judge();
    }
    return st;
}

Bytes ReadReply(uint8_t slave, const std::vector<uint16_t>& regs) {
    Bytes b = {slave, 0x03, static_cast<uint8_t>(regs.size() * 2)};
    return WithCrc(Cat(b, Regs(regs)));
}

} // namespace

TEST(ReplyAssembler, ReadReplyIsWholeAtExactlyNPlusFive) {
    Bytes reply = ReadReply(1, {0x0000, 0x0000, 0x1388, 0x1388});
    ASSERT_EQ(reply.size(), 13u);
    CReplyAssembler rx;
    rx.Reset(1);
    rx.Feed(reply.data(), 12);
    EXPECT_EQ(rx.Judge(), EState::NeedMore);
    rx.Feed(reply.data() + 12, 1);
    EXPECT_EQ(rx.Judge(), EState::Complete);
    EXPECT_EQ(Bytes(rx.Data(), rx.Data() + rx.Length()), reply);
    EXPECT_EQ(rx.Slave(), 1);
}

TEST(ReplyAssembler, FixedLengthAndExceptionReplies) {
    CReplyAssembler rx;
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {Hex("01 83 02 C0 F1")}), EState::Complete);
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {Hex("01 83 02 C0")}), EState::NeedMore);

    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {Hex("01 06 00 40 00 01 49 DE")}), EState::Complete);
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {WithCrc(Hex("01 10 00 50 00 04"))}), EState::Complete);

    // Device identification has no length rule: a closing CRC decides.
    Bytes devId = WithCrc(Hex("01 2B 0E 01 01 00 00 01 00 03 41 42 43"));
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {devId}), EState::Complete);

    // An empty read reply is five bytes.
    rx.Reset(7);
    EXPECT_EQ(FeedChunks(rx, {WithCrc(Hex("07 03 00"))}), EState::Complete);
}

TEST(ReplyAssembler, ForeignAddressAndBadCrcNeverComplete) {
    Bytes reply = ReadReply(2, {0x1234});
    CReplyAssembler rx;
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {reply}), EState::NeedMore);
    EXPECT_EQ(rx.Judge(), EState::NeedMore);

    Bytes bad = ReadReply(1, {0x1234});
    bad.back() ^= 0x80;
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {bad}), EState::NeedMore);

    Bytes badExc = Hex("01 83 02 C0 F0");
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {badExc}), EState::NeedMore);
}

TEST(ReplyAssembler, SplitAtEveryOffsetIsStillAssembled) {
    const std::vector<Bytes> replies = {
        ReadReply(1, {0x0001, 0x86A0, 0x3F80, 0x0000, 0xFFFF}),
        Hex("01 06 00 40 00 01 49 DE"),
        WithCrc(Hex("01 10 00 50 00 04")),
        Hex("01 83 02 C0 F1"),
        WithCrc(Hex("01 2B 0E 01 01 00 00 02 00 03 41 42 43 01 02 58 59")),
    };
    for (const Bytes& reply : replies) {
        for (size_t cut = 1; cut < reply.size(); ++cut) {
            CReplyAssembler rx;
            rx.Reset(1);
            Bytes head(reply.begin(), reply.begin() + static_cast<long>(cut));
            Bytes tail(reply.begin() + static_cast<long>(cut), reply.end());
            rx.Feed(head.data(), head.size());
            EState first = rx.Judge();
            // Only a head that is itself a CRC-closed identification frame may pass.
            if (reply[1] != 0x2B || !CheckReply(1, head.data(), static_cast<uint32_t>(cut))) {
                EXPECT_EQ(first, EState::NeedMore) << ToHex(reply) << " cut " << cut;
            }
            if (first == EState::Complete)
                continue;
            rx.Feed(tail.data(), tail.size());
            ASSERT_EQ(rx.Judge(), EState::Complete) << ToHex(reply) << " cut " << cut;
            EXPECT_EQ(Bytes(rx.Data(), rx.Data() + rx.Length()), reply);
        }
        // One byte at a time, judged after each.
        CReplyAssembler rx;
        rx.Reset(1);
        std::vector<Bytes> singles;
        for (uint8_t b : reply)
            singles.push_back({b});
        EXPECT_EQ(FeedChunks(rx, singles), EState::Complete) << ToHex(reply);
    }
}

TEST(ReplyAssembler, ResetForgetsEarlierBytes) {
    CReplyAssembler rx;
    rx.Reset(1);
    Bytes junk = Hex("55 AA 01 03");
    rx.Feed(junk.data(), junk.size());
    EXPECT_EQ(rx.Judge(), EState::NeedMore);
    rx.Reset(1);
    EXPECT_EQ(rx.Length(), 0u);
    EXPECT_EQ(FeedChunks(rx, {Hex("01 06 00 40 00 01 49 DE")}), EState::Complete);
}

TEST(ReplyAssembler, NeverHoldsMoreThan256Bytes) {
    Bytes flood(1000);
    for (size_t i = 0; i < flood.size(); ++i)
        flood[i] = static_cast<uint8_t>(i);
    flood[0] = 1;
    flood[1] = 0x03;
    flood[2] = 0xFF; // claims 255 data bytes: 260 in all, beyond the buffer
    for (size_t chunk : {1000u, 300u, 257u, 256u, 255u, 100u, 7u, 1u}) {
        CReplyAssembler rx;
        rx.Reset(1);
        for (size_t pos = 0; pos < flood.size(); pos += chunk) {
            size_t n = std::min(chunk, flood.size() - pos);
            rx.Feed(flood.data() + pos, n);
            ASSERT_LE(rx.Length(), kRtuMaxFrame);
            EXPECT_EQ(rx.Judge(), EState::NeedMore);
        }
        EXPECT_EQ(rx.Length(), kRtuMaxFrame);
        EXPECT_EQ(Bytes(rx.Data(), rx.Data() + 256), Bytes(flood.begin(), flood.begin() + 256));
    }

    // The largest read reply that fits (125 registers, 255 bytes) is accepted.
    std::vector<uint16_t> regs(125);
    for (size_t i = 0; i < regs.size(); ++i)
        regs[i] = static_cast<uint16_t>(i * 0x0101);
    Bytes big = ReadReply(1, regs);
    ASSERT_EQ(big.size(), 255u);
    CReplyAssembler rx;
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(
                  rx, {Bytes(big.begin(), big.begin() + 100), Bytes(big.begin() + 100, big.end())}),
              EState::Complete);
}

TEST(ReplyAssembler, BytesBehindAWholeReplyDoNotSpoilIt) {
    Bytes reply = Hex("01 06 00 40 00 01 49 DE");
    CReplyAssembler rx;
    rx.Reset(1);
    EXPECT_EQ(rx.FrameLength(), 0u);
    // Noise in the same chunk as the reply.
    EXPECT_EQ(FeedChunks(rx, {Cat(reply, Hex("00 FF 13"))}), EState::Complete);
    EXPECT_EQ(rx.FrameLength(), reply.size());
    EXPECT_EQ(rx.Length(), reply.size() + 3);
    EXPECT_EQ(Bytes(rx.Data(), rx.Data() + rx.FrameLength()), reply);

    // Noise after the reply was judged: the frame itself stays as it was.
    Bytes read = ReadReply(1, {0xBEEF});
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {read}), EState::Complete);
    Bytes noise = Hex("01 03 02");
    rx.Feed(noise.data(), noise.size());
    EXPECT_EQ(Bytes(rx.Data(), rx.Data() + read.size()), read);

    // A foreign frame in front of ours is never taken for ours.
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {Cat(ReadReply(2, {0x1111}), read)}), EState::NeedMore);
}
