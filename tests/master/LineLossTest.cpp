// A device that goes away under an open port (adapter pulled, virtual driver
// ended): recognised at once, no spinning, and the same COM number opens again
// once the device is back.

#include "driver/MotorDriver.h"
#include "serial/PortMap.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
const char* const kSettings = "9600,n,8,1";

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

ResultCode ReadOne(CMotorDriver& drv) {
    uint8_t buf[2];
    uint16_t cap = sizeof buf;
    return drv.ReadRegisters(1, 0x0001, 1, buf, &cap);
}

} // namespace

// A read that meets the lost line is the fault matrix's; here the SDO
// exchange cut between its halves and what the lost line leaves behind.
TEST(LineLoss, AnSdoExchangeEndsAtOnceNothingSpinsAndTheSamePortOpensAgain) {
    ASSERT_FALSE(UsePrivatePortFolder().empty());
    CSimHarness sim(1, 6);
    ASSERT_TRUE(sim.Ok());
    CMotorDriver drv;
    drv.SetTimeout(5000);
    ASSERT_TRUE(drv.OpenPort(6, 9600, 3));
    ASSERT_EQ(ReadOne(drv), kResultOk);

    // Gone between the two halves of an SDO exchange: the window write is
    // answered, the read of the answer finds the line gone.
    sim.Server().InjectFault(EFault::LineGone, 1);
    SdoReply reply;
    auto t0 = Clock::now();
    EXPECT_EQ(drv.SdoAccess(1, kSdoUpload, 0x1800, 1, 0, reply), kResultPortClosed);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(1));
    EXPECT_TRUE(drv.LineLost());
    EXPECT_TRUE(drv.IsOpen()); // until its owner closes it

    // Nothing spins while the lost line stays open, and later requests are
    // refused at once as on a closed port.
    const double cpu0 = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(ProcessCpuMs() - cpu0, 60.0);
    t0 = Clock::now();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(ReadOne(drv), kResultPortClosed);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(500));

    // The device comes back under the same number: opening it works, also
    // without closing the remains first.
    sim.Server().Stop();
    ASSERT_TRUE(sim.Server().Start(6));
    ASSERT_TRUE(drv.OpenPort(6, 9600, 3)) << PortErrorText(drv.LastOpenError());
    EXPECT_FALSE(drv.LineLost());
    EXPECT_EQ(drv.SdoAccess(1, kSdoUpload, 0x1800, 1, 0, reply), kResultOk);
    // Lost again, closing clears it.
    sim.Server().InjectFault(EFault::LineGone);
    EXPECT_EQ(ReadOne(drv), kResultPortClosed);
    drv.ClosePort();
    EXPECT_FALSE(drv.LineLost());
    EXPECT_FALSE(drv.IsOpen());
}

TEST(LineLoss, AnIdleOpenPortNoticesTheHangUpWithoutATransaction) {
    CSimHarness sim(1);
    ASSERT_TRUE(sim.Ok());
    CMotorDriver drv;
    ASSERT_TRUE(drv.OpenPortPath(sim.Device(), kSettings));
    ASSERT_EQ(ReadOne(drv), kResultOk);
    sim.Server().Stop(); // the far end closes between transactions
    EXPECT_TRUE(WaitFor([&] { return drv.LineLost(); }, 3000));
    const double cpu0 = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(ProcessCpuMs() - cpu0, 60.0);
    EXPECT_EQ(ReadOne(drv), kResultPortClosed);
}
