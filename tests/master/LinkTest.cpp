// Link health and wire timing: what the master reports to its observers (the
// window's link summary shows their sum), the summary built from it, and the
// paced virtual driver that answers only at its own settings.

#include "modbus/LinkStats.h"
#include "modbus/ModbusRtu.h"
#include "tests/core/TestBytes.h"
#include "tests/support/LinkRecorder.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

STransactionRecord Record(ResultCode rc, Clock::time_point start, Clock::duration d,
                          size_t replyLen = 0) {
    static const uint8_t bytes[8] = {};
    STransactionRecord t;
    t.request = bytes;
    t.requestLen = 8;
    t.reply = bytes;
    t.replyLen = replyLen;
    t.result = rc;
    t.start = start;
    t.duration = d;
    return t;
}

} // namespace

TEST(LinkObserver, EveryTransactionOnTheLineIsReportedWhileWatched) {
    CSimHarness sim(1);
    ASSERT_TRUE(sim.Ok());
    CModbusRtu master;
    ASSERT_TRUE(master.OpenPortPath(sim.Device(), "9600,n,8,1"));
    CLinkRecorder rec;
    master.AddObserver(&rec);
    master.AddObserver(&rec); // once only

    uint8_t buf[8];
    uint16_t cap = sizeof buf;
    auto read = [&] { return master.ReadRegisters(1, 0x0050, 4, buf, &cap); };
    ASSERT_EQ(read(), kResultOk);
    master.SetTimeout(200);
    sim.Server().InjectFault(EFault::Silent);
    EXPECT_EQ(read(), kResultTimeout);
    sim.Server().InjectFault(EFault::BadCrc);
    EXPECT_EQ(read(), kResultTimeout);
    master.SetTimeout(2000);

    // An exception's reply and every thread's exchanges are the traffic
    // log window's test.
    const std::vector<SSeenTransaction> seen = rec.Seen();
    ASSERT_EQ(seen.size(), 3u);
    const Bytes request = Hex("01 03 00 50 00 04 44 18");
    EXPECT_EQ(seen[0].request, request);
    EXPECT_EQ(seen[0].reply, WithCrc(Hex("01 03 08 00 00 00 00 13 88 13 88")));
    EXPECT_EQ(seen[0].result, kResultOk);
    EXPECT_GT(seen[0].duration, Clock::duration::zero());
    EXPECT_EQ(seen[1].reply, Bytes{}); // silence
    EXPECT_GE(seen[1].duration, 200ms);
    EXPECT_EQ(seen[2].reply.size(), 13u); // the garbled reply, as it came

    // Unwatched, nothing more is reported; refused requests never are.
    master.RemoveObserver(&rec);
    ASSERT_EQ(read(), kResultOk);
    master.AddObserver(&rec);
    master.ClosePort();
    EXPECT_EQ(read(), kResultPortClosed);
    EXPECT_EQ(rec.Seen().size(), 3u);
    master.RemoveObserver(&rec);
}

TEST(LinkStats, SortsOutcomesAndRatesTheRecentWindow) {
    CLinkStats stats;
    const Clock::time_point t0 = Clock::now();
    stats.Reset(t0);
    // Two seconds at ten polls a second, round trips of 70..79 ms.
    for (int i = 0; i < 20; ++i)
        stats.OnTransaction(
            Record(kResultOk, t0 + i * 100ms, std::chrono::milliseconds(70 + i % 10)));
    SLinkSummary s = stats.Summary(t0 + 2s);
    EXPECT_DOUBLE_EQ(s.ratePerSecond, 10.0);
    EXPECT_DOUBLE_EQ(s.medianMs, 74.5);

    stats.OnTransaction(Record(kResultTimeout, t0 + 2s, 1s));         // silence
    stats.OnTransaction(Record(kResultTimeout, t0 + 3s, 1s, 7));      // garbled
    stats.OnTransaction(Record(kResultBadReply, t0 + 4s, 80ms, 61));  // wrong reply
    stats.OnTransaction(Record(6, t0 + 4100ms, 10ms, 5));             // busy
    stats.OnTransaction(Record(kResultPortClosed, t0 + 4200ms, 0ms)); // counted, no class
    s = stats.Summary(t0 + 8s);
    EXPECT_EQ(s.transactions, 25u);
    EXPECT_EQ(s.timeouts, 1u);
    EXPECT_EQ(s.replyErrors, 2u);
    EXPECT_EQ(s.exceptions, 1u);
    EXPECT_DOUBLE_EQ(s.medianMs, 74.5);
    // The rate looks back five seconds; the counts keep everything.
    EXPECT_DOUBLE_EQ(s.ratePerSecond, 3 / 5.0);
    EXPECT_EQ(stats.Summary(t0 + 60s).ratePerSecond, 0.0);
    stats.Reset(t0 + 60s);
    s = stats.Summary(t0 + 61s);
    EXPECT_EQ(s.transactions, 0u);
    EXPECT_EQ(s.medianMs, 0.0);

    // A thread that keeps its own count (a bus scan) is left out while it
    // says so; the others still count meanwhile.
    std::thread scan([&] {
        CLinkStats::CLeaveOutThisThread own(stats);
        stats.OnTransaction(Record(kResultTimeout, t0 + 61s, 50ms));
        std::thread([&] { stats.OnTransaction(Record(kResultTimeout, t0 + 61s, 1s)); }).join();
    });
    scan.join();
    EXPECT_EQ(stats.Summary(t0 + 62s).timeouts, 1u);
    stats.OnTransaction(Record(kResultTimeout, t0 + 62s, 1s)); // this thread: counted
    EXPECT_EQ(stats.Summary(t0 + 63s).timeouts, 2u);
}

TEST(PacedSim, RepliesTakeTheWireTimeAndComeOnlyAtTheDriversSettings) {
    CSimHarness sim(1, -1, true);
    ASSERT_TRUE(sim.Ok());
    CModbusRtu master;
    uint8_t buf[56];
    auto readAt = [&](const char* settings, uint32_t timeoutMs, Clock::duration* took = nullptr) {
        EXPECT_TRUE(master.OpenPortPath(sim.Device(), settings)) << settings;
        master.SetTimeout(timeoutMs);
        uint16_t cap = sizeof buf;
        const auto t0 = Clock::now();
        ResultCode rc = master.ReadRegisters(1, 0x0020, 28, buf, &cap);
        if (took)
            *took = Clock::now() - t0;
        master.ClosePort();
        return rc;
    };
    // 8 request and 61 reply bytes of 11 bits at 9600 baud, then 1 ms turnaround.
    Clock::duration took{};
    ASSERT_EQ(readAt("9600,n,8,2", 3000, &took), kResultOk);
    EXPECT_GE(took, std::chrono::microseconds(69 * 11 * 1000000LL / 9600 + 1000));

    // Set to 19200 baud, odd parity, it answers there, after the turnaround.
    sim.Driver().SetRegisters(0x0090, {0, 19200, 1});
    sim.Server().SetTurnaround(30ms);
    ASSERT_EQ(readAt("19200,o,8,1", 3000, &took), kResultOk);
    EXPECT_GE(took, std::chrono::microseconds(69 * 11 * 1000000LL / 19200 + 30000));
}
