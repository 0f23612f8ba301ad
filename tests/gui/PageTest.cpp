// The PID page against the virtual driver, as the pages that read and
// configure one block work: read, configure and the state of the configure
// button; typed text that is no number never reaches the driver; the edits'
// typing limits.

#include "GuiTestSupport.h"
#include "pages/PidPage.h"
#include "ui_PidPage.h"

#include <QTest>

namespace {

constexpr size_t kPidTab = 4;

class PageTest : public CWindowTest {
protected:
    CPidPage* Pid() { return static_cast<CPidPage*>(Page(kPidTab)); }
};

std::vector<uint16_t> RegsOf(const PidBlock& b) {
    return {b.m_reg.begin(), b.m_reg.end()};
}

// Configure stays disabled while reads fail and a failed read changes
// nothing; a read fills the fields and shows nothing; configure refuses a
// gain that is no number, naming it and sending nothing, writes what valid
// fields say and always shows its result.
TEST_F(PageTest, PidReadFillsTheFieldsAndConfigureWritesWhatTheySay) {
    PidBlock gains{};
    const float values[9] = {1.0f, 0.25f, 0.0f, 2.5f, 0.1f, -3.0f, 12.0f, 1e-7f, 100000.0f};
    for (int i = 0; i < 9; ++i)
        gains.SetFloat(static_cast<uint16_t>(0x00BA + 2 * i), values[i]);
    PidBlock expected = gains;
    expected.SetFloat(0x00C2, 0.5f); // 0x3F00 0x0000
    expected.SetFloat(0x00BE, 0.0f);
    Drv().SetRegisters(0x00BA, RegsOf(gains));
    const Ui::CPidPage& ui = Pid()->Ui();
    Open();
    EXPECT_FALSE(ui.btnConfigure->isEnabled());
    Type(ui.edtHoldingKp, "7");
    ClickUnanswered(ui.btnRead);
    EXPECT_EQ(Text(ui.edtHoldingKp), "7");
    EXPECT_FALSE(ui.btnConfigure->isEnabled());

    const size_t boxes = Boxes();
    Click(ui.btnRead);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_TRUE(ui.btnConfigure->isEnabled());
    // One field of each kind; the conversions are the logic tests'.
    ExpectShown({{ui.edtHoldingKp, "1"}, {ui.edtSpeedKd, "-3"}});
    ExpectShown({{ui.edtPositionKi, "1e-07"}, {ui.edtPositionKd, "100000"}});
    Type(ui.edtSpeedKi, "0.5");
    Type(ui.edtHoldingKd, "abc");
    const size_t requests = m_sim->Server().RequestCount();
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "自锁PID参数 Kd: abc 不是数字");
    EXPECT_EQ(m_sim->Server().RequestCount(), requests);
    EXPECT_TRUE(IsMarkedRefused(Pid(), CtrlIdOf(ui.edtHoldingKd)));
    Type(ui.edtHoldingKd, "0");
    EXPECT_FALSE(IsMarkedRefused(Pid(), CtrlIdOf(ui.edtHoldingKd)));
    Click(ui.btnConfigure);
    ASSERT_EQ(Boxes(), boxes + 2);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Wire(0x00BA, 18), RegsOf(expected));
    m_sim->Server().InjectFault(EFault::Exception, 4, 1);
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), ResultText(4));
}

// A value longer than its edit's limit is shown whole and written back
// unchanged; the limit stops only what is typed or pasted. Every edit of the
// window has its limit so (the main window's test), this one is shown typed.
TEST_F(PageTest, EditLimitsBoundTypingButNeverWhatIsShown) {
    PidBlock gains{};
    gains.SetFloat(0x00C0, 123456789.0f); // speed Kp, an 8-character edit
    Drv().SetRegisters(0x00BA, RegsOf(gains));
    Open();
    const Ui::CPidPage& ui = Pid()->Ui();
    QLineEdit* edit = ui.edtSpeedKp;
    const std::string shown = "1.23457e+08";
    Click(ui.btnRead);
    EXPECT_EQ(Text(edit), shown);
    EXPECT_TRUE(edit->hasAcceptableInput()); // editingFinished still fires
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    // The unchanged configure wrote what was shown, not a cut value.
    PidBlock written{};
    const std::vector<uint16_t> regs = Drv().GetRegisters(0x00BA, 18);
    std::copy(regs.begin(), regs.end(), written.m_reg.begin());
    EXPECT_EQ(written.GetFloat(0x00C0), 1.23457e+08f);

    // Typing onto the long text adds nothing; deleting still works.
    edit->setFocus();
    edit->end(false);
    QTest::keyClicks(edit, "7");
    EXPECT_EQ(Text(edit), shown);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text().size(), shown.size() - 1);

    // A paste into an empty edit stops at the limit (typing there is the
    // main window's address edit's test).
    edit->clear();
    edit->insert("9876543210"); // what a paste does
    EXPECT_EQ(edit->text().toStdString(), "98765432");
}

} // namespace
