// The bus scan against the virtual driver: who answers where, what a
// misbehaving line counts as, and a port left as it was found.

#include "driver/BusScan.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

namespace {

constexpr uint8_t kSimSlave = 37;
const char* const kSettings = "9600,n,8,2";

class BusScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.Ok());
        ASSERT_TRUE(m_drv.OpenPortPath(m_sim.Device(), kSettings));
        m_drv.SetTimeout(1000);
    }
    // Generous for a loaded machine; a silent address costs this much.
    SScanPlan Plan(int first, int last) {
        SScanPlan p;
        p.firstSlave = first;
        p.lastSlave = last;
        p.replyTimeoutMs = 150;
        return p;
    }
    // The port is as it was: same settings and time-out, and it works.
    void ExpectPortAsBefore() {
        EXPECT_EQ(m_drv.LineSettingsText(), kSettings);
        EXPECT_EQ(m_drv.GetTimeout(), 1000u);
        DeviceInfoBlock info{};
        EXPECT_EQ(m_drv.ReadDeviceInfoBlock(kSimSlave, info), kResultOk);
    }

    CSimHarness m_sim{kSimSlave};
    CMotorDriver m_drv;
    std::atomic<bool> m_stop{false};
};

// Only a proper answer from the address asked proves a driver there; an
// exception does, noise does not.
TEST_F(BusScanTest, WhatAnAnswerCountsAs) {
    struct Case {
        EFault fault;
        int param;
        bool found;
        ResultCode infoRc;
    } cases[] = {
        {EFault::Exception, 2, true, kResultIllegalAddress},
        {EFault::Silent, 0, false, 0},
        {EFault::WrongFunction, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        m_sim.Server().InjectFault(c.fault, c.param, 1);
        SScanOutcome out = ScanBus(m_drv, Plan(kSimSlave, kSimSlave), m_stop);
        m_sim.Server().ClearFaults();
        EXPECT_EQ(out.rc, kResultOk);
        ASSERT_EQ(out.hits.size(), c.found ? 1u : 0u);
        if (c.found) {
            EXPECT_EQ(out.hits[0].infoRc, c.infoRc);
        }
        ExpectPortAsBefore();
    }
}

TEST_F(BusScanTest, StopEndsWithinOneProbeAndLeavesThePortUsable) {
    size_t steps = 0;
    SScanPlan plan = Plan(1, 247);
    plan.lines = AllLineSettings();
    SScanOutcome out = ScanBus(m_drv, plan, m_stop, [&](const SScanStep& s) {
        if (++steps == 3)
            m_stop = true; // as a cancel button does, between two probes
        EXPECT_LT(s.done, 3u);
    });
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(out.rc, kResultOk);
    EXPECT_EQ(steps, 3u);
    ExpectPortAsBefore();
}

// Three drivers on a line paced like a real one: a silent address costs its
// wire time and the turnaround budget, and every driver that begins its
// answer within the budget is found, a slow one once the budget covers it.
TEST(BusScanSeveral, FindsExactlyTheDriversThatAnswerWithinTheBudget) {
    CSimHarness sim({1, 2, 5}, true);
    ASSERT_TRUE(sim.Ok());
    CMotorDriver drv;
    ASSERT_TRUE(drv.OpenPortPath(sim.Device(), kSettings));
    std::atomic<bool> stop{false};
    auto found = [&](uint32_t turnaroundMs) {
        SScanPlan plan;
        plan.firstSlave = 1;
        plan.lastSlave = 8;
        plan.turnaroundMs = turnaroundMs;
        std::vector<int> slaves;
        for (const SScanHit& hit : ScanBus(drv, plan, stop).hits)
            slaves.push_back(hit.slave);
        return slaves;
    };
    EXPECT_EQ(found(kScanTurnaroundMs), (std::vector<int>{1, 2, 5}));
    // The budget covers the driver's turnaround and the first byte's way to
    // us, so a driver that takes 20 ms is given a little more.
    sim.Server().SetTurnaround(std::chrono::milliseconds(20), 2);
    uint16_t id = 0;
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(drv.ReadBlock(2, 0x0000, 1, &id), kResultOk);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(20));
    EXPECT_EQ(found(25), (std::vector<int>{1, 2, 5}));
    EXPECT_EQ(drv.FirstByteBudget().count(), 0);
}

} // namespace
