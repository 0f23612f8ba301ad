// The live plot's history, the status values it follows, the CSV recording
// and the traffic log: plain logic, no QApplication.

#include "desklogic/StatusSamples.h"
#include "desklogic/TrafficLog.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string TempPath(const char* name) {
    return "/tmp/halvik-plot-" + std::to_string(getpid()) + "-" + name;
}

StatusSample At(int64_t ms, float first = 0) {
    StatusSample s;
    s.wallMs = ms;
    s.v[0] = first;
    return s;
}

} // namespace

// The fields' scales and unit flags are the catalogue's; temperature and
// supply voltage are the plot window's test.
TEST(StatusPlotValues, FollowTheBlocksOwnUnitFlags) {
    RealtimeStatusBlock b{};
    b.At(0x0020) = 0xFC18; // -100.0 %
    b.At(0x0022) = 1234;
    b.At(0x0034) = 150;
    b.Set32(0x0024, 0xFFFFFFFF);
    b.At(0x002B) = static_cast<uint16_t>(-1500);
    auto v = PlotValues(b);
    EXPECT_FLOAT_EQ(v[kSeriesOutputPwm], -100.0f);
    EXPECT_FLOAT_EQ(v[kSeriesCommFrequency], 123.4f);
    EXPECT_FLOAT_EQ(v[kSeriesMotorSpeed], 150.0f);
    EXPECT_FLOAT_EQ(v[kSeriesPosition], -1.0f);
    EXPECT_FLOAT_EQ(v[kSeriesDifferential], -1.5f);

    b.At(0x0036) = 1; // whole Hz
    EXPECT_FLOAT_EQ(PlotValues(b)[kSeriesCommFrequency], 1234.0f);
    b.At(0x0034) = 0xFFFF; // unknown speed: a gap, not 655350 RPM
    EXPECT_TRUE(std::isnan(PlotValues(b)[kSeriesMotorSpeed]));
}

TEST(SampleHistory, KeepsTheNewestInFixedRoomAndFindsTheNearest) {
    CSampleHistory h(5);
    for (int i = 0; i < 12; ++i)
        h.Add(At(1000 + 100 * i, static_cast<float>(i)));
    ASSERT_EQ(h.Size(), 5u);
    EXPECT_EQ(h.Dropped(), 7u);
    EXPECT_FLOAT_EQ(h.At(0).v[0], 7.0f); // oldest kept
    EXPECT_DOUBLE_EQ(h.At(0).t, 0.7);    // times count from the first sample
    EXPECT_DOUBLE_EQ(h.At(4).t, 1.1);
    EXPECT_EQ(h.Nearest(0.0), 0u);
    EXPECT_EQ(h.Nearest(0.94), 2u);
    EXPECT_EQ(h.Nearest(0.96), 3u);
    EXPECT_EQ(h.Nearest(99), 4u);
    h.Clear();
    EXPECT_EQ(h.Size(), 0u);
    EXPECT_DOUBLE_EQ(h.Add(At(50000)).t, 0.0); // a clear starts the clock anew
}

TEST(CsvRecorder, WritesHeaderAndRowsAtOnceAndFailedPollsAsTheirText) {
    const std::string path = TempPath("rec.csv");
    CCsvRecorder rec;
    std::string error;
    ASSERT_TRUE(rec.Start(path, error)) << error;
    StatusSample ok = At(1'765'000'000'000LL, 12.5f);
    ok.v[kSeriesMotorSpeed] = NAN;
    ASSERT_TRUE(rec.Write(ok));
    StatusSample failed = At(1'765'000'000'100LL);
    failed.rc = kResultTimeout;
    ASSERT_TRUE(rec.Write(failed));

    // Nothing waits for Stop: a killed program leaves every row on disk.
    const std::string text = ReadFile(path);
    ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
    std::istringstream lines(text.substr(3));
    std::string header, row1, row2;
    std::getline(lines, header);
    std::getline(lines, row1);
    std::getline(lines, row2);
    EXPECT_EQ(header.rfind("time,t_s,result,输出PWM (%),相电流 (A)", 0), 0u) << header;
    EXPECT_NE(header.find("电机转速 (RPM)"), std::string::npos);
    EXPECT_NE(row1.find(",0.000,ok,12.5,0,"), std::string::npos) << row1;
    EXPECT_NE(row1.find(",0,,0,"), std::string::npos) << "unknown speed left empty: " << row1;
    EXPECT_NE(row2.find(",0.100," + ResultText(kResultTimeout) + ",,,"), std::string::npos) << row2;
    EXPECT_EQ(row1.substr(0, 4), "2025"); // ISO-8601 local time
    EXPECT_EQ(row1[10], 'T');
    rec.Stop();
    unlink(path.c_str());

    EXPECT_FALSE(rec.Start("/nonexistent-dir/x.csv", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(rec.Recording());
    // A link planted where the recording goes does not lead the rows elsewhere.
    const std::string victim = TempPath("victim.csv");
    std::ofstream(victim) << "someone's";
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    EXPECT_FALSE(rec.Start(path, error));
    EXPECT_NE(error.find("符号链接"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(victim), "someone's");
    unlink(path.c_str());
    unlink(victim.c_str());
}

TEST(TrafficLog, BoundedOrderedAcrossThreadsFilteredAndExported) {
    CTrafficLog log(100);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 50; ++i) {
                TrafficEntry e;
                e.request = {1, 3, static_cast<uint8_t>(t)};
                e.rc = i % 5 == 0 ? kResultTimeout : kResultOk;
                log.Add(e);
            }
        });
    for (auto& t : threads)
        t.join();
    ASSERT_EQ(log.Size(), 100u);
    EXPECT_EQ(log.FirstSeq(), 101u);
    auto newer = log.Since(180);
    ASSERT_EQ(newer.size(), 20u);
    EXPECT_EQ(newer.front().seq, 181u);
    EXPECT_EQ(log.Since(0).size(), 100u);

    EXPECT_TRUE(TrafficFilterMatches(ETrafficFilter::Timeout, kResultTimeout));
    EXPECT_FALSE(TrafficFilterMatches(ETrafficFilter::Timeout, kResultBadReply));
    EXPECT_TRUE(TrafficFilterMatches(ETrafficFilter::Exception, kResultNotLearned));
    EXPECT_FALSE(TrafficFilterMatches(ETrafficFilter::Exception, kResultTimeout));
    EXPECT_FALSE(TrafficFilterMatches(ETrafficFilter::Ok, kResultBadReply));

    TrafficEntry e;
    e.wallMs = 1'765'000'000'123LL;
    e.request = {0x01, 0x03, 0x00, 0x60, 0x00, 0x02, 0xC4, 0x15};
    e.reply = {0x01, 0x83, 0x02, 0xC0, 0xF1};
    e.rc = kResultIllegalAddress;
    e.rttMs = 12.345;
    const std::string csv = TempPath("traffic.csv"), txt = TempPath("traffic.txt");
    std::string error;
    ASSERT_TRUE(ExportTraffic({e}, csv, true, error)) << error;
    ASSERT_TRUE(ExportTraffic({e}, txt, false, error)) << error;
    EXPECT_NE(ReadFile(csv).find(".123,12.35," + ResultText(kResultIllegalAddress) +
                                 ",2,01 03 00 60 00 02 C4 15,01 83 02 C0 F1,"
                                 "\"从站1 读 电机参数 (0x0060, 2个): 非法寄存器地址\"\r\n"),
              std::string::npos)
        << ReadFile(csv);
    EXPECT_NE(ReadFile(txt).find(
                  "TX: 01 03 00 60 00 02 C4 15\n  RX: 01 83 02 C0 F1\n  从站1 读 电机参数"),
              std::string::npos);
    // A link in the export's place is replaced, its target left alone.
    ASSERT_EQ(unlink(txt.c_str()), 0);
    ASSERT_EQ(symlink(csv.c_str(), txt.c_str()), 0);
    const std::string before = ReadFile(csv);
    ASSERT_TRUE(ExportTraffic({e}, txt, false, error)) << error;
    EXPECT_EQ(ReadFile(csv), before);
    EXPECT_NE(ReadFile(txt).find("TX: "), std::string::npos);
    unlink(csv.c_str());
    unlink(txt.c_str());
}
