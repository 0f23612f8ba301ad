// 导出配置 and 载入配置 against the virtual driver: a round trip that restores
// every register and PDO, an edited field that is loaded and marked, broken
// files that touch nothing, a cancelled export that leaves the port usable,
// and the differences in the pages' words.

#include "tools/ConfigTransfer.h"
#include "GuiTestSupport.h"

#include "ui_ConfigCompareDlg.h"
#include "ui_ConfigProgressDlg.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>

#include <fstream>

namespace {

class ConfigTransferTest : public CWindowTest {
protected:
    void SetUp() override {
        CWindowTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath("drive-a.json").toStdString();
        m_prevChooser = SetFileChooser([this](bool save, const std::string&) {
            m_nSaveAsked += save;
            return m_path;
        });
        m_prevCompare = SetCompareHandler([this](const std::vector<ConfigDiff>& d, bool& comm) {
            m_diffs = d;
            comm = m_bIncludeComm;
            return m_bConfirm;
        });
    }
    void TearDown() override {
        SetFileChooser(m_prevChooser);
        SetCompareHandler(m_prevCompare);
        SetProgressHook({});
    }

    // A setting changed on two pages, a PDO and SYNC; none of them moves the
    // line or the address.
    void ChangeDriver() {
        CVirtualDriver& d = Drv();
        d.SetRegister(0x0050, 25); // 电机控制: PWM上升缓冲
        d.SetRegister(0x0095, 12); // 通讯参数 (comm-a)
        d.SetObject(0x1800, 2, 0xFE);
        d.SetObject(0x1006, 0, 5000);
    }
    // The comparison dialog's rows: group, field, value in the driver and in the file.
    std::vector<std::vector<std::string>> Rows() {
        CConfigCompareDlg dlg(m_diffs, false);
        const QTableWidget* table = dlg.Ui().tblDiffs;
        std::vector<std::vector<std::string>> rows(static_cast<size_t>(table->rowCount()));
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < 4; ++c)
                rows[static_cast<size_t>(r)].push_back(table->item(r, c)->text().toStdString());
        return rows;
    }
    std::string Saved() { return ReadFile(m_path); }
    void WriteText(const std::string& text) {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << text;
    }
    static std::string Replaced(std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    }

    QTemporaryDir m_dir;
    std::string m_path;
    int m_nSaveAsked = 0;
    std::vector<ConfigDiff> m_diffs;
    bool m_bIncludeComm = true, m_bConfirm = true;
    FileChooser m_prevChooser;
    CompareHandler m_prevCompare;
};

TEST_F(ConfigTransferTest, ExportChangeAndLoadRestoresEveryRegisterAndPdo) {
    Open();
    Menu(Ui().actExport);
    ASSERT_EQ(m_boxes.m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes.LastText(), "操作成功\n配置已保存到 " + m_path);

    ChangeDriver();
    Menu(Ui().actLoad);
    // Each of the four changes is listed (a row as the comparison dialog
    // shows it is the edited field's case, the words the comparison's test).
    EXPECT_EQ(m_diffs.size(), 4u);
    ASSERT_EQ(m_boxes.m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes.LastText().rfind("操作成功", 0), 0u) << m_boxes.LastText();
    EXPECT_NE(m_boxes.LastText().find("读取"), std::string::npos);

    // Loaded again, nothing differs: every register and PDO the file holds is
    // back (the comparison that says so is the file tests').
    m_diffs.clear();
    Menu(Ui().actLoad);
    EXPECT_TRUE(m_diffs.empty());
    EXPECT_EQ(m_boxes.LastText(), "设备的配置与文件相同，没有需要写入的内容");
}

TEST_F(ConfigTransferTest, CommunicationGroupsStayUnlessChosen) {
    Open();
    Menu(Ui().actExport);
    const uint16_t ramp = Drv().GetRegister(0x0050);
    Drv().SetRegister(0x0095, 12);
    Drv().SetRegister(0x0050, 25);
    m_bIncludeComm = false;
    Menu(Ui().actLoad);
    ASSERT_EQ(m_diffs.size(), 2u);
    EXPECT_EQ(Drv().GetRegister(0x0050), ramp);
    EXPECT_EQ(Drv().GetRegister(0x0095), 12);
    EXPECT_NE(m_boxes.LastText().find("通讯参数 (1 处不同) 没有写入"), std::string::npos)
        << m_boxes.LastText();
    // Cancelled at the comparison: nothing at all is written.
    Drv().SetRegister(0x0050, 26);
    m_bConfirm = false;
    Drv().ClearRequestLog();
    Menu(Ui().actLoad);
    for (const auto& frame : Drv().RequestLog()) {
        // Reads, and SDO uploads (command 0x40 into the SDO window).
        const bool upload = frame[1] == 0x10 && frame[2] == 0x02 && frame[3] == 0x00 &&
                            frame.size() > 8 && frame[8] == 0x40;
        EXPECT_TRUE(frame[1] == 0x03 || upload) << "a write";
    }
    EXPECT_EQ(Drv().GetRegister(0x0050), 26);
}

// A file edited by hand is checked as the command line checks it (the file
// rules are the file tests'): a broken one is named at every bad place and
// the port is not touched; a field edited in it is what the load writes,
// marked in the comparison.
TEST_F(ConfigTransferTest, ABrokenFileTouchesNothingAndAnEditedFieldIsLoadedAndMarked) {
    Open();
    Menu(Ui().actExport);
    const std::string saved = Saved();
    WriteText(Replaced(Replaced(saved, "\"registers\": [0, 0, 5000, 5000]",
                                "\"registers\": [70000, 0, 5000, 5000]"),
                       "\"registers\": [16256, 0, 15820", "\"registers\": [1, 16256, 0, 15820"));
    const size_t requests = m_sim->Server().RequestCount();
    Menu(Ui().actLoad);
    EXPECT_EQ(m_sim->Server().RequestCount(), requests) << "the port was touched";
    EXPECT_TRUE(m_diffs.empty());
    EXPECT_EQ(m_boxes.LastText().rfind("配置文件有错误", 0), 0u) << m_boxes.LastText();
    for (const char* place : {"blocks.ramp", "blocks.pid"})
        EXPECT_NE(m_boxes.LastText().find(place), std::string::npos) << m_boxes.LastText();

    WriteText(Replaced(saved, "\"over_temperature_shutdown\": \"85℃\"",
                       "\"over_temperature_shutdown\": \"90℃\""));
    Menu(Ui().actLoad);
    ASSERT_EQ(m_diffs.size(), 1u);
    EXPECT_TRUE(m_diffs[0].edited);
    EXPECT_EQ(Rows(), (std::vector<std::vector<std::string>>{
                          {"安全保护", "过热关断", "85 ℃", "90 ℃ (文件中已修改)"}}));
    EXPECT_EQ(Drv().GetRegister(0x0100), 90);
    EXPECT_EQ(m_boxes.LastText().rfind("操作成功", 0), 0u) << m_boxes.LastText();
}

TEST_F(ConfigTransferTest, FailedOrCancelledExportWritesNoFileAndLeavesThePortUsable) {
    Menu(Ui().actExport); // the port is closed: the first read fails
    EXPECT_EQ(m_boxes.LastText(), "读取设备信息失败\n" + ResultText(kResultPortClosed));
    m_boxes.m_boxes.clear();
    Open();
    // Another holder of the poll (a CANopen list load) lets go while the
    // export runs: the poll must come back when both have ended.
    auto other = m_dlg->Context().HoldPoll();
    SetProgressHook([&other](CConfigProgressDlg* progress, int step) {
        if (step == 1)
            other.Release();
        if (step == 3)
            progress->Ui().btnCancel->click();
    });
    // Slow replies, so the export is still running when the button is pressed.
    m_sim->Server().InjectFault(EFault::Delay, 100, -1);
    const size_t before = m_sim->Server().RequestCount();
    Menu(Ui().actExport);
    SetProgressHook({});
    m_sim->Server().ClearFaults();
    // It stopped after the step under way, far short of a whole export.
    EXPECT_LT(m_sim->Server().RequestCount() - before, 10u);
    EXPECT_EQ(m_nSaveAsked, 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m_path)));
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
    EXPECT_EQ(m_dlg->Context().PollHeld(), false);
    EXPECT_TRUE(m_dlg->m_driver.IsOpen());
    Click(Ui().btnReadInfo);
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
    EXPECT_NE(Text(Ui().lblDevId), "-");
}

} // namespace
