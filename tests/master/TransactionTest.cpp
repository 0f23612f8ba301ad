// Every transaction and result code of the master, end to end over a
// pseudo-terminal against the virtual driver.

#include "modbus/ModbusRtu.h"
#include "serial/PortMap.h"
#include "tests/core/TestBytes.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const char* const kSettings = "9600,n,8,1";

class MasterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.Ok());
        ASSERT_TRUE(m_master.OpenPortPath(m_sim.Device(), kSettings))
            << PortErrorText(m_master.LastOpenError());
    }

    // Reads count registers from start and returns the data bytes (empty on failure).
    Bytes Read(uint16_t start, uint16_t count, ResultCode* rcOut = nullptr) {
        Bytes buf(2u * count);
        uint16_t cap = static_cast<uint16_t>(buf.size());
        ResultCode rc = m_master.ReadRegisters(1, start, count, buf.data(), &cap);
        if (rcOut)
            *rcOut = rc;
        buf.resize(rc == kResultOk ? cap : 0);
        return buf;
    }

    // Injects a fault for the next exchange under a short time-out, so that a
    // loaded machine never turns the good exchanges into time-outs.
    void Provoke(EFault kind, int param = 0) {
        m_master.SetTimeout(200);
        m_sim.Server().InjectFault(kind, param);
    }
    void Relax() { m_master.SetTimeout(2000); }

    CSimHarness m_sim{1};
    CModbusRtu m_master;
};

} // namespace

// The frames themselves are checked in the frame tests and every outcome of
// every transaction in the fault matrix; here what is kept of an exchange.
TEST_F(MasterTest, AnExceptionCopiesNoIdentification) {
    uint8_t id[255];
    uint16_t cap = 64;
    m_sim.Server().InjectFault(EFault::Exception, 11);
    EXPECT_EQ(m_master.ReadDeviceId(1, 1, 0, id, &cap), 11);
    EXPECT_EQ(cap, 64);
}

TEST_F(MasterTest, LateRepliesAreNeverTakenForTheNextAnswer) {
    m_sim.Driver().SetRegisters(0x0060, {0x1111, 0x2222});
    auto timeOutLate = [&] {
        ResultCode rc = -1;
        Provoke(EFault::Delay, 400);
        Read(0x0050, 4, &rc);
        EXPECT_EQ(rc, kResultTimeout);
        Relax();
    };
    // The late reply lands between transactions: the traffic display shows it.
    const size_t replies = m_sim.Server().ReplyCount();
    timeOutLate();
    ASSERT_TRUE(WaitFor([&] { return m_sim.Server().ReplyCount() > replies; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return m_master.GetRxFrame().size() == 13; }, 3000));
    EXPECT_EQ(Read(0x0060, 2), Regs({0x1111, 0x2222}));

    // The driver answers the next request only after the late reply, so the
    // late one arrives while the next read, then a write, waits.
    timeOutLate();
    EXPECT_EQ(Read(0x0060, 2), Regs({0x1111, 0x2222}));
    timeOutLate();
    uint16_t echoAddr = 0, echoValue = 0;
    EXPECT_EQ(m_master.WriteRegister(1, 0x0061, 0x3333, &echoAddr, &echoValue), kResultOk);
    EXPECT_EQ(echoAddr, 0x0061);
    EXPECT_EQ(echoValue, 0x3333);
    // Nothing of either is left to spoil the exchange after.
    EXPECT_EQ(Read(0x0060, 2), Regs({0x1111, 0x3333}));

    // An identical request after the time-out takes the late answer for its
    // own; its own answer, coming after, is not taken for the next one's.
    Provoke(EFault::Delay, 400);
    EXPECT_EQ(m_master.WriteRegister(1, 0x0061, 0x4444), kResultTimeout);
    Relax();
    EXPECT_EQ(m_master.WriteRegister(1, 0x0061, 0x4444), kResultOk);
    EXPECT_EQ(Read(0x0060, 2), Regs({0x1111, 0x4444}));
}

TEST_F(MasterTest, RefusedRequestsSendNothingAndReadsKeepTheirCapacity) {
    uint16_t values[40];
    for (int i = 0; i < 40; ++i)
        values[i] = static_cast<uint16_t>(i + 1);
    // Too many registers (31 go out, see the libmodbus peer), a missing value
    // array, a closed port: nothing sent.
    const Bytes lastTx = m_master.GetTxFrame();
    const size_t requests = m_sim.Server().RequestCount();
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0080, values, 32), kResultTooLong);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0080, values, 0xFFFF), kResultTooLong);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0080, nullptr, 2), kResultTooLong);
    m_master.ClosePort();
    uint8_t buf[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    uint16_t cap = sizeof buf;
    EXPECT_EQ(m_master.ReadRegisters(1, 0x0060, 2, buf, &cap), kResultPortClosed);
    EXPECT_EQ(m_master.WriteRegister(1, 0x0060, 1), kResultPortClosed);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0060, values, 2), kResultPortClosed);
    EXPECT_EQ(m_master.ReadDeviceId(1, 1, 0, buf, &cap), kResultPortClosed);
    EXPECT_EQ(cap, sizeof buf);
    EXPECT_EQ(m_master.GetTxFrame(), lastTx);
    EXPECT_EQ(m_sim.Server().RequestCount(), requests);
    m_master.ClosePort(); // closing twice is harmless
    CModbusRtu never;
    EXPECT_EQ(never.WriteRegister(1, 0x0060, 1), kResultPortClosed);
    EXPECT_TRUE(never.GetTxFrame().empty());

    // Reopened, a read copies no more than the capacity, and runs without a destination.
    ASSERT_TRUE(m_master.OpenPortPath(m_sim.Device(), kSettings));
    cap = 3;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0050, 4, buf, &cap), kResultOk);
    EXPECT_EQ(cap, 3);
    EXPECT_EQ(Bytes(buf, buf + 8), Hex("00 00 00 EE EE EE EE EE"));
    cap = 0;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0052, 2, buf + 3, &cap), kResultOk);
    EXPECT_EQ(cap, 0);
    EXPECT_EQ(buf[3], 0xEE);
    EXPECT_EQ(m_master.ReadRegisters(1, 0x0052, 2, nullptr, nullptr), kResultOk);
    EXPECT_EQ(m_master.GetRxFrame().size(), 9u);
}

TEST(MasterOpen, RefusedOpensLeaveTheOpenPortWorking) {
    ASSERT_FALSE(UsePrivatePortFolder().empty());
    CSimHarness sim(1, 5);
    ASSERT_TRUE(sim.Ok());
    ASSERT_EQ(ResolveComPort(5), sim.Device());
    CModbusRtu m;
    for (int n : {0, 1025, -1})
        EXPECT_FALSE(m.OpenPort(n, kSettings)) << n;
    EXPECT_FALSE(m.OpenPort(5, "9600,x,8,1"));
    EXPECT_EQ(m.LastOpenError(), EPortError::Settings);
    const int unused = kMaxComNumber; // nothing linked, and no machine has that many ports
    EXPECT_FALSE(m.OpenPort(unused, kSettings));
    EXPECT_EQ(m.LastOpenError(), EPortError::NoDevice);
    EXPECT_FALSE(m.IsOpen());

    ASSERT_TRUE(m.OpenPort(5, kSettings));
    EXPECT_FALSE(m.OpenPort(5, kSettings));
    EXPECT_FALSE(m.OpenPort(1025, kSettings));
    EXPECT_FALSE(m.OpenPortPath(sim.Device(), kSettings));
    uint8_t buf[2];
    uint16_t cap = sizeof buf;
    EXPECT_EQ(m.ReadRegisters(1, 0x0001, 1, buf, &cap), kResultOk);
    EXPECT_EQ(buf[0] << 8 | buf[1], 0x0102);
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
