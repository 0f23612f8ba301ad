// The register and object-dictionary tool windows against the virtual
// driver: their life beside the main window and what they put on the wire.

#include "GuiTestSupport.h"
#include "tools/ObjDictDlg.h"
#include "tools/RegisterDlg.h"

#include <QAction>
#include <QFocusEvent>
#include <QTest>

namespace {

// Register dialog controls.
constexpr int kWAddr = 1146, kWType = 1151, kWHex = 1147, kWDec = 1150, kWrite = 1063;
constexpr int kRAddr = 1148, kRType = 1152, kRHex = 1149, kRDec = 1153, kRead = 1062;
// Object dictionary dialog controls.
constexpr int kCmd = 1168, kIndex = 1169, kSub = 1048, kData = 1109, kDec = 1110;
constexpr int kSent = 1016, kAnswer = 1049, kDecoded = 1171, kOperate = 1062;

class ToolDlgTest : public CWindowTest {
protected:
    void SetUp() override {
        CWindowTest::SetUp();
        m_reg = m_dlg->findChild<CRegisterDlg*>();
        m_obj = m_dlg->findChild<CObjDictDlg*>();
        ASSERT_NE(m_reg, nullptr);
        ASSERT_NE(m_obj, nullptr);
    }
    // Types into an edit and moves the focus away, as a user tabbing on.
    void Enter(QWidget* dlg, int id, const char* text) {
        Ctrl<QLineEdit>(id, dlg)->setText(text);
        Leave(dlg, id);
    }
    void Leave(QWidget* dlg, int id, Qt::FocusReason why = Qt::TabFocusReason) {
        QFocusEvent out(QEvent::FocusOut, why);
        QCoreApplication::sendEvent(Ctrl(id, dlg), &out);
    }
    // Function code of the last request the driver received.
    int LastFunction() {
        const auto log = Drv().RequestLog();
        return log.empty() ? -1 : log.back().at(1);
    }
    CRegisterDlg* m_reg = nullptr;
    CObjDictDlg* m_obj = nullptr;
};

TEST_F(ToolDlgTest, MenusShowOneHiddenWindowEachCentredAndClosingKeepsItsTexts) {
    m_dlg->show();
    for (auto [menu, tool, edit] : {std::tuple{32774, static_cast<QDialog*>(m_reg), kWDec},
                                    {32776, static_cast<QDialog*>(m_obj), kSub}}) {
        EXPECT_FALSE(tool->isVisible());
        Menu(menu);
        ASSERT_TRUE(tool->isVisible());
        EXPECT_FALSE(tool->isModal());
        const QPoint offset = tool->frameGeometry().center() - m_dlg->frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 2) << menu;

        Ctrl<QLineEdit>(edit, tool)->setText("12");
        tool->close();
        EXPECT_FALSE(tool->isVisible());
        Menu(menu); // the same window again, with its text
        EXPECT_TRUE(tool->isVisible());
        EXPECT_EQ(Text(edit, tool), "12");

        // Esc and Enter hide it too, and Enter sends nothing.
        QTest::keyClick(Ctrl<QLineEdit>(edit, tool), Qt::Key_Escape);
        EXPECT_FALSE(tool->isVisible());
        Menu(menu);
        QTest::keyClick(Ctrl<QLineEdit>(edit, tool), Qt::Key_Return);
        EXPECT_FALSE(tool->isVisible());
    }
    EXPECT_EQ(m_dlg->findChildren<CRegisterDlg*>().size(), 1);
    EXPECT_EQ(m_dlg->findChildren<CObjDictDlg*>().size(), 1);
    EXPECT_EQ(m_sim->Server().RequestCount(), 0u);
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
}

TEST_F(ToolDlgTest, RegisterDialogWritesByTypeReadsAndReportsFailures) {
    Open();
    // Addresses are normalised when the focus leaves, but not for a popup.
    Ctrl<QLineEdit>(kWAddr, m_reg)->setText("10a");
    Leave(m_reg, kWAddr, Qt::PopupFocusReason);
    EXPECT_EQ(Text(kWAddr, m_reg), "10a");
    Leave(m_reg, kWAddr);
    EXPECT_EQ(Text(kWAddr, m_reg), "010A");

    // Float 1.5: 0x3FC0 0x0000 with function 16.
    Select(m_reg, kWType, kRegFloat);
    Enter(m_reg, kWDec, "1.5");
    Click(kWrite, m_reg);
    EXPECT_EQ(LastFunction(), 0x10);
    EXPECT_EQ(Drv().GetRegisters(0x010A, 2), (std::vector<uint16_t>{0x3FC0, 0x0000}));

    // A new type reinterprets the decimal text. Short -1: 0xFFFF with
    // function 6; the next register keeps its value.
    Enter(m_reg, kWDec, "-1");
    Select(m_reg, kWType, kRegShort);
    EXPECT_EQ(Text(kWHex, m_reg), "FFFF");
    Click(kWrite, m_reg);
    EXPECT_EQ(LastFunction(), 0x06);
    EXPECT_EQ(Drv().GetRegisters(0x010A, 2), (std::vector<uint16_t>{0xFFFF, 0x0000}));

    // The hex edit is what is written; leaving it updates the decimal edit.
    Select(m_reg, kWType, kRegLong);
    Enter(m_reg, kWHex, "12345678");
    EXPECT_EQ(Text(kWDec, m_reg), "305419896");
    Ctrl<QLineEdit>(kWDec, m_reg)->setText("7"); // not left: not taken
    Click(kWrite, m_reg);
    EXPECT_EQ(Drv().GetRegisters(0x010A, 2), (std::vector<uint16_t>{0x1234, 0x5678}));

    // A typo never reaches the driver: each text refused names itself.
    const size_t requests = m_sim->Server().RequestCount();
    const struct {
        int ctrl;
        const char *text, *message;
    } typos[] = {
        {kWAddr, "1O0", "起始地址: 1O0 不是十六进制数 (0000~FFFE)"},
        {kWAddr, "FFFF", "起始地址: FFFF 超出范围 (0000~FFFE)"},
        {kWHex, "123456789", "寄存器值: 123456789 不是十六进制数 (00000000~FFFFFFFF)"},
        {kWDec, "12x", "十进制: 12x 不是整数 (-2147483648~4294967295)"},
    };
    for (const auto& t : typos) {
        const std::string kept = Text(t.ctrl, m_reg);
        Ctrl<QLineEdit>(t.ctrl, m_reg)->setText(t.text);
        Click(kWrite, m_reg);
        EXPECT_EQ(m_boxes.LastText(), t.message);
        Ctrl<QLineEdit>(t.ctrl, m_reg)->setText(QString::fromStdString(kept));
    }
    EXPECT_EQ(m_sim->Server().RequestCount(), requests);
    m_boxes.m_boxes.clear();

    // A read of two registers, high word first.
    Drv().SetRegisters(0x0101, {0xFFFF, 0xFFFE});
    Enter(m_reg, kRAddr, "101");
    Select(m_reg, kRType, kRegLong);
    Click(kRead, m_reg);
    EXPECT_EQ(Text(kRHex, m_reg), "FFFFFFFE");
    EXPECT_EQ(Text(kRDec, m_reg), "-2");
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();

    // Failures are shown and change nothing.
    Select(m_reg, kRType, kRegShort);
    ClickUnanswered(kRead, m_reg);
    EXPECT_EQ(Text(kRHex, m_reg), "FFFFFFFE");
    Enter(m_reg, kWAddr, "0020"); // read-only status block
    Click(kWrite, m_reg);
    EXPECT_EQ(m_boxes.LastText(), ResultText(2));
    EXPECT_EQ(m_boxes.m_boxes.size(), 2u);
}

TEST_F(ToolDlgTest, ObjDictSendsTheRequestShowsBothFramesAndDecodesTheAnswer) {
    // Data edits only for writes.
    EXPECT_FALSE(Ctrl(kData, m_obj)->isEnabled());
    EXPECT_FALSE(Ctrl(kDec, m_obj)->isEnabled());
    Select(m_obj, kCmd, 2);
    EXPECT_TRUE(Ctrl(kData, m_obj)->isEnabled());
    EXPECT_TRUE(Ctrl(kDec, m_obj)->isEnabled());

    // Converted by the selected width when the focus leaves; the typed edit
    // stays as typed (the conversions themselves are in the logic tests).
    Select(m_obj, kCmd, 1);
    Enter(m_obj, kDec, "300");
    EXPECT_EQ(Text(kData, m_obj), "2C");
    EXPECT_EQ(Text(kDec, m_obj), "300");

    Open();
    // A read sends no data whatever the data edit holds.
    Select(m_obj, kCmd, 0);
    EXPECT_FALSE(Ctrl(kData, m_obj)->isEnabled());
    Enter(m_obj, kIndex, "1018");
    Enter(m_obj, kSub, "1");
    Click(kOperate, m_obj);
    EXPECT_EQ(Text(kSent, m_obj), "40 18 10 01 00 00 00 00");
    EXPECT_EQ(Text(kAnswer, m_obj), "43 18 10 01 A7 04 00 00");
    EXPECT_EQ(Text(kDecoded, m_obj), "索引号:0x1018 子索引:1 \n上传四字节数据：0x000004A7(1191)");

    // Three bytes to a manufacturer object, and back.
    Select(m_obj, kCmd, 3);
    Enter(m_obj, kIndex, "2003");
    Enter(m_obj, kSub, "0");
    Enter(m_obj, kDec, "-2");
    EXPECT_EQ(Text(kData, m_obj), "FFFFFE");
    Click(kOperate, m_obj);
    EXPECT_EQ(Text(kSent, m_obj), "27 03 20 00 FE FF FF 00");
    EXPECT_EQ(Text(kAnswer, m_obj), "60 03 20 00 00 00 00 00");
    EXPECT_EQ(Text(kDecoded, m_obj), "索引:0x2003 子索引:0 写入成功");
    uint32_t v = 0;
    ASSERT_TRUE(Drv().GetObject(0x2003, 0, v));
    EXPECT_EQ(v, 0xFFFFFEu);

    // A typo never reaches the driver: each text refused names itself.
    const size_t requests = m_sim->Server().RequestCount();
    const struct {
        int ctrl;
        const char *text, *message;
    } typos[] = {
        {kIndex, "20O3", "索引: 20O3 不是十六进制数 (0000~FFFF)"},
        {kSub, "256", "子索引: 256 超出范围 (0~255)"},
        {kData, "1000000", "数据: 1000000 超出范围 (0~FFFFFF)"},
        {kDec, "-2x", "十进制: -2x 不是整数 (-8388608~16777215)"},
    };
    for (const auto& t : typos) {
        const std::string kept = Text(t.ctrl, m_obj);
        Ctrl<QLineEdit>(t.ctrl, m_obj)->setText(t.text);
        Click(kOperate, m_obj);
        EXPECT_EQ(m_boxes.LastText(), t.message);
        Ctrl<QLineEdit>(t.ctrl, m_obj)->setText(QString::fromStdString(kept));
    }
    EXPECT_EQ(m_sim->Server().RequestCount(), requests);
    m_boxes.m_boxes.clear();

    // An object the driver lacks: the abort is decoded, no box.
    Select(m_obj, kCmd, 0);
    Enter(m_obj, kIndex, "2005");
    Click(kOperate, m_obj);
    EXPECT_EQ(Text(kAnswer, m_obj), "80 05 20 00 00 00 02 06");
    EXPECT_EQ(Text(kDecoded, m_obj),
              "索引号:0x2005 子索引:0 \n传送中断：对象字典中对象不存在 (0x06020000)");
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();

    // A Modbus failure: a box, and the three output fields emptied.
    ClickUnanswered(kOperate, m_obj);
    EXPECT_EQ(m_boxes.m_boxes.back().caption, kAppTitle);
    for (int id : {kSent, kAnswer, kDecoded})
        EXPECT_EQ(Text(id, m_obj), "") << id;
}

} // namespace
