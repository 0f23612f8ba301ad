// The driver's register blocks, device identification and SDO tunnel, end to
// end against the virtual driver.

#include "driver/Format.h"
#include "driver/MotorDriver.h"
#include "tests/core/TestBytes.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

const char* const kSettings = "9600,n,8,1";
using Regs16 = std::vector<uint16_t>;

Bytes ReadRequest(uint16_t start, uint16_t count) {
    return WithCrc(Cat(Hex("01 03"), Regs({start, count})));
}

Bytes WriteRequest(uint16_t start, const Regs16& values) {
    Bytes head = Cat(Hex("01 10"), Regs({start, static_cast<uint16_t>(values.size())}));
    head.push_back(static_cast<uint8_t>(values.size() * 2));
    return WithCrc(Cat(head, Regs(values)));
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
        SCOPED_TRACE(Block::kStart);
        Block b;
        ASSERT_EQ((m_drv.*read)(1, b), kResultOk);
        const Regs16 regs = Sim().GetRegisters(Block::kStart, Block::kCount);
        EXPECT_EQ(Regs16(b.m_reg.begin(), b.m_reg.end()), regs);
        const Block copy = b;
        Sim().ClearRequestLog();
        ASSERT_EQ((m_drv.*write)(1, b), kResultOk);
        EXPECT_EQ(b, copy);
        EXPECT_EQ(Sim().RequestLog(), std::vector<Bytes>{WriteRequest(Block::kStart, regs)});
    }

    CSimHarness m_sim{1};
    CMotorDriver m_drv;
};

} // namespace

TEST_F(DriverTest, EveryBlockKeepsRegisterOrder) {
#define ROUND_TRIP(Block) RoundTrip<Block>(&CMotorDriver::Read##Block, &CMotorDriver::Write##Block)
    ROUND_TRIP(RampBlock);
    ROUND_TRIP(MotorParamBlock);
    ROUND_TRIP(SystemBlockA);
    ROUND_TRIP(CommBlockA);
    ROUND_TRIP(SystemBlockB);
    ROUND_TRIP(CommBlockB);
    ROUND_TRIP(ReciprocateBlock);
    ROUND_TRIP(PresetSpeedBlock);
    ROUND_TRIP(PidBlock);
    ROUND_TRIP(SafetyBlock);
    ROUND_TRIP(CanOpenBlock);
#undef ROUND_TRIP

    RealtimeStatusBlock status;
    ASSERT_EQ(m_drv.ReadRealtimeStatusBlock(1, status), kResultOk);
    EXPECT_EQ(m_drv.GetTxFrame(), ReadRequest(0x0020, 28));
    EXPECT_EQ(status.At(0x0038), Sim().GetRegister(0x0038));
}

TEST_F(DriverTest, LearnBlockReadsFivePlusNAndWritesFour) {
    LearnBlock b;
    b.m_reg.fill(0xABCD);
    b.At(0x00E4) = 6;
    ASSERT_EQ(m_drv.ReadLearnBlock(1, b), kResultOk);
    EXPECT_EQ(m_drv.GetTxFrame(), ReadRequest(0x00E0, 11));
    EXPECT_EQ(Regs16(b.m_reg.begin(), b.m_reg.begin() + 11), Sim().GetRegisters(0x00E0, 11));
    EXPECT_EQ(Regs16(b.m_reg.begin() + 11, b.m_reg.end()), Regs16(5, 0xABCD));
    for (auto [n, count] : {std::pair{20, 16}, std::pair{0, 5}}) {
        b.At(0x00E4) = static_cast<uint16_t>(n);
        ASSERT_EQ(m_drv.ReadLearnBlock(1, b), kResultOk);
        EXPECT_EQ(m_drv.GetTxFrame(), ReadRequest(0x00E0, static_cast<uint16_t>(count))) << n;
    }

    LearnBlock w;
    w.m_reg.fill(0xBEEF);
    w.At(0x00E0) = w.At(0x00E1) = w.At(0x00E2) = 0; // no learning run
    w.At(0x00E3) = 7;
    const LearnBlock before = w;
    const Regs16 results = Sim().GetRegisters(0x00E4, 12);
    ASSERT_EQ(m_drv.WriteLearnBlock(1, w), kResultOk);
    EXPECT_EQ(m_drv.GetTxFrame(), WriteRequest(0x00E0, {0, 0, 0, 7}));
    EXPECT_EQ(w, before);
    EXPECT_EQ(Sim().GetRegisters(0x00E4, 12), results);
}

TEST_F(DriverTest, FailuresLeaveTheRecordAndTheText) {
    PidBlock pid;
    pid.m_reg.fill(0x5555);
    std::string text = "old";
    m_sim.Server().InjectFault(EFault::Exception, 2);
    EXPECT_EQ(m_drv.ReadPidBlock(1, pid), kResultIllegalAddress);
    EXPECT_EQ(Regs16(pid.m_reg.begin(), pid.m_reg.end()), Regs16(pid.m_reg.size(), 0x5555));
    EXPECT_EQ(m_drv.WriteRunCommand(1, 100, 3), kResultBadRunKind);
    EXPECT_EQ(m_drv.WriteRunCommand(1, 100, -1), kResultBadRunKind);

    // "More follows" without moving on ends instead of asking forever.
    m_sim.Server().InjectFault(EFault::EndlessDeviceId, 0, -1);
    EXPECT_EQ(m_drv.ReadDeviceIdText(1, text), kResultBadReply);
    EXPECT_EQ(text, "old");
    m_sim.Server().ClearFaults();

    Sim().ClearRequestLog();
    ASSERT_EQ(m_drv.ReadDeviceIdText(1, text), kResultOk);
    EXPECT_EQ(text, "公司名称:Halvik Motion\r\n产品代码:HVK-BLD4810\r\n主要修订版本:V1.02");
    EXPECT_EQ(Sim().RequestLog(),
              (std::vector<Bytes>{Hex("01 2B 0E 01 00 70 77"), WithCrc(Hex("01 2B 0E 01 02"))}));
}

// An abort reaches the CANopen editors as a successful exchange: their tests
// show its code.
TEST_F(DriverTest, SdoWindowImages) {
    // Each access writes the six-register window, then reads the answer back.
    auto access = [&](uint8_t command, uint16_t index, uint32_t data, const Regs16& window) {
        SdoReply r;
        Sim().ClearRequestLog();
        EXPECT_EQ(m_drv.SdoAccess(1, command, index, 0, data, r), kResultOk);
        EXPECT_EQ(Sim().RequestLog(),
                  (std::vector<Bytes>{WriteRequest(0x0200, window), ReadRequest(0x0200, 6)}));
        EXPECT_EQ(r.index, index);
        EXPECT_EQ(r.subindex, 0);
        return r;
    };
    SdoReply r = access(kSdoUpload, 0x1005, 0, {0x0040, 0x1005, 0, 0, 0, 0});
    EXPECT_EQ(r.command, kSdoUploadAns4);
    EXPECT_EQ(r.data, 0x00000080u);
    r = access(kSdoDownload4, 0x1006, 0x12345, {0x0023, 0x1006, 0, 0, 0x0001, 0x2345});
    EXPECT_EQ(r.command, kSdoDownloadAck);
    uint32_t v1006 = 0;
    ASSERT_TRUE(Sim().GetObject(0x1006, 0, v1006));
    EXPECT_EQ(v1006, 0x00012345u);

    // A write that times out is not followed by the read.
    m_drv.SetTimeout(200);
    r.data = 0xCAFE;
    const size_t before = m_sim.Server().RequestCount();
    m_sim.Server().InjectFault(EFault::Silent);
    EXPECT_EQ(m_drv.SdoAccess(1, kSdoUpload, 0x1005, 0, 0, r), kResultTimeout);
    EXPECT_TRUE(WaitFor([&] { return m_sim.Server().RequestCount() > before; }, 3000));
    EXPECT_EQ(m_sim.Server().RequestCount(), before + 1);
    EXPECT_EQ(m_drv.GetTxFrame()[1], 0x10);
    EXPECT_EQ(r.data, 0xCAFEu);
}

TEST_F(DriverTest, ConcurrentSdoExchangesNeverMixAnswers) {
    Sim().SetObject(0x1006, 0, 0x12345678);
    Sim().SetObject(0x1007, 0, 0x0BADF00D);
    const std::pair<uint16_t, uint32_t> jobs[] = {
        {0x1005, 0x00000080}, {0x1006, 0x12345678}, {0x1007, 0x0BADF00D}};
    std::atomic<int> mixed{0}, failed{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (const auto& [index, value] : jobs) {
        threads.emplace_back([&, index, value] {
            for (int i = 0; i < 30; ++i) {
                SdoReply r;
                if (m_drv.SdoAccess(1, kSdoUpload, index, 0, 0, r) != kResultOk)
                    ++failed;
                else if (r.command != kSdoUploadAns4 || r.index != index || r.subindex != 0 ||
                         r.data != value)
                    ++mixed;
            }
        });
    }
    // The status poll and the traffic display run beside them: the frames
    // are read while other threads' transactions write them.
    std::thread poll([&] {
        while (!done) {
            RealtimeStatusBlock s;
            failed += m_drv.ReadRealtimeStatusBlock(1, s) != kResultOk;
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
