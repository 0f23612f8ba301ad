// The bus scan dialog against the virtual driver: finds it, hands it to the
// connection panel, and stops without leaving the port or the poll changed.

#include "tools/ScanDlg.h"
#include "GuiTestSupport.h"

#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>

namespace {

constexpr uint8_t kSimSlave = 37;

class ScanDlgTest : public CWindowTest {
protected:
    void SetUp() override {
        CWindowTest::SetUp();
        Drv().SetSlave(kSimSlave);
        Ctrl<QComboBox>(1001)->setCurrentIndex(kCom - 1);
    }
    std::unique_ptr<CScanDlg> MakeScan(int first, int last, bool allLines = false) {
        auto dlg = std::make_unique<CScanDlg>(m_dlg->Context(), m_dlg->LinkStats(),
                                              m_dlg->PanelLines(), kCom, m_dlg.get());
        FindCtrl<QSpinBox>(dlg.get(), 2003)->setValue(first);
        FindCtrl<QSpinBox>(dlg.get(), 2004)->setValue(last);
        FindCtrl<QSpinBox>(dlg.get(), 2005)->setValue(150); // kind to a loaded machine
        FindCtrl<QRadioButton>(dlg.get(), allLines ? 2002 : 2001)->setChecked(true);
        return dlg;
    }
    static std::string Cell(CScanDlg* dlg, int row, int col) {
        auto* item = FindCtrl<QTableWidget>(dlg, 2010)->item(row, col);
        return item ? item->text().toStdString() : "";
    }
};

TEST_F(ScanDlgTest, FindsTheDriverAndHandsItToTheConnectionPanel) {
    Drv().SetRegister(0x0000, 0x1501);
    auto scan = MakeScan(34, 39);
    scan->OnStart();
    EXPECT_EQ(m_dlg->Context().PollHeld(), true);
    ASSERT_TRUE(WaitGui([&] { return !scan->Scanning(); }, 30000));
    EXPECT_EQ(CtrlValue(scan.get(), 2009), "扫描完成，找到 1 个设备");
    auto* table = FindCtrl<QTableWidget>(scan.get(), 2010);
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(Cell(scan.get(), 0, 0), "37 (0x25)");
    EXPECT_EQ(Cell(scan.get(), 0, 1), "9600");
    EXPECT_EQ(Cell(scan.get(), 0, 2), "无+2停止位");
    EXPECT_EQ(Cell(scan.get(), 0, 3), "0x1501");
    EXPECT_FALSE(Cell(scan.get(), 0, 4).empty());
    // The scan opened the port for itself and closed it again; the poll runs.
    EXPECT_FALSE(m_dlg->m_driver.IsOpen());
    EXPECT_EQ(m_dlg->Context().PollHeld(), false);

    FindCtrl<QPushButton>(scan.get(), 2011)->click();
    ASSERT_TRUE(scan->Chosen().has_value());
    m_dlg->SetConnection(scan->Chosen()->slave, scan->Chosen()->line);
    EXPECT_EQ(m_dlg->m_nSlaveAddr, kSimSlave);
    EXPECT_EQ(Text(1174), "0x25");
    Open();
    Click(1013);
    EXPECT_EQ(Text(1018), "0x1501");
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
}

TEST_F(ScanDlgTest, ChoosingAnotherLineSettingRetunesAnOpenPort) {
    Open();
    m_dlg->SetConnection(5, {19200, 2});
    Settle();
    EXPECT_EQ(Ctrl<QComboBox>(1002)->currentText().toStdString(), "19200");
    EXPECT_EQ(Ctrl<QComboBox>(1003)->currentIndex(), 2);
    EXPECT_EQ(m_dlg->m_driver.LineSettingsText(), "19200,e,8,1");
    EXPECT_EQ(m_dlg->m_nSlaveAddr, 5);
    EXPECT_EQ(Text(1011), "关闭串口");
}

TEST_F(ScanDlgTest, StopAndCloseEndTheScanAndLeaveThePortAsItWas) {
    Open();
    const std::string settings = m_dlg->m_driver.LineSettingsText();
    for (bool byClose : {false, true}) {
        SCOPED_TRACE(byClose);
        auto scan = MakeScan(1, 247, true);
        scan->OnStart();
        auto* bar = FindCtrl<QProgressBar>(scan.get(), 2008);
        ASSERT_TRUE(WaitGui([&] { return bar->value() >= 2; }, 20000));
        if (byClose)
            scan->reject(); // the close box: returns once the worker has ended
        else
            FindCtrl<QPushButton>(scan.get(), 2007)->click();
        // One probe (150 ms) at most, with room for a loaded machine.
        ASSERT_TRUE(WaitGui([&] { return !scan->Scanning(); }, 5000));
        if (!byClose) {
            EXPECT_EQ(CtrlValue(scan.get(), 2009).rfind("扫描已停止", 0), 0u);
        }
        EXPECT_LT(bar->value(), bar->maximum());
        EXPECT_TRUE(m_dlg->m_driver.IsOpen());
        EXPECT_EQ(m_dlg->m_driver.LineSettingsText(), settings);
        EXPECT_EQ(m_dlg->m_driver.GetTimeout(), kReplyMs);
        EXPECT_EQ(m_dlg->Context().PollHeld(), false);
    }
    // The scan's time-outs are its own: the link summary counts none.
    m_dlg->OnTimer();
    auto* summary = m_dlg->findChild<QLabel*>("lblLinkSummary");
    ASSERT_NE(summary, nullptr);
    EXPECT_NE(summary->text().toStdString().find("超时0 "), std::string::npos)
        << summary->text().toStdString();
    Drv().SetSlave(1);
    Click(1013);
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
