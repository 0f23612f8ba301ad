// The master and the driver on a line of our own making: line errors,
// byte-by-byte or paced delivery, failed writes and replies the virtual
// driver never gives, which a pseudo-terminal cannot produce. Needs no
// pseudo-terminal, so the Windows build runs it too.

#include "tests/master/FakeLine.h"
#include "driver/MotorDriver.h"
#include "modbus/ModbusRtu.h"

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;
const char* const kSettings = "9600,n,8,1";

// Registers 0x1234, 0x5678 for a read; writes are echoed.
Bytes Answer(const Bytes& req) {
    return req[1] == 0x03 ? WithCrc(Hex("01 03 04 12 34 56 78"))
                          : WithCrc(Bytes(req.begin(), req.begin() + 6));
}

} // namespace

TEST(MasterOnFakeLine, LineErrorsSlowBytesAndFailedWrites) {
    CFakeLine line(Answer);
    line.m_bGarbleEven = true;
    CModbusRtu m;
    m.AttachLine(&line);
    ASSERT_TRUE(m.OpenPortPath("fake", "9600,n,8,1"));
    uint8_t buf[4] = {};
    uint16_t cap = sizeof buf;
    auto read = [&] { return m.ReadRegisters(1, 0x0020, 2, buf, &cap); };

    // A line error discards the reply.
    m.SetTimeout(200);
    EXPECT_EQ(read(), kResultTimeout);
    m.SetTimeout(2000);
    ASSERT_EQ(read(), kResultOk);
    EXPECT_EQ(Bytes(buf, buf + 4), Hex("12 34 56 78"));

    // Read one byte at a time, a reply is still judged whole.
    line.m_bGarbleEven = false;
    line.m_nPerRead = 1;
    for (int i = 0; i < 20; ++i) {
        std::fill_n(buf, 4, 0);
        ASSERT_EQ(read(), kResultOk) << i;
        EXPECT_EQ(Bytes(buf, buf + 4), Hex("12 34 56 78"));
        uint16_t echo = 0;
        ASSERT_EQ(m.WriteRegister(1, 0x0040, 2, nullptr, &echo), kResultOk) << i;
        EXPECT_EQ(echo, 2);
    }

    // A failed write is a time-out, not a hang.
    line.m_bFailWrites = true;
    auto t0 = Clock::now();
    EXPECT_EQ(m.WriteRegister(1, 0x0040, 1), kResultTimeout);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
    line.m_bFailWrites = false;
    m.ClosePort();
}

TEST(MasterOnFakeLine, APacedReplyCostsAFewWakeUpsNotOnePerByte) {
    // 28 registers at 9600 baud, 8N1: 61 bytes, 1.04 ms each.
    Bytes data;
    for (int i = 0; i < 28; ++i)
        data.insert(data.end(), {0x12, static_cast<uint8_t>(i)});
    const Bytes reply = WithCrc(Cat(Hex("01 03 38"), data));
    const auto charTime = std::chrono::nanoseconds(10 * 1000000000LL / 9600);
    for (const Bytes& r : {reply, WithCrc(Hex("01 83 02"))}) {
        CFakeLine line([&](const Bytes&) { return r; }, charTime);
        CModbusRtu m;
        m.AttachLine(&line);
        ASSERT_TRUE(m.OpenPortPath("paced", "9600,n,8,1"));
        m.SetTimeout(3000);
        uint8_t buf[56] = {};
        uint16_t cap = sizeof buf;
        const auto t0 = Clock::now();
        const ResultCode rc = m.ReadRegisters(1, 0x0020, 28, buf, &cap);
        const auto took = Clock::now() - t0;
        m.ClosePort();
        if (r.size() == 5) {
            EXPECT_EQ(rc, kResultIllegalAddress);
        } else {
            ASSERT_EQ(rc, kResultOk);
            EXPECT_EQ(Bytes(buf, buf + cap), data);
        }
        EXPECT_GE(took, charTime * static_cast<int>(r.size()));
        // A sleep through the body, and the few bytes around it waited for
        // one by one: a handful of reads where waking per byte would take one
        // per byte.
        EXPECT_LE(line.m_nReads, 16) << r.size();
        EXPECT_LE(line.m_nWaits, 14) << r.size(); // the receive thread's idle waits too
    }
}

// Replies the virtual driver never gives, from a scripted line.
TEST(MasterOverlongReplies, MoreDataThanAskedNeverOverflows) {
    CFakeLine line([](const Bytes& req) -> Bytes {
        if (req[1] == 0x03) // 20 data bytes, whatever was asked
            return WithCrc(Cat(Hex("01 03 14"), Bytes(20, 0x77)));
        if (req[1] == 0x2B && req[4] == 0) // one object of 240 bytes: a 252-byte reply
            return WithCrc(Cat(Hex("01 2B 0E 01 83 00 00 01 00 F0"), Bytes(240, 'x')));
        if (req[1] == 0x2B) // 300 bytes with a correct CRC: more than a frame holds
            return WithCrc(Cat(Hex("01 2B 0E 01 83 00 00 02 00 F0"), Bytes(288, 'y')));
        if (req[1] == 0x10) // exception code 0 is no success
            return WithCrc(Hex("01 90 00"));
        // 300 bytes claiming to be a read reply: beyond any frame.
        return Cat(Hex("01 03 FF"), Bytes(297, 0x55));
    });
    CModbusRtu m;
    m.AttachLine(&line);
    ASSERT_TRUE(m.OpenPortPath("scripted", kSettings));
    m.SetTimeout(2000);

    uint8_t id[300];
    std::fill(std::begin(id), std::end(id), 0xEE);
    uint16_t cap = 4;
    ResultCode rc = m.ReadRegisters(1, 0x0050, 2, id, &cap);
    EXPECT_TRUE(rc == kResultOk || rc == kResultBadReply) << rc;
    EXPECT_LE(cap, 4);
    EXPECT_EQ(Bytes(id + 4, id + 8), Hex("EE EE EE EE"));

    std::fill(std::begin(id), std::end(id), 0xEE);
    cap = 16;
    ASSERT_EQ(m.ReadDeviceId(1, 1, 0, id, &cap), kResultOk);
    EXPECT_EQ(cap, 16);
    EXPECT_EQ(Bytes(id, id + 6), Hex("00 00 01 00 F0 78"));
    EXPECT_EQ(id[16], 0xEE);
    cap = sizeof id;
    ASSERT_EQ(m.ReadDeviceId(1, 1, 0, id, &cap), kResultOk);
    EXPECT_EQ(cap, 245);
    EXPECT_EQ(id[245], 0xEE);

    std::fill(std::begin(id), std::end(id), 0xEE);
    cap = sizeof id;
    m.SetTimeout(300);
    EXPECT_EQ(m.ReadDeviceId(1, 1, 1, id, &cap), kResultTimeout);
    EXPECT_EQ(cap, sizeof id);
    EXPECT_EQ(id[0], 0xEE);
    EXPECT_LE(m.GetRxFrame().size(), kRtuMaxFrame);
    EXPECT_EQ(m.WriteRegister(1, 0x0050, 1), kResultTimeout);
    EXPECT_LE(m.GetRxFrame().size(), kRtuMaxFrame);
    const uint16_t one[1] = {7};
    EXPECT_NE(m.WriteRegisters(1, 0x0050, one, 1), kResultOk);
}

TEST(DriverOnScriptedLine, EndlessAndHalfAnsweredReplies) {
    CFakeLine line([](const Bytes& req) -> Bytes {
        if (req[1] == 0x2B) // every reply promises more, each with a new next id
            return WithCrc(Cat(Hex("01 2B 0E 01 83 FF"),
                               Bytes{static_cast<uint8_t>(req[4] + 1), 1, 0x80, 1, 'z'}));
        if (req[1] == 0x10) // acknowledge the SDO window write...
            return WithCrc(Bytes(req.begin(), req.begin() + 6));
        return Bytes{}; // ...never answer its read
    });
    CMotorDriver drv;
    drv.AttachLine(&line);
    ASSERT_TRUE(drv.OpenPortPath("scripted", kSettings));

    std::string text = "old";
    const size_t before = line.Requests().size();
    EXPECT_EQ(drv.ReadDeviceIdText(1, text), kResultBadReply);
    EXPECT_EQ(text, "old");
    EXPECT_LE(line.Requests().size() - before, 255u);

    drv.SetTimeout(500);
    SdoReply r;
    r.data = 0xCAFE;
    const size_t sent = line.Requests().size();
    EXPECT_EQ(drv.SdoAccess(1, kSdoUpload, 0x1005, 0, 0, r), kResultTimeout);
    auto reqs = line.Requests();
    ASSERT_EQ(reqs.size(), sent + 2);
    EXPECT_EQ(reqs[sent][1], 0x10);
    EXPECT_EQ(reqs[sent + 1], WithCrc(Cat(Hex("01 03"), Regs({0x0200, 6}))));
    EXPECT_EQ(r.data, 0xCAFEu);
}
