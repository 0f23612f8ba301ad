// The main window's status poll worker without the window: one read at a
// time on its own thread, each outcome with the tag it was started with, and
// a destructor bounded by the reply time-out even while the driver is silent.

#include "desklogic/StatusPoller.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
    unsigned tag;
    ResultCode rc;
    uint16_t in1; // 0x0028: the first analogue input
    std::thread::id thread;
};

class Outcomes {
public:
    CStatusPoller::Done Sink() {
        return [this](unsigned tag, ResultCode rc, const RealtimeStatusBlock& b) {
            std::lock_guard<std::mutex> lk(m_lock);
            m_list.push_back({tag, rc, b.At(0x0028), std::this_thread::get_id()});
        };
    }
    std::vector<Outcome> List() {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_list;
    }
    size_t Count() { return List().size(); }

private:
    std::mutex m_lock;
    std::vector<Outcome> m_list;
};

} // namespace

TEST(StatusPoller, OneReadAtATimeOnItsOwnThreadEachWithItsTag) {
    CSimHarness sim;
    ASSERT_TRUE(sim.Ok());
    CMotorDriver drv;
    drv.SetTimeout(300);
    ASSERT_TRUE(drv.OpenPortPath(sim.Device(), "9600,n,8,1"));
    Outcomes out;
    CStatusPoller poller(drv, out.Sink());

    sim.Server().InjectFault(EFault::Silent);
    ASSERT_TRUE(poller.Start(1, 1));
    ASSERT_TRUE(WaitFor([&] { return !poller.Busy(); }));
    ASSERT_TRUE(poller.Start(1, 3));
    ASSERT_TRUE(WaitFor([&] { return out.Count() == 2 && !poller.Busy(); }));

    const auto list = out.List();
    EXPECT_EQ(list[0].tag, 1u);
    EXPECT_EQ(list[0].rc, kResultTimeout);
    EXPECT_EQ(list[1].tag, 3u);
    EXPECT_EQ(list[1].rc, kResultOk);
    EXPECT_EQ(list[1].in1, 1650);
    EXPECT_NE(list[0].thread, std::this_thread::get_id());
    EXPECT_EQ(list[0].thread, list[1].thread);
}

TEST(StatusPoller, ItsDestructorWaitsNoLongerThanTheReadUnderWay) {
    CSimHarness sim;
    ASSERT_TRUE(sim.Ok());
    CMotorDriver drv;
    drv.SetTimeout(400);
    ASSERT_TRUE(drv.OpenPortPath(sim.Device(), "9600,n,8,1"));
    Outcomes out;
    auto t0 = Clock::now();
    {
        // The destructor waits for the read under way, never longer.
        CStatusPoller poller(drv, out.Sink());
        sim.Server().InjectFault(EFault::Silent);
        const size_t heard = sim.Server().RequestCount();
        ASSERT_TRUE(poller.Start(1, 1));
        ASSERT_TRUE(WaitFor([&] { return sim.Server().RequestCount() > heard; }));
    }
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(400 + 1000));
    ASSERT_EQ(out.Count(), 1u);
    EXPECT_EQ(out.List()[0].rc, kResultTimeout);
}
