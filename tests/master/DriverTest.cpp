// The driver's register blocks, device identification and SDO tunnel, end to
// end against the virtual driver.

#include "driver/Format.h"
#include "driver/MotorDriver.h"
#include "tests/core/TestBytes.h"
#include "tests/master/ScriptedPeer.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

const char* const kSettings = "9600,n,8,1";

Bytes ReadRequest(uint16_t start, uint16_t count) {
    return WithCrc(Cat(Hex("01 03"), Regs({start, count})));
}

Bytes WriteRequest(uint16_t start, const std::vector<uint16_t>& values) {
    Bytes head = Cat(Hex("01 10"), Regs({start, static_cast<uint16_t>(values.size())}));
    head.push_back(static_cast<uint8_t>(values.size() * 2));
    return WithCrc(Cat(head, Regs(values)));
}

template <class Block> std::vector<uint16_t> Slots(const Block& b) {
    return std::vector<uint16_t>(b.m_reg.begin(), b.m_reg.end());
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.Ok());
        ASSERT_TRUE(m_drv.OpenPortPath(m_sim.Device(), kSettings));
    }

    CVirtualDriver& Sim() { return m_sim.Driver(); }

    // Reads a block, compares it with the driver's registers, writes it back
    // unchanged and checks the frame carried the same registers in order.
    template <class Block>
    void RoundTrip(ResultCode (CMotorDriver::*read)(uint8_t, Block&),
                   ResultCode (CMotorDriver::*write)(uint8_t, Block)) {
        Block b;
        ASSERT_EQ((m_drv.*read)(1, b), kResultOk);
        auto regs = Sim().GetRegisters(Block::kStart, Block::kCount);
        EXPECT_EQ(Slots(b), regs) << std::hex << Block::kStart;
        if (!write)
            return;
        const Block copy = b;
        Sim().ClearRequestLog();
        ASSERT_EQ((m_drv.*write)(1, b), kResultOk) << std::hex << Block::kStart;
        EXPECT_EQ(b, copy);
        auto log = Sim().RequestLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0], WriteRequest(Block::kStart, regs)) << std::hex << Block::kStart;
    }

    CSimHarness m_sim{1};
    CMotorDriver m_drv;
};

} // namespace

TEST_F(DriverTest, EveryBlockKeepsRegisterOrder) {
    EXPECT_EQ(m_drv.GetTimeout(), 1000u);
    RoundTrip<DeviceInfoBlock>(&CMotorDriver::ReadDeviceInfoBlock, nullptr);
    RoundTrip<RampBlock>(&CMotorDriver::ReadRampBlock, &CMotorDriver::WriteRampBlock);
    RoundTrip<MotorParamBlock>(&CMotorDriver::ReadMotorParamBlock,
                               &CMotorDriver::WriteMotorParamBlock);
    RoundTrip<SystemBlockA>(&CMotorDriver::ReadSystemBlockA, &CMotorDriver::WriteSystemBlockA);
    RoundTrip<CommBlockA>(&CMotorDriver::ReadCommBlockA, &CMotorDriver::WriteCommBlockA);
    RoundTrip<SystemBlockB>(&CMotorDriver::ReadSystemBlockB, &CMotorDriver::WriteSystemBlockB);
    RoundTrip<CommBlockB>(&CMotorDriver::ReadCommBlockB, &CMotorDriver::WriteCommBlockB);
    RoundTrip<ReciprocateBlock>(&CMotorDriver::ReadReciprocateBlock,
                                &CMotorDriver::WriteReciprocateBlock);
    RoundTrip<PresetSpeedBlock>(&CMotorDriver::ReadPresetSpeedBlock,
                                &CMotorDriver::WritePresetSpeedBlock);
    RoundTrip<PidBlock>(&CMotorDriver::ReadPidBlock, &CMotorDriver::WritePidBlock);
    RoundTrip<SafetyBlock>(&CMotorDriver::ReadSafetyBlock, &CMotorDriver::WriteSafetyBlock);
    RoundTrip<CanOpenBlock>(&CMotorDriver::ReadCanOpenBlock, &CMotorDriver::WriteCanOpenBlock);

    RealtimeStatusBlock status;
    ASSERT_EQ(m_drv.ReadRealtimeStatusBlock(1, status), kResultOk);
    EXPECT_EQ(m_drv.GetTxFrame(), ReadRequest(0x0020, 28));
    EXPECT_EQ(status.At(0x0038), Sim().GetRegister(0x0038));
}

TEST_F(DriverTest, ThirtyTwoBitPairsHighWordFirst) {
    Sim().SetRegisters(0x00BA, {0x0001, 0x86A0});
    PidBlock pid;
    ASSERT_EQ(m_drv.ReadPidBlock(1, pid), kResultOk);
    Bytes rx = m_drv.GetRxFrame();
    ASSERT_EQ(rx.size(), 41u);
    EXPECT_EQ(Bytes(rx.begin() + 3, rx.begin() + 7), Hex("00 01 86 A0"));
    EXPECT_EQ(pid.Get32(0x00BA), 100000u);
    EXPECT_FLOAT_EQ(pid.GetFloat(0x00BC), 0.1f); // the driver's default gain

    pid.Set32(0x00BA, 100000);
    pid.SetFloat(0x00CA, -2.5f); // 0xC0200000
    ASSERT_EQ(m_drv.WritePidBlock(1, pid), kResultOk);
    Bytes tx = m_drv.GetTxFrame();
    EXPECT_EQ(Bytes(tx.begin() + 7, tx.begin() + 11), Hex("00 01 86 A0"));
    EXPECT_EQ(Bytes(tx.end() - 6, tx.end() - 2), Hex("C0 20 00 00"));
    EXPECT_EQ(Sim().GetRegisters(0x00CA, 2), (std::vector<uint16_t>{0xC020, 0x0000}));

    // System block A: one pair among plain registers.
    std::vector<uint16_t> sys(16);
    for (int i = 0; i < 16; ++i)
        sys[static_cast<size_t>(i)] = static_cast<uint16_t>(0x0100 * i + 0x11);
    Sim().SetRegisters(0x0080, sys);
    SystemBlockA a;
    ASSERT_EQ(m_drv.ReadSystemBlockA(1, a), kResultOk);
    EXPECT_EQ(Slots(a), sys);
    EXPECT_EQ(a.Get32(kSystemAPair), 0x0C110D11u);
    a.Set32(kSystemAPair, 0x12345678);
    ASSERT_EQ(m_drv.WriteSystemBlockA(1, a), kResultOk);
    sys[12] = 0x1234;
    sys[13] = 0x5678;
    EXPECT_EQ(Sim().GetRegisters(0x0080, 16), sys);

    // The position command splits its target the same way.
    Sim().ClearRequestLog();
    m_drv.WritePositionCommand(1, 100, -2, 1);
    ASSERT_EQ(Sim().RequestLog().size(), 1u);
    EXPECT_EQ(Sim().RequestLog()[0], WriteRequest(0x0044, {100, 1, 0xFFFF, 0xFFFE}));
}

TEST_F(DriverTest, DeviceInfoCharactersAndNumbers) {
    Sim().SetRegister(0x0000, 0x0102);
    Sim().SetRegister(0x0002, 0x4142); // "AB"
    DeviceInfoBlock info;
    ASSERT_EQ(m_drv.ReadDeviceInfoBlock(1, info), kResultOk);
    Bytes rx = m_drv.GetRxFrame();
    EXPECT_EQ(Bytes(rx.begin() + 3, rx.begin() + 5), Hex("01 02"));
    EXPECT_EQ(Bytes(rx.begin() + 7, rx.begin() + 9), Hex("41 42"));
    EXPECT_EQ(info.At(0x0000), 0x0102);
    EXPECT_EQ(DeviceModelText(info), "ABK-BLD4810");
    DeviceInfoTexts t = FormatDeviceInfo(info);
    EXPECT_EQ(t.id, "0x0102");
    EXPECT_EQ(t.version, "1.02");
}

TEST_F(DriverTest, LearnBlockReadsFivePlusNAndWritesFour) {
    LearnBlock b;
    b.m_reg.fill(0xABCD);
    b.At(0x00E4) = 6;
    ASSERT_EQ(m_drv.ReadLearnBlock(1, b), kResultOk);
    EXPECT_EQ(m_drv.GetTxFrame(), ReadRequest(0x00E0, 11));
    auto regs = Sim().GetRegisters(0x00E0, 11);
    EXPECT_EQ(std::vector<uint16_t>(b.m_reg.begin(), b.m_reg.begin() + 11), regs);
    for (int i = 11; i < 16; ++i)
        EXPECT_EQ(b.m_reg[static_cast<size_t>(i)], 0xABCD) << i;

    b.At(0x00E4) = 20;
    ASSERT_EQ(m_drv.ReadLearnBlock(1, b), kResultOk);
    EXPECT_EQ(m_drv.GetTxFrame(), ReadRequest(0x00E0, 16));
    b.At(0x00E4) = 0;
    ASSERT_EQ(m_drv.ReadLearnBlock(1, b), kResultOk);
    EXPECT_EQ(m_drv.GetTxFrame(), ReadRequest(0x00E0, 5));

    LearnBlock w;
    w.m_reg.fill(0xBEEF);
    w.At(0x00E0) = 0;
    w.At(0x00E1) = 0; // no learning run
    w.At(0x00E2) = 0;
    w.At(0x00E3) = 7;
    const LearnBlock before = w;
    const auto results = Sim().GetRegisters(0x00E4, 12);
    ASSERT_EQ(m_drv.WriteLearnBlock(1, w), kResultOk);
    EXPECT_EQ(m_drv.GetTxFrame(), WriteRequest(0x00E0, {0, 0, 0, 7}));
    EXPECT_EQ(w, before);
    EXPECT_EQ(Sim().GetRegisters(0x00E4, 12), results);
}

TEST_F(DriverTest, FailedReadLeavesTheRecord) {
    m_drv.SetTimeout(200);
    PidBlock pid;
    pid.m_reg.fill(0x5555);
    m_sim.Server().InjectFault(EFault::Silent);
    EXPECT_EQ(m_drv.ReadPidBlock(1, pid), kResultTimeout);
    m_drv.SetTimeout(1000);
    m_sim.Server().InjectFault(EFault::Exception, 2);
    EXPECT_EQ(m_drv.ReadPidBlock(1, pid), kResultIllegalAddress);
    for (uint16_t r : pid.m_reg)
        EXPECT_EQ(r, 0x5555);
    EXPECT_EQ(m_drv.WriteRunCommand(1, 100, 3), kResultBadRunKind);
    EXPECT_EQ(m_drv.WriteRunCommand(1, 100, -1), kResultBadRunKind);
}

TEST_F(DriverTest, DeviceIdentificationText) {
    Sim().ClearRequestLog();
    std::string text = "old";
    ASSERT_EQ(m_drv.ReadDeviceIdText(1, text), kResultOk);
    EXPECT_EQ(text, "公司名称:Halvik Motion\r\n产品代码:HVK-BLD4810\r\n主要修订版本:V1.02");
    auto log = Sim().RequestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], Hex("01 2B 0E 01 00 70 77"));
    EXPECT_EQ(log[1], WithCrc(Hex("01 2B 0E 01 02")));

    // A failing request discards what was gathered.
    m_drv.SetTimeout(200);
    text = "old";
    m_sim.Server().InjectFault(EFault::Silent);
    EXPECT_EQ(m_drv.ReadDeviceIdText(1, text), kResultTimeout);
    EXPECT_EQ(text, "old");
    m_drv.SetTimeout(1000);

    // "More follows" without moving on ends instead of asking forever.
    m_sim.Server().InjectFault(EFault::EndlessDeviceId, 0, -1);
    EXPECT_EQ(m_drv.ReadDeviceIdText(1, text), kResultBadReply);
    EXPECT_EQ(text, "old");
    m_sim.Server().ClearFaults();
    ASSERT_EQ(m_drv.ReadDeviceIdText(1, text), kResultOk);
}

TEST(DriverDeviceId, EndlessAdvancingStreamIsBounded) {
    // Every reply promises more, each with a new next id.
    CScriptedPeer peer([](const Bytes& req) {
        uint8_t next = static_cast<uint8_t>(req[4] + 1);
        return WithCrc(Cat(Hex("01 2B 0E 01 83 FF"), Bytes{next, 1, 0x80, 1, 'z'}));
    });
    ASSERT_TRUE(peer.Ok());
    CMotorDriver drv;
    ASSERT_TRUE(drv.OpenPortPath(peer.Path(), kSettings));
    std::string text = "old";
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(drv.ReadDeviceIdText(1, text), kResultBadReply);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    EXPECT_EQ(text, "old");
    EXPECT_LE(peer.RequestCount(), 255u);
}

TEST_F(DriverTest, SdoWindowImages) {
    SdoReply r;
    Sim().ClearRequestLog();
    ASSERT_EQ(m_drv.SdoAccess(1, kSdoUpload, 0x1005, 0, 0, r), kResultOk);
    auto log = Sim().RequestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], WriteRequest(0x0200, {0x0040, 0x1005, 0, 0, 0, 0}));
    EXPECT_EQ(log[1], ReadRequest(0x0200, 6));
    EXPECT_EQ(r.command, kSdoUploadAns4);
    EXPECT_EQ(r.index, 0x1005);
    EXPECT_EQ(r.subindex, 0);
    EXPECT_EQ(r.data, 0x00000080u);

    Sim().ClearRequestLog();
    ASSERT_EQ(m_drv.SdoAccess(1, kSdoDownload2, 0x1017, 0, 0x1234, r), kResultOk);
    EXPECT_EQ(Sim().RequestLog()[0], WriteRequest(0x0200, {0x002B, 0x1017, 0, 0, 0x0000, 0x1234}));
    EXPECT_EQ(r.command, kSdoDownloadAck);
    uint32_t v = 0;
    ASSERT_TRUE(Sim().GetObject(0x1017, 0, v));
    EXPECT_EQ(v, 0x1234u);

    Sim().ClearRequestLog();
    ASSERT_EQ(m_drv.SdoAccess(1, kSdoDownload4, 0x1006, 0, 0x00012345, r), kResultOk);
    EXPECT_EQ(Sim().RequestLog()[0], WriteRequest(0x0200, {0x0023, 0x1006, 0, 0, 0x0001, 0x2345}));
    ASSERT_TRUE(Sim().GetObject(0x1006, 0, v));
    EXPECT_EQ(v, 0x00012345u);

    // An abort is a successful exchange carrying the abort code.
    ASSERT_EQ(m_drv.SdoAccess(1, kSdoUpload, 0x6000, 0, 0, r), kResultOk);
    EXPECT_EQ(r.command, kSdoAbort);
    EXPECT_EQ(r.index, 0x6000);
    EXPECT_EQ(SdoAbortText(r.data), "对象字典中对象不存在 (0x06020000)");
}

TEST_F(DriverTest, SdoWriteTimeoutSkipsTheRead) {
    m_drv.SetTimeout(200);
    SdoReply r;
    r.data = 0xCAFE;
    const size_t before = m_sim.Server().RequestCount();
    m_sim.Server().InjectFault(EFault::Silent);
    EXPECT_EQ(m_drv.SdoAccess(1, kSdoUpload, 0x1005, 0, 0, r), kResultTimeout);
    // The write reached the driver; no read follows it.
    EXPECT_TRUE(WaitFor([&] { return m_sim.Server().RequestCount() > before; }, 3000));
    EXPECT_EQ(m_sim.Server().RequestCount(), before + 1);
    EXPECT_EQ(m_drv.GetTxFrame()[1], 0x10);
    EXPECT_EQ(r.data, 0xCAFEu);
}

TEST(DriverSdo, ReadTimeoutAfterTheWriteWentOut) {
    CScriptedPeer peer([](const Bytes& req) {
        // Acknowledge the window write, never answer its read.
        return req[1] == 0x10 ? WithCrc(Bytes(req.begin(), req.begin() + 6)) : Bytes{};
    });
    ASSERT_TRUE(peer.Ok());
    CMotorDriver drv;
    ASSERT_TRUE(drv.OpenPortPath(peer.Path(), kSettings));
    drv.SetTimeout(500);
    SdoReply r;
    r.data = 0xCAFE;
    EXPECT_EQ(drv.SdoAccess(1, kSdoUpload, 0x1005, 0, 0, r), kResultTimeout);
    EXPECT_TRUE(WaitFor([&] { return peer.RequestCount() >= 2; }, 3000));
    auto reqs = peer.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0][1], 0x10);
    EXPECT_EQ(reqs[1], ReadRequest(0x0200, 6));
    EXPECT_EQ(r.data, 0xCAFEu);
}

TEST(DriverBlocks, ShortReplyIsNotTakenForTheBlock) {
    // Two data bytes for any read, however many were asked.
    CScriptedPeer peer([](const Bytes&) { return WithCrc(Hex("01 03 02 12 34")); });
    ASSERT_TRUE(peer.Ok());
    CMotorDriver drv;
    ASSERT_TRUE(drv.OpenPortPath(peer.Path(), kSettings));
    PidBlock pid;
    pid.m_reg.fill(0x5555);
    EXPECT_NE(drv.ReadPidBlock(1, pid), kResultOk);
    for (uint16_t r : pid.m_reg)
        EXPECT_EQ(r, 0x5555);
}

TEST_F(DriverTest, ConcurrentSdoExchangesNeverMixAnswers) {
    Sim().SetObject(0x1006, 0, 0x12345678);
    Sim().SetObject(0x1007, 0, 0x0BADF00D);
    struct Job {
        uint16_t index;
        uint32_t value;
    };
    const Job jobs[] = {{0x1005, 0x00000080}, {0x1006, 0x12345678}, {0x1007, 0x0BADF00D}};
    constexpr int kRounds = 30;
    std::atomic<int> mixed{0}, failed{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (const Job& job : jobs) {
        threads.emplace_back([&, job] {
            for (int i = 0; i < kRounds; ++i) {
                SdoReply r;
                if (m_drv.SdoAccess(1, kSdoUpload, job.index, 0, 0, r) != kResultOk) {
                    ++failed;
                    continue;
                }
                if (r.command != kSdoUploadAns4 || r.index != job.index || r.subindex != 0 ||
                    r.data != job.value)
                    ++mixed;
            }
        });
    }
    // The status poll and the traffic display run beside them.
    std::thread poll([&] {
        while (!done) {
            RealtimeStatusBlock s;
            if (m_drv.ReadRealtimeStatusBlock(1, s) != kResultOk)
                ++failed;
            (void)m_drv.GetTxFrame();
            (void)m_drv.GetRxFrame();
        }
    });
    for (auto& t : threads)
        t.join();
    done = true;
    poll.join();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(mixed, 0);
}
