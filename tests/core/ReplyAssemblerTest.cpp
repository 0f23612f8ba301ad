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

TEST(ReplyAnswers, FunctionAndShapeOfTheRequest) {
    auto answers = [](const Bytes& req, const Bytes& rep) {
        return ReplyAnswers(req.data(), req.size(), rep.data(), rep.size());
    };
    const Bytes read4 = Hex("01 03 00 50 00 04 44 18");
    EXPECT_TRUE(answers(read4, ReadReply(1, {1, 2, 3, 4})));
    EXPECT_FALSE(answers(read4, ReadReply(1, {1, 2})));
    EXPECT_TRUE(answers(read4, Hex("01 83 02 C0 F1")));
    EXPECT_FALSE(answers(read4, WithCrc(Hex("01 84 02"))));
    EXPECT_FALSE(answers(read4, Hex("01 06 00 40 00 01 49 DE")));

    const Bytes write = Hex("01 06 00 40 00 01 49 DE");
    EXPECT_TRUE(answers(write, write));
    EXPECT_FALSE(answers(write, WithCrc(Hex("01 06 00 40 00 02"))));
    EXPECT_FALSE(answers(write, WithCrc(Hex("01 06 00 41 00 01"))));

    const Bytes multi = Hex("01 10 00 50 00 04 08 00 00 00 00 13 88 13 88 FF 42");
    EXPECT_TRUE(answers(multi, WithCrc(Hex("01 10 00 50 00 04"))));
    EXPECT_FALSE(answers(multi, WithCrc(Hex("01 10 00 50 00 03"))));

    const Bytes devId = Hex("01 2B 0E 01 00 70 77");
    EXPECT_TRUE(answers(devId, WithCrc(Hex("01 2B 0E 01 83 00 00 00"))));
    EXPECT_FALSE(answers(devId, WithCrc(Hex("01 2B 0E 02 83 00 00 00"))));
}

TEST(ReplyAssembler, LateAnswerToATimedOutRequestIsDropped) {
    const Bytes stale = Hex("01 03 00 50 00 04 44 18");
    const Bytes current = WithCrc(Hex("01 03 00 60 00 02"));
    const Bytes late = ReadReply(1, {0, 0, 5000, 5000});
    const Bytes answer = ReadReply(1, {0x1111, 0x2222});
    const Bytes stream = Cat(late, answer);
    // Whatever pieces the two replies arrive in, only the answer is taken.
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        CReplyAssembler rx;
        rx.Reset(1);
        rx.SetRequests(current.data(), current.size(), stale.data(), stale.size());
        std::vector<Bytes> chunks;
        if (cut > 0)
            chunks.emplace_back(stream.begin(), stream.begin() + static_cast<long>(cut));
        if (cut < stream.size())
            chunks.emplace_back(stream.begin() + static_cast<long>(cut), stream.end());
        ASSERT_EQ(FeedChunks(rx, chunks), EState::Complete) << "cut " << cut;
        EXPECT_EQ(Bytes(rx.Data(), rx.Data() + rx.FrameLength()), answer) << "cut " << cut;
    }

    // Without a timed-out request the same frame is a reply like any other,
    // for the transaction to judge.
    CReplyAssembler rx;
    rx.Reset(1);
    rx.SetRequests(current.data(), current.size(), nullptr, 0);
    EXPECT_EQ(FeedChunks(rx, {late}), EState::Complete);
    EXPECT_EQ(rx.FrameLength(), late.size());

    // A late answer shaped exactly like the awaited one cannot be told apart.
    rx.Reset(1);
    rx.SetRequests(stale.data(), stale.size(), stale.data(), stale.size());
    EXPECT_EQ(FeedChunks(rx, {late}), EState::Complete);
}

TEST(ReplyAssembler, WholeBufferCrcWhenTheLengthRuleMisjudges) {
    // A write's echo sent back as function 3: eight bytes, a good CRC over all
    // of them, though a byte count of 0 promises five.
    const Bytes odd = WithCrc(Hex("01 03 00 50 00 00"));
    CReplyAssembler rx;
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {odd}), EState::Complete);
    EXPECT_EQ(rx.FrameLength(), odd.size());
}
