// Every transaction and result code of the master, end to end over a
// pseudo-terminal against the virtual driver.

#include "serial/PortMap.h"
#include "tests/master/MasterFixture.h"
#include "tests/master/ScriptedPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

TEST_F(MasterTest, EachTransactionSendsItsFrameAndTakesTheReply) {
    // Function 3.
    EXPECT_EQ(Read(0x0050, 4), Regs({0, 0, 5000, 5000}));
    EXPECT_EQ(m_master.GetTxFrame(), Hex("01 03 00 50 00 04 44 18"));
    EXPECT_EQ(m_master.GetRxFrame(), WithCrc(Hex("01 03 08 00 00 00 00 13 88 13 88")));

    // Function 6 with its echo.
    uint16_t echoAddr = 0, echoValue = 0;
    ASSERT_EQ(m_master.WriteRegister(1, 0x0051, 0x0102, &echoAddr, &echoValue), kResultOk);
    EXPECT_EQ(echoAddr, 0x0051);
    EXPECT_EQ(echoValue, 0x0102);
    EXPECT_EQ(m_sim.Driver().GetRegister(0x0051), 0x0102);
    EXPECT_EQ(m_master.GetTxFrame(), WithCrc(Hex("01 06 00 51 01 02")));

    // Function 16 with its echo.
    const uint16_t ramp[4] = {0, 0, 5000, 5000};
    uint16_t echoStart = 0, echoCount = 0;
    ASSERT_EQ(m_master.WriteRegisters(1, 0x0050, ramp, 4, &echoStart, &echoCount), kResultOk);
    EXPECT_EQ(echoStart, 0x0050);
    EXPECT_EQ(echoCount, 4);
    EXPECT_EQ(m_master.GetTxFrame(), Hex("01 10 00 50 00 04 08 00 00 00 00 13 88 13 88 FF 42"));
    EXPECT_EQ(m_sim.Driver().GetRegisters(0x0050, 4), (std::vector<uint16_t>{0, 0, 5000, 5000}));

    // Function 43 / 14: the copy starts at the more-follows byte and stops before the CRC.
    uint8_t id[255];
    uint16_t cap = sizeof id;
    ASSERT_EQ(m_master.ReadDeviceId(1, 1, 0, id, &cap), kResultOk);
    EXPECT_EQ(m_master.GetTxFrame(), Hex("01 2B 0E 01 00 70 77"));
    Bytes rx = m_master.GetRxFrame();
    ASSERT_EQ(cap, rx.size() - 7);
    EXPECT_EQ(Bytes(id, id + cap), Bytes(rx.begin() + 5, rx.end() - 2));
    EXPECT_EQ(id[0], 0xFF); // the basic stream takes two replies
    EXPECT_EQ(id[1], 0x02);
    EXPECT_EQ(id[3], 0x00); // first object: the company name
}

TEST_F(MasterTest, InjectedFaultsGiveTheirResultCodes) {
    CSimServer& srv = m_sim.Server();
    const Bytes good = Regs({0, 0, 5000, 5000});
    ResultCode rc = -1;
    // A short time-out only where one is provoked; a loaded machine must not
    // turn the good exchanges into time-outs.
    auto readWithFault = [&](EFault kind) {
        m_master.SetTimeout(200);
        srv.InjectFault(kind);
        Bytes data = Read(0x0050, 4, &rc);
        m_master.SetTimeout(2000);
        return data;
    };

    EXPECT_EQ(readWithFault(EFault::Silent), Bytes{});
    EXPECT_EQ(rc, kResultTimeout);
    EXPECT_EQ(Read(0x0050, 4), good);

    readWithFault(EFault::BadCrc);
    EXPECT_EQ(rc, kResultTimeout);
    EXPECT_EQ(Read(0x0050, 4), good);

    // The traffic display still shows what came: the other slave's reply.
    readWithFault(EFault::ForeignAddress);
    EXPECT_EQ(rc, kResultTimeout);
    EXPECT_TRUE(WaitFor([&] { return m_master.GetRxFrame().size() == 13; }, 3000));
    EXPECT_EQ(m_master.GetRxFrame()[0], 2);
    EXPECT_EQ(Read(0x0050, 4), good);

    srv.InjectFault(EFault::Exception, 2);
    Read(0x0050, 4, &rc);
    EXPECT_EQ(rc, kResultIllegalAddress);
    EXPECT_EQ(ResultText(rc), "非法寄存器地址");
    EXPECT_EQ(m_master.GetRxFrame(), WithCrc(Hex("01 83 02")));
    srv.InjectFault(EFault::Exception, 96);
    EXPECT_EQ(m_master.WriteRegister(1, 0x0050, 0), kResultNotLearned);
    srv.InjectFault(EFault::Exception, 64);
    const uint16_t one[1] = {0};
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0050, one, 1), kResultNotAllowed);
    srv.InjectFault(EFault::Exception, 11);
    uint8_t id[64];
    uint16_t cap = sizeof id;
    EXPECT_EQ(m_master.ReadDeviceId(1, 1, 0, id, &cap), 11);
    EXPECT_EQ(cap, sizeof id); // nothing copied

    srv.InjectFault(EFault::Split, 60);
    EXPECT_EQ(Read(0x0050, 4, &rc), good);
    EXPECT_EQ(rc, kResultOk);

    srv.InjectFault(EFault::Trailing, 5);
    EXPECT_EQ(Read(0x0050, 4, &rc), good);
    EXPECT_EQ(rc, kResultOk);
    srv.InjectFault(EFault::Trailing, 3);
    uint16_t echoAddr = 0, echoValue = 0;
    EXPECT_EQ(m_master.WriteRegister(1, 0x0052, 4000, &echoAddr, &echoValue), kResultOk);
    EXPECT_EQ(echoValue, 4000);
    // The garbage is gone by the next exchange.
    EXPECT_EQ(Read(0x0050, 4), Regs({0, 0, 4000, 5000}));
}

TEST_F(MasterTest, ClosedPortRefusesWithoutTouchingTheRequestBuffer) {
    ASSERT_EQ(Read(0x0050, 1), Regs({0}));
    const Bytes lastTx = m_master.GetTxFrame();
    const size_t requests = m_sim.Server().RequestCount();
    m_master.ClosePort();
    EXPECT_FALSE(m_master.IsOpen());

    uint8_t buf[8];
    uint16_t cap = sizeof buf;
    const uint16_t values[2] = {1, 2};
    EXPECT_EQ(m_master.ReadRegisters(1, 0x0060, 2, buf, &cap), kResultPortClosed);
    EXPECT_EQ(cap, sizeof buf);
    EXPECT_EQ(m_master.WriteRegister(1, 0x0060, 1), kResultPortClosed);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0060, values, 2), kResultPortClosed);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0060, values, 40), kResultPortClosed);
    EXPECT_EQ(m_master.ReadDeviceId(1, 1, 0, buf, &cap), kResultPortClosed);
    EXPECT_EQ(m_master.GetTxFrame(), lastTx);
    EXPECT_EQ(m_sim.Server().RequestCount(), requests);
    m_master.ClosePort(); // closing twice is harmless

    // And it opens again.
    ASSERT_TRUE(m_master.OpenPortPath(m_sim.Device(), kSettings));
    EXPECT_EQ(Read(0x0050, 1), Regs({0}));

    CModbusRtu never;
    EXPECT_EQ(never.WriteRegister(1, 0x0060, 1), kResultPortClosed);
    EXPECT_TRUE(never.GetTxFrame().empty());
}

TEST_F(MasterTest, WriteMultipleLimits) {
    uint16_t values[40];
    for (int i = 0; i < 40; ++i)
        values[i] = static_cast<uint16_t>(i + 1);
    m_sim.Driver().ClearRequestLog();

    // 31 registers: a 71-byte frame goes out and is answered.
    ResultCode rc = m_master.WriteRegisters(1, 0x0080, values, 31);
    EXPECT_LT(rc, 128);
    ASSERT_EQ(m_master.GetTxFrame().size(), 71u);
    auto log = m_sim.Driver().RequestLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], m_master.GetTxFrame());

    // 32 registers and a missing value array: refused, nothing sent.
    const Bytes lastTx = m_master.GetTxFrame();
    const size_t requests = m_sim.Server().RequestCount();
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0080, values, 32), kResultTooLong);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0080, values, 0xFFFF), kResultTooLong);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0080, nullptr, 2), kResultTooLong);
    EXPECT_EQ(m_master.GetTxFrame(), lastTx);
    EXPECT_EQ(m_sim.Server().RequestCount(), requests);

    // No registers: a 9-byte frame with byte count 0, which the driver refuses.
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0050, values, 0), kResultIllegalValue);
    EXPECT_EQ(m_master.GetTxFrame(), WithCrc(Hex("01 10 00 50 00 00 00")));
}

TEST_F(MasterTest, ReadCopiesNoMoreThanTheCapacity) {
    uint8_t buf[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    uint16_t cap = 3;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0050, 4, buf, &cap), kResultOk);
    EXPECT_EQ(cap, 3);
    EXPECT_EQ(Bytes(buf, buf + 8), Hex("00 00 00 EE EE EE EE EE"));

    cap = 0;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0052, 2, buf, &cap), kResultOk);
    EXPECT_EQ(cap, 0);
    EXPECT_EQ(buf[0], 0x00);
    // Without a destination the transaction still runs.
    EXPECT_EQ(m_master.ReadRegisters(1, 0x0052, 2, nullptr, nullptr), kResultOk);
    EXPECT_EQ(m_master.GetRxFrame().size(), 9u);
}

TEST(MasterOpen, RefusedOpensLeaveTheOpenPortWorking) {
    ASSERT_FALSE(UsePrivatePortFolder().empty());
    CSimHarness sim(1, 5);
    ASSERT_TRUE(sim.Ok());
    ASSERT_EQ(ResolveComPort(5), sim.Device());

    CModbusRtu m;
    EXPECT_FALSE(m.OpenPort(0, kSettings));
    EXPECT_FALSE(m.OpenPort(1025, kSettings));
    EXPECT_FALSE(m.OpenPort(-1, kSettings));
    EXPECT_FALSE(m.OpenPort(5, "9600,x,8,1"));
    EXPECT_EQ(m.LastOpenError(), EPortError::Settings);
    EXPECT_FALSE(m.IsOpen());
    const int unused = LowestFreeComNumber();
    ASSERT_GT(unused, 0);
    EXPECT_FALSE(m.OpenPort(unused, kSettings));
    EXPECT_EQ(m.LastOpenError(), EPortError::NoDevice);

    ASSERT_TRUE(m.OpenPort(5, kSettings));
    EXPECT_TRUE(m.IsOpen());
    EXPECT_FALSE(m.OpenPort(5, kSettings));
    EXPECT_FALSE(m.OpenPort(0, kSettings));
    EXPECT_FALSE(m.OpenPort(1025, kSettings));
    EXPECT_FALSE(m.OpenPortPath(sim.Device(), kSettings));
    EXPECT_TRUE(m.IsOpen());
    uint8_t buf[2];
    uint16_t cap = sizeof buf;
    EXPECT_EQ(m.ReadRegisters(1, 0x0001, 1, buf, &cap), kResultOk);
    EXPECT_EQ(buf[0] << 8 | buf[1], 0x0102);

    // A second master cannot take the line that the first holds.
    CModbusRtu other;
    EXPECT_FALSE(other.OpenPort(5, kSettings));
    EXPECT_EQ(other.LastOpenError(), EPortError::Busy);
    EXPECT_FALSE(other.IsOpen());
    cap = sizeof buf;
    EXPECT_EQ(m.ReadRegisters(1, 0x0001, 1, buf, &cap), kResultOk);

    m.ClosePort();
    EXPECT_TRUE(other.OpenPort(5, kSettings));
}

TEST_F(MasterTest, FramesAreReadableFromAnotherThreadDuringTransactions) {
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    const Bytes readReq = Hex("01 03 00 50 00 04 44 18");
    const Bytes writeReq = WithCrc(Hex("01 06 00 53 13 88"));
    std::thread watcher([&] {
        while (!done) {
            Bytes tx = m_master.GetTxFrame();
            Bytes rx = m_master.GetRxFrame();
            if (!tx.empty() && tx != readReq && tx != writeReq)
                ++bad;
            if (rx.size() > kRtuMaxFrame)
                ++bad;
            std::this_thread::yield();
        }
    });
    // A second thread of transactions, serialised with ours.
    std::atomic<int> otherFailed{0};
    std::thread other([&] {
        for (int i = 0; i < 40; ++i)
            if (m_master.WriteRegister(1, 0x0053, 5000) != kResultOk)
                ++otherFailed;
    });
    int failed = 0;
    for (int i = 0; i < 40; ++i)
        if (Read(0x0050, 4) != Regs({0, 0, 5000, 5000}))
            ++failed;
    other.join();
    done = true;
    watcher.join();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(otherFailed, 0);
    EXPECT_EQ(bad, 0);
}

// Replies the virtual driver never gives, from a scripted slave.
TEST(MasterOverlongReplies, MoreDataThanAskedNeverOverflows) {
    CScriptedPeer peer([](const Bytes& req) -> Bytes {
        if (req[1] == 0x03) // 20 data bytes, whatever was asked
            return WithCrc(Cat(Hex("01 03 14"), Bytes(20, 0x77)));
        if (req[1] == 0x2B && req[4] == 0) { // one object of 240 bytes: a 252-byte reply
            Bytes r = Cat(Hex("01 2B 0E 01 83 00 00 01 00 F0"), Bytes(240, 'x'));
            return WithCrc(r);
        }
        if (req[1] == 0x2B) // 300 bytes with a correct CRC: more than a frame holds
            return WithCrc(Cat(Hex("01 2B 0E 01 83 00 00 02 00 F0"), Bytes(288, 'y')));
        // 300 bytes claiming to be a read reply: beyond any frame.
        return Cat(Hex("01 03 FF"), Bytes(297, 0x55));
    });
    ASSERT_TRUE(peer.Ok());
    CModbusRtu m;
    ASSERT_TRUE(m.OpenPortPath(peer.Path(), kSettings));
    m.SetTimeout(2000);

    uint8_t buf[8];
    std::fill(std::begin(buf), std::end(buf), 0xEE);
    uint16_t cap = 4;
    ResultCode rc = m.ReadRegisters(1, 0x0050, 2, buf, &cap);
    EXPECT_TRUE(rc == kResultOk || rc == kResultBadReply) << rc;
    EXPECT_LE(cap, 4);
    EXPECT_EQ(Bytes(buf + 4, buf + 8), Hex("EE EE EE EE"));

    uint8_t id[300];
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
}

TEST(MasterOverlongReplies, ExceptionCodeZeroIsNotASuccess) {
    CScriptedPeer peer([](const Bytes&) { return WithCrc(Hex("01 83 00")); });
    ASSERT_TRUE(peer.Ok());
    CModbusRtu m;
    ASSERT_TRUE(m.OpenPortPath(peer.Path(), kSettings));
    m.SetTimeout(300);
    uint8_t buf[2] = {0xEE, 0xEE};
    uint16_t cap = sizeof buf;
    EXPECT_NE(m.ReadRegisters(1, 0x0050, 1, buf, &cap), kResultOk);
    EXPECT_EQ(buf[0], 0xEE);
}

TEST_F(MasterTest, ClosingDuringATransactionWaitsForItAndEndsPromptly) {
    m_master.SetTimeout(300);
    m_sim.Server().InjectFault(EFault::Silent, 0, -1);
    std::atomic<int> result{-1};
    std::atomic<bool> started{false};
    std::thread worker([&] {
        started = true;
        uint8_t buf[2];
        uint16_t cap = sizeof buf;
        result = m_master.ReadRegisters(1, 0x0050, 1, buf, &cap);
    });
    ASSERT_TRUE(WaitFor([&] { return started.load(); }, 3000));
    auto t0 = std::chrono::steady_clock::now();
    m_master.ClosePort();
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    EXPECT_FALSE(m_master.IsOpen());
    // Either it ran to its time-out before the close, or the close came first.
    EXPECT_TRUE(result == kResultTimeout || result == kResultPortClosed) << result;
    m_sim.Server().ClearFaults();
}
