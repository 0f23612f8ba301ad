// The register and object-dictionary tool windows against the virtual
// driver: their life beside the main window and what they put on the wire.

#include "GuiTestSupport.h"
#include "tools/ObjDictDlg.h"
#include "tools/RegisterDlg.h"

#include "ui_ObjDictDlg.h"
#include "ui_RegisterDlg.h"

#include <QAction>
#include <QFocusEvent>
#include <QTest>

namespace {

class ToolDlgTest : public CWindowTest {
protected:
    void SetUp() override {
        CWindowTest::SetUp();
        m_reg = m_dlg->findChild<CRegisterDlg*>();
        m_obj = m_dlg->findChild<CObjDictDlg*>();
        ASSERT_NE(m_reg, nullptr);
        ASSERT_NE(m_obj, nullptr);
    }
    Ui::CRegisterDlg& Reg() { return m_reg->Ui(); }
    Ui::CObjDictDlg& Obj() { return m_obj->Ui(); }
    // Types into an edit and moves the focus away, as a user tabbing on.
    static void Enter(QLineEdit* edit, const char* text) {
        edit->setText(text);
        Leave(edit);
    }
    static void Leave(QWidget* w, Qt::FocusReason why = Qt::TabFocusReason) {
        QFocusEvent out(QEvent::FocusOut, why);
        QCoreApplication::sendEvent(w, &out);
    }
    // Each typo is named in a box and never reaches the driver; the edit gets
    // its text back afterwards.
    struct STypo {
        QLineEdit* edit;
        const char *text, *message;
    };
    void ExpectRefused(QAbstractButton* button, std::initializer_list<STypo> typos) {
        const size_t requests = m_sim->Server().RequestCount();
        for (const STypo& t : typos) {
            const QString kept = t.edit->text();
            t.edit->setText(t.text);
            Click(button);
            EXPECT_EQ(m_boxes.LastText(), t.message);
            t.edit->setText(kept);
        }
        EXPECT_EQ(m_sim->Server().RequestCount(), requests);
        m_boxes.m_boxes.clear();
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
    for (auto [menu, tool, edit] :
         {std::tuple{Ui().actRegister, static_cast<QDialog*>(m_reg), Reg().edtWriteDec},
          {Ui().actObjDict, static_cast<QDialog*>(m_obj), Obj().edtSubIndex}}) {
        SCOPED_TRACE(menu->text().toStdString());
        EXPECT_FALSE(tool->isVisible());
        Menu(menu);
        ASSERT_TRUE(tool->isVisible());
        EXPECT_FALSE(tool->isModal());

        edit->setText("12");
        tool->close();
        EXPECT_FALSE(tool->isVisible());
        Menu(menu); // the same window again, with its text
        EXPECT_TRUE(tool->isVisible());
        EXPECT_EQ(Text(edit), "12");

        // Esc and Enter hide it too, and Enter sends nothing.
        QTest::keyClick(edit, Qt::Key_Escape);
        EXPECT_FALSE(tool->isVisible());
        Menu(menu);
        QTest::keyClick(edit, Qt::Key_Return);
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
    Reg().edtWriteAddr->setText("10a");
    Leave(Reg().edtWriteAddr, Qt::PopupFocusReason);
    EXPECT_EQ(Text(Reg().edtWriteAddr), "10a");
    Leave(Reg().edtWriteAddr);
    EXPECT_EQ(Text(Reg().edtWriteAddr), "010A");

    // A new type reinterprets the decimal text. Short -1: 0xFFFF with
    // function 6; the next register keeps its value.
    Select(Reg().cmbWriteType, kRegLong);
    Enter(Reg().edtWriteDec, "-1");
    Select(Reg().cmbWriteType, kRegShort);
    EXPECT_EQ(Text(Reg().edtWriteHex), "FFFF");
    Click(Reg().btnWrite);
    EXPECT_EQ(LastFunction(), 0x06);
    EXPECT_EQ(Drv().GetRegisters(0x010A, 2), (std::vector<uint16_t>{0xFFFF, 0x0000}));

    // The hex edit is what is written, two registers with function 16;
    // leaving it updates the decimal edit.
    Select(Reg().cmbWriteType, kRegLong);
    Enter(Reg().edtWriteHex, "12345678");
    EXPECT_EQ(Text(Reg().edtWriteDec), "305419896");
    Reg().edtWriteDec->setText("7"); // not left: not taken
    Click(Reg().btnWrite);
    EXPECT_EQ(LastFunction(), 0x10);
    EXPECT_EQ(Drv().GetRegisters(0x010A, 2), (std::vector<uint16_t>{0x1234, 0x5678}));

    // A typo never reaches the driver: each text refused names itself.
    ExpectRefused(
        Reg().btnWrite,
        {{Reg().edtWriteAddr, "1O0", "起始地址: 1O0 不是十六进制数 (0000~FFFE)"},
         {Reg().edtWriteAddr, "FFFF", "起始地址: FFFF 超出范围 (0000~FFFE)"},
         {Reg().edtWriteHex, "123456789", "寄存器值: 123456789 不是十六进制数 (00000000~FFFFFFFF)"},
         {Reg().edtWriteDec, "12x", "十进制: 12x 不是整数 (-2147483648~4294967295)"}});

    // A read of two registers, high word first.
    Drv().SetRegisters(0x0101, {0xFFFF, 0xFFFE});
    Enter(Reg().edtReadAddr, "101");
    Select(Reg().cmbReadType, kRegLong);
    Click(Reg().btnRead);
    EXPECT_EQ(Text(Reg().edtReadHex), "FFFFFFFE");
    EXPECT_EQ(Text(Reg().edtReadDec), "-2");
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();

    // Failures are shown and change nothing.
    Select(Reg().cmbReadType, kRegShort);
    ClickUnanswered(Reg().btnRead);
    EXPECT_EQ(Text(Reg().edtReadHex), "FFFFFFFE");
    Enter(Reg().edtWriteAddr, "0020"); // read-only status block
    Click(Reg().btnWrite);
    EXPECT_EQ(m_boxes.LastText(), ResultText(2));
    EXPECT_EQ(m_boxes.m_boxes.size(), 2u);
}

TEST_F(ToolDlgTest, ObjDictSendsTheRequestShowsBothFramesAndDecodesTheAnswer) {
    // Data edits only for writes, converted by the selected width when the
    // focus leaves; the typed edit stays as typed (the conversions themselves
    // are in the logic tests).
    EXPECT_FALSE(Obj().edtData->isEnabled());
    Select(Obj().cmbCommand, 1);
    EXPECT_TRUE(Obj().edtDecimal->isEnabled());
    Enter(Obj().edtDecimal, "300");
    EXPECT_EQ(Text(Obj().edtData), "2C");
    EXPECT_EQ(Text(Obj().edtDecimal), "300");

    Open();
    // A read sends no data whatever the data edit holds.
    Select(Obj().cmbCommand, 0);
    EXPECT_FALSE(Obj().edtData->isEnabled());
    Enter(Obj().edtIndex, "1018");
    Enter(Obj().edtSubIndex, "1");
    Click(Obj().btnOperate);
    EXPECT_EQ(Text(Obj().edtSent), "40 18 10 01 00 00 00 00");
    EXPECT_EQ(Text(Obj().edtAnswer), "43 18 10 01 A7 04 00 00");
    EXPECT_EQ(Text(Obj().lblDecoded), "索引号:0x1018 子索引:1 \n上传四字节数据：0x000004A7(1191)");

    // Three bytes to a manufacturer object, and back.
    Select(Obj().cmbCommand, 3);
    Enter(Obj().edtIndex, "2003");
    Enter(Obj().edtSubIndex, "0");
    Enter(Obj().edtDecimal, "-2");
    EXPECT_EQ(Text(Obj().edtData), "FFFFFE");
    Click(Obj().btnOperate);
    EXPECT_EQ(Text(Obj().edtSent), "27 03 20 00 FE FF FF 00");
    EXPECT_EQ(Text(Obj().edtAnswer), "60 03 20 00 00 00 00 00");
    EXPECT_EQ(Text(Obj().lblDecoded), "索引:0x2003 子索引:0 写入成功");
    uint32_t v = 0;
    ASSERT_TRUE(Drv().GetObject(0x2003, 0, v));
    EXPECT_EQ(v, 0xFFFFFEu);

    // A typo never reaches the driver: each text refused names itself.
    ExpectRefused(Obj().btnOperate,
                  {{Obj().edtIndex, "20O3", "索引: 20O3 不是十六进制数 (0000~FFFF)"},
                   {Obj().edtSubIndex, "256", "子索引: 256 超出范围 (0~255)"},
                   {Obj().edtData, "1000000", "数据: 1000000 超出范围 (0~FFFFFF)"},
                   {Obj().edtDecimal, "-2x", "十进制: -2x 不是整数 (-8388608~16777215)"}});

    // An object the driver lacks: the abort is decoded, no box.
    Select(Obj().cmbCommand, 0);
    Enter(Obj().edtIndex, "2005");
    Click(Obj().btnOperate);
    EXPECT_EQ(Text(Obj().edtAnswer), "80 05 20 00 00 00 02 06");
    EXPECT_EQ(Text(Obj().lblDecoded),
              "索引号:0x2005 子索引:0 \n传送中断：对象字典中对象不存在 (0x06020000)");
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();

    // A Modbus failure: a box, and the three output fields emptied.
    ClickUnanswered(Obj().btnOperate);
    EXPECT_EQ(m_boxes.m_boxes.back().caption, kAppTitle);
    ExpectShown({{Obj().edtSent, ""}, {Obj().edtAnswer, ""}, {Obj().lblDecoded, ""}});
}

} // namespace
