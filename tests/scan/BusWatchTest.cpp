// The bus watch against three virtual drivers on one line: fair rounds, a
// silent driver that costs the others no more than its own tries and is
// taken back once it answers.

#include "driver/BusWatch.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Clock = std::chrono::steady_clock;

TEST(BusWatch, ASilentDriverCostsOnlyItsOwnTriesAndIsTakenBackWhenItAnswers) {
    CSimHarness sim(std::vector<uint8_t>{1, 2, 5});
    ASSERT_TRUE(sim.Ok());
    CMotorDriver drv;
    ASSERT_TRUE(drv.OpenPortPath(sim.Device(), "9600,n,8,2"));
    sim.Server().InjectFault(EFault::Silent, 0, -1, 2);

    SWatchPlan plan;
    plan.slaves = {1, 2, 5};
    plan.turnaroundMs = 50; // roomy for a loaded machine; a silent try costs this
    plan.retryEvery = std::chrono::milliseconds(200);
    std::atomic<bool> stop{false};
    constexpr int64_t kSilentRounds = 40;
    std::map<int, size_t> updates;
    std::map<int, SLinkHealth> atSilentEnd;
    Clock::duration silentFor{};
    int64_t backInRound = 0, polledAfterBack = 0;
    const Clock::time_point start = Clock::now();
    const SWatchOutcome out = WatchBus(drv, plan, stop, [&](const SWatchUpdate& u) {
        EXPECT_EQ(u.rc == kResultOk, !u.status.empty());
        if (u.polled && u.rc == kResultOk)
            ++updates[u.slave];
        if (u.round <= kSilentRounds) {
            atSilentEnd[u.slave] = u.health;
            if (u.round == kSilentRounds && u.slave == 5) {
                silentFor = Clock::now() - start;
                sim.Server().ClearFaults(); // slave 2 answers again
            }
        } else if (u.slave == 2 && !backInRound && u.rc == kResultOk) {
            EXPECT_FALSE(u.health.marked);
            EXPECT_EQ(u.health.consecutiveFailures, 0);
            backInRound = u.round;
        } else if (u.slave == 2 && backInRound && u.polled) {
            ++polledAfterBack;
        }
        // Done when it has been read in three rounds after its return; bounded either way.
        if (polledAfterBack == 3 || Clock::now() - start > std::chrono::seconds(30))
            stop = true;
    });
    EXPECT_EQ(out.rc, kResultOk);
    EXPECT_TRUE(out.stopped);

    // While slave 2 was silent the others were read once in every round.
    EXPECT_EQ(atSilentEnd[1].updates, static_cast<size_t>(kSilentRounds));
    EXPECT_EQ(atSilentEnd[5].updates, static_cast<size_t>(kSilentRounds));
    EXPECT_EQ(atSilentEnd[1].timeouts + atSilentEnd[5].timeouts, 0u);
    // Slave 2 was marked after two failures in a row and then tried once per
    // retry period only, each try a time-out.
    const SLinkHealth& silent = atSilentEnd[2];
    EXPECT_TRUE(silent.marked);
    EXPECT_EQ(silent.updates, 0u);
    EXPECT_EQ(silent.timeouts, silent.polls);
    EXPECT_LE(silent.polls, 2 + static_cast<size_t>(silentFor / plan.retryEvery) + 1);
    EXPECT_LT(silent.polls, static_cast<size_t>(kSilentRounds / 2));

    // Back, it is read every round again.
    EXPECT_GT(backInRound, kSilentRounds);
    EXPECT_EQ(polledAfterBack, 3);
    ASSERT_EQ(out.health.size(), 3u);
    EXPECT_FALSE(out.health[1].marked);
    EXPECT_EQ(updates[2], out.health[1].updates);
    for (const SLinkHealth& h : out.health)
        EXPECT_EQ(h.polls, h.updates + h.timeouts + h.errors);
    EXPECT_EQ(drv.FirstByteBudget().count(), 0);
}

} // namespace
