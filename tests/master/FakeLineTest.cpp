// The master on a line of our own making: line errors, byte-by-byte or paced
// delivery and failed writes, which a pseudo-terminal cannot produce.

#include "tests/master/FakeLine.h"
#include "modbus/ModbusRtu.h"

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;

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

    // Swapping lines is refused while the port is open.
    CFakeLine other(Answer);
    m.AttachLine(&other);
    EXPECT_EQ(read(), kResultOk);
    EXPECT_EQ(other.m_nWrites, 0);
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
