// The PID and safety pages against the virtual driver: read, configure and
// the state of the configure button; typed text that is no number never
// reaches the driver.

#include "GuiTestSupport.h"

#include <QTest>

namespace {

constexpr size_t kPidTab = 4, kSafetyTab = 6;

class PageTest : public CWindowTest {};

std::vector<uint16_t> RegsOf(const PidBlock& b) {
    return {b.m_reg.begin(), b.m_reg.end()};
}

// Configure stays disabled while reads fail and a failed read changes
// nothing; a read fills the fields and shows nothing; configure refuses a
// gain that is no number, naming it and sending nothing, writes what valid
// fields say and always shows its result. The safety page's read and
// configure are the edit-limit test's.
TEST_F(PageTest, PidReadFillsTheFieldsAndConfigureWritesWhatTheySay) {
    PidBlock gains{};
    const float values[9] = {1.0f, 0.25f, 0.0f, 2.5f, 0.1f, -3.0f, 12.0f, 1e-7f, 100000.0f};
    for (int i = 0; i < 9; ++i)
        gains.SetFloat(static_cast<uint16_t>(0x00BA + 2 * i), values[i]);
    PidBlock expected = gains;
    expected.SetFloat(0x00C2, 0.5f); // 0x3F00 0x0000
    expected.SetFloat(0x00BE, 0.0f);
    Drv().SetRegisters(0x00BA, RegsOf(gains));
    QWidget* page = Page(kPidTab);
    Click(1064, page); // port closed
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultPortClosed));
    Open();
    EXPECT_FALSE(Enabled(page, 1065));
    Type(page, 1057, "7");
    ClickUnanswered(1064, page);
    EXPECT_EQ(Text(1057, page), "7");
    EXPECT_FALSE(Enabled(page, 1065));

    const size_t boxes = Boxes();
    Click(1064, page);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_TRUE(Enabled(page, 1065));
    // One field of each kind; the conversions are the logic tests'.
    ExpectShown({{1057, "1"}, {1054, "-3"}, {1059, "1e-07"}, {1060, "100000"}}, page);
    SetCtrlValue(page, 1053, "0.5");
    SetCtrlValue(page, 1062, "abc");
    const size_t requests = m_sim->Server().RequestCount();
    Click(1065, page);
    EXPECT_EQ(m_boxes.LastText(), "自锁PID参数 Kd: abc 不是数字");
    EXPECT_EQ(m_sim->Server().RequestCount(), requests);
    EXPECT_TRUE(IsMarkedRefused(page, 1062));
    SetCtrlValue(page, 1062, "0");
    Click(1065, page);
    ASSERT_EQ(Boxes(), boxes + 2);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Wire(0x00BA, 18), RegsOf(expected));
    m_sim->Server().InjectFault(EFault::Exception, 4, 1);
    Click(1065, page);
    EXPECT_EQ(m_boxes.LastText(), ResultText(4));
}

// A value longer than its edit's limit is shown whole and written back
// unchanged; the limit stops only what is typed or pasted.
TEST_F(PageTest, EditLimitsBoundTypingButNeverWhatIsShown) {
    PidBlock gains{};
    gains.SetFloat(0x00C0, 123456789.0f); // speed Kp, an 8-character edit
    Drv().SetRegisters(0x00BA, std::vector<uint16_t>(gains.m_reg.begin(), gains.m_reg.end()));
    Drv().SetRegisters(0x0105, {1500}); // Hall error delay, a 3-character edit
    Open();

    struct SCase {
        size_t tab;
        int read, configure, edit;
        const char* shown;
        int limit;
    };
    const SCase cases[] = {{kPidTab, 1064, 1065, 1052, "1.23457e+08", 8},
                           {kSafetyTab, 1143, 1144, 1142, "1500", 3}};
    for (const SCase& c : cases) {
        QWidget* page = Page(c.tab);
        Click(c.read, page);
        auto* edit = Ctrl<QLineEdit>(c.edit, page);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(Text(c.edit, page), c.shown);
        EXPECT_TRUE(edit->hasAcceptableInput()); // editingFinished still fires
        Click(c.configure, page);
        EXPECT_EQ(m_boxes.LastText(), "操作成功");

        // Typing onto the long text adds nothing; deleting still works.
        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, "7");
        EXPECT_EQ(Text(c.edit, page), c.shown);
        QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(edit->text().size(), std::string(c.shown).size() - 1);

        // Typing into an empty edit stops at the limit; so does a paste.
        edit->clear();
        QTest::keyClicks(edit, "1234567890");
        EXPECT_EQ(edit->text().toStdString(), std::string("1234567890").substr(0, c.limit));
        edit->clear();
        edit->insert("9876543210"); // what a paste does
        EXPECT_EQ(edit->text().toStdString(), std::string("9876543210").substr(0, c.limit));
    }
    // The unchanged configures wrote what was shown, not a cut value.
    EXPECT_EQ(Drv().GetRegisters(0x0105, 1), std::vector<uint16_t>{1500});
    PidBlock written{};
    const std::vector<uint16_t> regs = Drv().GetRegisters(0x00BA, 18);
    std::copy(regs.begin(), regs.end(), written.m_reg.begin());
    EXPECT_EQ(written.GetFloat(0x00C0), 1.23457e+08f);
}

} // namespace
