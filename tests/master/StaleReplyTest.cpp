// Replies that do not answer the request in flight: a late answer to an
// earlier request that timed out, and a reply of another function.

#include "tests/master/MasterFixture.h"

TEST_F(MasterTest, WrongFunctionWithValidCrcIsABadReply) {
    m_master.SetTimeout(200);
    ResultCode rc = -1;
    // The read's reply comes back as function 4.
    m_sim.Server().InjectFault(EFault::WrongFunction);
    Read(0x0050, 4, &rc);
    EXPECT_EQ(rc, kResultBadReply);
    m_master.SetTimeout(1000);
    // The write's echo comes back as function 3: eight bytes with a good CRC
    // over all of them, though a function-3 byte count of 0 means five.
    m_sim.Server().InjectFault(EFault::WrongFunction);
    EXPECT_EQ(m_master.WriteRegister(1, 0x0050, 0), kResultBadReply);
    EXPECT_EQ(m_master.GetRxFrame(), WithCrc(Hex("01 03 00 50 00 00")));
    EXPECT_EQ(Read(0x0050, 4), Regs({0, 0, 5000, 5000}));
}

TEST_F(MasterTest, LateReplyBetweenTransactionsIsDropped) {
    m_master.SetTimeout(200);
    m_sim.Driver().SetRegisters(0x0060, {0x1111, 0x2222});
    ResultCode rc = -1;
    size_t replies = m_sim.Server().ReplyCount();
    m_sim.Server().InjectFault(EFault::Delay, 400);
    Read(0x0050, 4, &rc);
    EXPECT_EQ(rc, kResultTimeout);
    ASSERT_TRUE(WaitFor([&] { return m_sim.Server().ReplyCount() > replies; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return m_master.GetRxFrame().size() == 13; }, 3000));
    m_master.SetTimeout(2000);
    EXPECT_EQ(Read(0x0060, 2, &rc), Regs({0x1111, 0x2222}));
    EXPECT_EQ(rc, kResultOk);
}

TEST_F(MasterTest, LateReplyDuringTheNextTransactionIsNotTakenForItsAnswer) {
    m_sim.Driver().SetRegisters(0x0060, {0x1111, 0x2222});
    ResultCode rc = -1;

    // The driver answers the next request only after the late reply, so the
    // late one arrives while the next transaction waits.
    m_master.SetTimeout(200);
    m_sim.Server().InjectFault(EFault::Delay, 400);
    Read(0x0050, 4, &rc);
    EXPECT_EQ(rc, kResultTimeout);
    m_master.SetTimeout(2000);
    Bytes next = Read(0x0060, 2, &rc);
    EXPECT_EQ(rc, kResultOk);
    EXPECT_EQ(next, Regs({0x1111, 0x2222}));

    // A write after a late read reply.
    m_master.SetTimeout(200);
    m_sim.Server().InjectFault(EFault::Delay, 400);
    Read(0x0050, 4, &rc);
    EXPECT_EQ(rc, kResultTimeout);
    m_master.SetTimeout(2000);
    uint16_t echoAddr = 0, echoValue = 0;
    EXPECT_EQ(m_master.WriteRegister(1, 0x0061, 0x3333, &echoAddr, &echoValue), kResultOk);
    EXPECT_EQ(echoAddr, 0x0061);
    EXPECT_EQ(echoValue, 0x3333);

    // Nothing of either is left to spoil the exchange after.
    EXPECT_EQ(Read(0x0060, 2, &rc), Regs({0x1111, 0x3333}));
    EXPECT_EQ(rc, kResultOk);
}
