// The live plot and its CSV recording, fed by the main window's status poll
// against the virtual driver.

#include "GuiTestSupport.h"
#include "tools/PlotDlg.h"
#include "tools/TrafficLogDlg.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <qcustomplot.h>

#include <thread>
#include <unistd.h>

namespace {

class PlotWindowTest : public CWindowTest {
protected:
    const CSampleHistory& History() { return m_dlg->PlotDlg()->History(); }
    const StatusSample& Last() { return History().At(History().Size() - 1); }
    void Poll(size_t samples) {
        const size_t want = History().Size() + samples;
        ASSERT_TRUE(WaitGui([&] { return History().Size() >= want; }, 20000));
    }
};

TEST_F(PlotWindowTest, SamplesOfThePollReachThePlotAndTheRecordingThroughAFailingPoll) {
    CPlotDlg* plot = m_dlg->PlotDlg();
    ASSERT_NE(plot, nullptr);
    Open();
    m_dlg->OnTimer();
    EXPECT_TRUE(plot->History().Size() == 0) << "no samples while auto update is off";

    const std::string path = "/tmp/halvik-plotwin-" + std::to_string(getpid()) + ".csv";
    ASSERT_TRUE(plot->StartRecording(path));
    Ui().chkAutoUpdate->click();
    Poll(3);
    // The same values the status group shows, in engineering units.
    ASSERT_EQ(Last().rc, kResultOk);
    EXPECT_EQ(Text(Ui().lblInputVoltage), "24.0V (0.05A)");
    EXPECT_FLOAT_EQ(Last().v[kSeriesSupplyVoltage], 24.0f);
    EXPECT_FLOAT_EQ(Last().v[kSeriesTemperature], 25.3f);
    EXPECT_EQ(plot->Plot()->graph(kSeriesSupplyVoltage)->data()->size(),
              static_cast<int>(History().Size()));

    // The driver goes quiet, then answers again: the recording goes on.
    Silence();
    ASSERT_TRUE(WaitGui([&] { return Last().rc == kResultTimeout; }, 20000));
    Unsilence();
    ASSERT_TRUE(WaitGui([&] { return Last().rc == kResultOk; }, 20000));
    Poll(1);
    plot->StopRecording();

    // The rows' form is the recorder's own test.
    const std::string csv = ReadFile(path);
    EXPECT_NE(csv.find("," + ResultText(kResultTimeout) + ","), std::string::npos);
    EXPECT_GT(csv.rfind(",ok,"), csv.find(ResultText(kResultTimeout))) << "rows after the failure";
    EXPECT_NE(csv.find(",24,0.05,"), std::string::npos) << csv.substr(0, 400);
    unlink(path.c_str());
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
}

TEST_F(PlotWindowTest, TheDrawnLinesStayAsBoundedAsTheHistory) {
    CPlotDlg plot(nullptr, 50);
    for (int i = 0; i < 200; ++i) {
        StatusSample s;
        s.wallMs = 1'000'000 + 100 * i;
        s.v[kSeriesMotorSpeed] = static_cast<float>(i);
        plot.AddSample(s);
    }
    EXPECT_EQ(plot.History().Size(), 50u);
    for (int k = 0; k < kPlotSeriesCount; ++k)
        EXPECT_EQ(plot.Plot()->graph(k)->data()->size(), 50) << k;
}

TEST_F(PlotWindowTest, TheTrafficLogRecordsEveryThreadsExchangesWithTheirResults) {
    Open();
    CTrafficLogDlg* dlg = m_dlg->TrafficLogDlg();
    ASSERT_NE(dlg, nullptr);
    DeviceInfoBlock info{};
    ASSERT_EQ(m_dlg->m_driver.ReadDeviceInfoBlock(1, info), kResultOk);
    ResultCode workerRc = -1;
    std::thread worker([&] { workerRc = m_dlg->m_driver.WriteRegister(1, 0x3000, 1); });
    worker.join();
    ASSERT_NE(workerRc, kResultOk) << "an unmapped register is refused";
    Silence();
    EXPECT_EQ(m_dlg->m_driver.ReadDeviceInfoBlock(1, info), kResultTimeout);
    Unsilence();

    // What each entry holds is the master's and the log's test.
    const auto all = m_dlg->m_trafficLog.Since(0);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].rc, workerRc);
    EXPECT_EQ(all[2].rc, kResultTimeout);

    // Enter in the list or the filter runs no button: neither "清除" nor
    // "导出..." (whose file dialog would be closed here, and counted).
    dlg->show();
    bool modal = false;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            modal = true;
            w->close();
        }
    });
    guard.start(50);
    for (QWidget* w : dlg->findChildren<QWidget*>())
        if (w->focusPolicy() != Qt::NoFocus && w->isVisible() && !qobject_cast<QPushButton*>(w))
            QTest::keyClick(w, Qt::Key_Return);
    EXPECT_EQ(m_dlg->m_trafficLog.Size(), 3u);
    EXPECT_FALSE(modal);

    // Each row says what it meant; a field name or text keeps its rows.
    dlg->Refresh();
    ASSERT_EQ(dlg->Meanings().size(), 3u);
    EXPECT_EQ(TransactionSummary(dlg->Meanings()[1]),
              "从站1 写 寄存器 0x3000 (0x3000, 1个): " + ResultText(workerRc));
    dlg->SetFind("MODEL");
    ASSERT_EQ(dlg->Shown().size(), 1u) << "the answered read has the model field";
    dlg->SetFind("");

    dlg->SetFilter(ETrafficFilter::Failed);
    ASSERT_EQ(dlg->Shown().size(), 2u);
    // Opening the port again starts a new log.
    Click(Ui().btnOpenPort);
    Click(Ui().btnOpenPort);
    EXPECT_EQ(m_dlg->m_trafficLog.Size(), 0u);
    dlg->Refresh();
    EXPECT_TRUE(dlg->Shown().empty());
}

} // namespace
