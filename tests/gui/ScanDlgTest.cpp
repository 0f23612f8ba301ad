// The bus scan dialog against the virtual driver: finds it, hands it to the
// connection panel, and stops without leaving the port or the poll changed.

#include "tools/ScanDlg.h"
#include "GuiTestSupport.h"

#include "ui_ScanDlg.h"

namespace {

constexpr uint8_t kSimSlave = 37;

class ScanDlgTest : public CWindowTest {
protected:
    void SetUp() override {
        CWindowTest::SetUp();
        Drv().SetSlave(kSimSlave);
        Select(Ui().cmbComPort, kCom - 1);
    }
    std::unique_ptr<CScanDlg> MakeScan(int first, int last, bool allLines = false) {
        auto dlg = std::make_unique<CScanDlg>(m_dlg->Context(), m_dlg->LinkStats(),
                                              m_dlg->PanelLines(), kCom, m_dlg.get());
        dlg->Ui().spnFirst->setValue(first);
        dlg->Ui().spnLast->setValue(last);
        dlg->Ui().spnTimeout->setValue(150); // kind to a loaded machine
        (allLines ? dlg->Ui().rdoAll : dlg->Ui().rdoCurrent)->setChecked(true);
        return dlg;
    }
    static std::string Cell(CScanDlg* dlg, int row, int col) {
        auto* item = dlg->Ui().tblFound->item(row, col);
        return item ? item->text().toStdString() : "";
    }
};

TEST_F(ScanDlgTest, FindsTheDriverAndHandsItToTheConnectionPanelWhichRetunesAnOpenPort) {
    Drv().SetRegister(0x0000, 0x1501);
    auto scan = MakeScan(34, 39);
    scan->OnStart();
    EXPECT_EQ(m_dlg->Context().PollHeld(), true);
    ASSERT_TRUE(WaitGui([&] { return !scan->Scanning(); }, 30000));
    EXPECT_EQ(Text(scan->Ui().lblStatus), "扫描完成，找到 1 个设备");
    ASSERT_EQ(scan->Ui().tblFound->rowCount(), 1);
    EXPECT_EQ(Cell(scan.get(), 0, 0), "37 (0x25)");
    EXPECT_EQ(Cell(scan.get(), 0, 1), "9600");
    EXPECT_EQ(Cell(scan.get(), 0, 2), "无+2停止位");
    EXPECT_EQ(Cell(scan.get(), 0, 3), "0x1501");
    EXPECT_FALSE(Cell(scan.get(), 0, 4).empty());
    // The scan opened the port for itself and closed it again; the poll runs.
    EXPECT_FALSE(m_dlg->m_driver.IsOpen());
    EXPECT_EQ(m_dlg->Context().PollHeld(), false);

    scan->Ui().btnUse->click();
    ASSERT_TRUE(scan->Chosen().has_value());
    m_dlg->SetConnection(scan->Chosen()->slave, scan->Chosen()->line);
    EXPECT_EQ(m_dlg->m_nSlaveAddr, kSimSlave);
    EXPECT_EQ(Text(Ui().edtSlaveAddr), "0x25");
    Open();
    Click(Ui().btnReadInfo);
    EXPECT_EQ(Text(Ui().lblDevId), "0x1501");
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();

    // Another line chosen is taken by the open port at once.
    m_dlg->SetConnection(5, {19200, 2});
    Settle();
    EXPECT_EQ(Ui().cmbBaud->currentText().toStdString(), "19200");
    EXPECT_EQ(Ui().cmbParity->currentIndex(), 2);
    EXPECT_EQ(m_dlg->m_driver.LineSettingsText(), "19200,e,8,1");
    EXPECT_EQ(m_dlg->m_nSlaveAddr, 5);
    EXPECT_EQ(Text(Ui().btnOpenPort), "关闭串口");
}

TEST_F(ScanDlgTest, StopAndCloseEndTheScanAndLeaveThePortAsItWas) {
    Open();
    const std::string settings = m_dlg->m_driver.LineSettingsText();
    for (bool byClose : {false, true}) {
        SCOPED_TRACE(byClose);
        auto scan = MakeScan(1, 247, true);
        scan->OnStart();
        QProgressBar* bar = scan->Ui().barProgress;
        ASSERT_TRUE(WaitGui([&] { return bar->value() >= 2; }, 20000));
        if (byClose)
            scan->reject(); // the close box: returns once the worker has ended
        else
            scan->Ui().btnStop->click();
        // One probe (150 ms) at most, with room for a loaded machine.
        ASSERT_TRUE(WaitGui([&] { return !scan->Scanning(); }, 5000));
        if (!byClose) {
            EXPECT_EQ(Text(scan->Ui().lblStatus).rfind("扫描已停止", 0), 0u);
        }
        EXPECT_LT(bar->value(), bar->maximum());
        EXPECT_TRUE(m_dlg->m_driver.IsOpen());
        EXPECT_EQ(m_dlg->m_driver.LineSettingsText(), settings);
        EXPECT_EQ(m_dlg->m_driver.GetTimeout(), kReplyMs);
        EXPECT_EQ(m_dlg->Context().PollHeld(), false);
    }
    // The scan's time-outs are its own: the link summary counts none.
    m_dlg->OnTimer();
    EXPECT_NE(Text(Ui().lblLinkSummary).find("超时0 "), std::string::npos)
        << Text(Ui().lblLinkSummary);
    Drv().SetSlave(1);
    Click(Ui().btnReadInfo);
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
}

// A found driver's row is the window test's; here one whose information
// could not be read.
TEST(ScanDlgLogic, RowsAndTextsInThePanelsWords) {
    SPanelLines panel{{"9600", "19200"}, {"无+2停止位", "奇+1停止位"}, 1, 1};
    EXPECT_EQ(SelectedLine(panel), (SLineSetting{19200, 1}));
    SScanHit hit;
    hit.infoRc = kResultIllegalAddress;
    EXPECT_EQ(ScanHitRow(hit, panel)[3], "-");
    EXPECT_EQ(ScanHitRow(hit, panel)[4], "应答: " + ResultText(kResultIllegalAddress));
    SScanStep step{3, 10, {9600, 0}, 37};
    EXPECT_EQ(ScanStepText(step, panel), "正在扫描 9600, 无+2停止位, 地址 37 (0x25)");
}

} // namespace
