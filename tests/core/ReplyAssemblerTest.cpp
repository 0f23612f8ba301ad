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

Bytes Frame(const CReplyAssembler& rx) {
    return Bytes(rx.Data(), rx.Data() + rx.FrameLength());
}

} // namespace

TEST(ReplyAssembler, CompleteOnlyAtTheExactLengthWithOurAddressAndCrc) {
    const Bytes read = ReadReply(1, {0x0001, 0x86A0, 0x3F80, 0x0000, 0xFFFF});
    Bytes badCrc = read;
    badCrc.back() ^= 0x80;
    const struct {
        Bytes frame;
        bool complete;
    } cases[] = {{read, true}, // N + 5 bytes
                 {Bytes(read.begin(), read.end() - 1), false},
                 {Hex("01 83 02 C0 F1"), true},
                 {Hex("01 06 00 40 00 01 49 DE"), true},
                 // Device identification has no length rule: a closing CRC decides.
                 {WithCrc(Hex("01 2B 0E 01 01 00 00 02 00 03 41 42 43 01 02 58 59")), true},
                 {WithCrc(Hex("01 03 00")), true}, // an empty read reply
                 // A write's echo sent back as function 3: a good CRC over all eight
                 // bytes, though a byte count of 0 promises five.
                 {WithCrc(Hex("01 03 00 50 00 00")), true},
                 {ReadReply(2, {0x1234}), false},
                 {badCrc, false},
                 // A foreign frame in front of ours is never taken for ours.
                 {Cat(ReadReply(2, {0x1111}), ReadReply(1, {0xBEEF})), false}};
    for (const auto& [frame, complete] : cases) {
        SCOPED_TRACE(testing::PrintToString(frame));
        CReplyAssembler rx;
        rx.Reset(1);
        EXPECT_EQ(FeedChunks(rx, {frame}), complete ? EState::Complete : EState::NeedMore);
        EXPECT_EQ(rx.Judge(), complete ? EState::Complete : EState::NeedMore);
        if (!complete)
            continue;
        EXPECT_EQ(Frame(rx), frame);
        EXPECT_EQ(rx.Slave(), 1);

        // Split at every offset, it is still assembled.
        for (size_t cut = 1; cut < frame.size(); ++cut) {
            SCOPED_TRACE("cut " + std::to_string(cut));
            rx.Reset(1);
            rx.Feed(frame.data(), cut);
            EState first = rx.Judge();
            // Only a head that is itself a CRC-closed identification frame may pass.
            if (frame[1] != 0x2B || !CheckReply(1, frame.data(), static_cast<uint32_t>(cut))) {
                EXPECT_EQ(first, EState::NeedMore);
            }
            if (first == EState::Complete)
                continue;
            rx.Feed(frame.data() + cut, frame.size() - cut);
            ASSERT_EQ(rx.Judge(), EState::Complete);
            EXPECT_EQ(Frame(rx), frame);
        }
    }
}

TEST(ReplyAssembler, NeverHoldsMoreThan256Bytes) {
    Bytes flood(1000);
    for (size_t i = 0; i < flood.size(); ++i)
        flood[i] = static_cast<uint8_t>(i);
    flood[0] = 1;
    flood[1] = 0x03;
    flood[2] = 0xFF; // claims 255 data bytes: 260 in all, beyond the buffer
    for (size_t chunk : {1000u, 257u, 256u, 255u, 7u, 1u}) {
        CReplyAssembler rx;
        rx.Reset(1);
        for (size_t pos = 0; pos < flood.size(); pos += chunk) {
            rx.Feed(flood.data() + pos, std::min(chunk, flood.size() - pos));
            ASSERT_LE(rx.Length(), kRtuMaxFrame);
            EXPECT_EQ(rx.Judge(), EState::NeedMore);
        }
        EXPECT_EQ(Bytes(rx.Data(), rx.Data() + rx.Length()),
                  Bytes(flood.begin(), flood.begin() + kRtuMaxFrame));
    }
}

TEST(ReplyAssembler, BytesAroundAWholeReplyDoNotSpoilIt) {
    const Bytes reply = Hex("01 06 00 40 00 01 49 DE");
    CReplyAssembler rx;
    rx.Reset(1);
    rx.Feed(nullptr, 0); // an empty chunk
    EXPECT_EQ(rx.Length(), 0u);

    // Noise in the same chunk as the reply.
    EXPECT_EQ(FeedChunks(rx, {Cat(reply, Hex("00 FF 13"))}), EState::Complete);
    EXPECT_EQ(rx.Length(), reply.size() + 3);
    EXPECT_EQ(Frame(rx), reply);

    // Noise after the reply was judged: the frame itself stays as it was.
    Bytes noise = Hex("01 03 02");
    rx.Feed(noise.data(), noise.size());
    EXPECT_EQ(Frame(rx), reply);

    // A device identification reply is told by its objects, noise or not;
    // one whose objects claim more than it carries still passes on its CRC.
    const Bytes ident = WithCrc(Hex("01 2B 0E 01 01 00 00 02 00 03 41 42 43 01 02 58 59"));
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {Cat(ident, Hex("A5 5A A5"))}), EState::Complete);
    EXPECT_EQ(Frame(rx), ident);
    const Bytes overclaiming = WithCrc(Hex("01 2B 0E 01 01 00 00 01 00 09 41 42"));
    rx.Reset(1);
    EXPECT_EQ(FeedChunks(rx, {overclaiming}), EState::Complete);
    EXPECT_EQ(Frame(rx), overclaiming);
}

TEST(ReplyAnswers, FunctionAndShapeOfTheRequest) {
    const Bytes read4 = Hex("01 03 00 50 00 04 44 18");
    const Bytes write = Hex("01 06 00 40 00 01 49 DE");
    const Bytes multi = Hex("01 10 00 50 00 04 08 00 00 00 00 13 88 13 88 FF 42");
    const Bytes devId = Hex("01 2B 0E 01 00 70 77");
    const struct {
        const Bytes& request;
        Bytes reply;
        bool answers;
    } cases[] = {
        {read4, ReadReply(1, {1, 2, 3, 4}), true},
        {read4, ReadReply(1, {1, 2}), false},
        {read4, Hex("01 83 02 C0 F1"), true},
        {read4, WithCrc(Hex("01 84 02")), false},
        {read4, write, false},
        {write, write, true},
        {write, WithCrc(Hex("01 06 00 40 00 02")), false},
        {write, WithCrc(Hex("01 06 00 41 00 01")), false},
        {multi, WithCrc(Hex("01 10 00 50 00 04")), true},
        {multi, WithCrc(Hex("01 10 00 50 00 03")), false},
        {devId, WithCrc(Hex("01 2B 0E 01 83 00 00 00")), true},
        {devId, WithCrc(Hex("01 2B 0E 02 83 00 00 00")), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyAnswers(c.request.data(), c.request.size(), c.reply.data(), c.reply.size()),
                  c.answers)
            << testing::PrintToString(c.request) << " <- " << testing::PrintToString(c.reply);
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
        EXPECT_EQ(Frame(rx), answer) << "cut " << cut;
    }

    // Without a timed-out request the same frame is a reply like any other,
    // for the transaction to judge; nor can one shaped exactly like the
    // awaited answer be told apart.
    const std::pair<const Bytes*, const Bytes*> setups[] = {{&current, nullptr}, {&stale, &stale}};
    for (const auto& [awaited, prev] : setups) {
        CReplyAssembler rx;
        rx.Reset(1);
        rx.SetRequests(awaited->data(), awaited->size(), prev ? prev->data() : nullptr,
                       prev ? prev->size() : 0);
        EXPECT_EQ(FeedChunks(rx, {late}), EState::Complete);
        EXPECT_EQ(Frame(rx), late);
    }
}
