// The PID and safety pages against the virtual driver: read, configure and
// the state of the configure button.

#include "GuiTestSupport.h"

#include <QTest>

namespace {

constexpr size_t kPidTab = 4, kSafetyTab = 6;

class PageTest : public CWindowTest {};

TEST_F(PageTest, PidReadFailsWithoutChangesThenFillsTheGainsAndConfigureWritesTheBlock) {
    QWidget* page = Page(kPidTab);
    CVirtualDriver& drv = m_sim->Driver();
    PidBlock gains{};
    const float values[9] = {1.0f, 0.25f, 0.0f, 2.5f, 0.1f, -3.0f, 12.0f, 1e-7f, 100000.0f};
    for (int i = 0; i < 9; ++i)
        gains.SetFloat(static_cast<uint16_t>(0x00BA + 2 * i), values[i]);
    drv.SetRegisters(0x00BA, std::vector<uint16_t>(gains.m_reg.begin(), gains.m_reg.end()));

    // Configure stays disabled while reads fail; a failed read changes nothing.
    EXPECT_FALSE(Enabled(page, 1065));
    Type(page, 1057, "7");
    Click(1064, page); // port closed
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultPortClosed));
    Open();
    Silence();
    Click(1064, page);
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultTimeout));
    EXPECT_EQ(Text(1057, page), "7");
    EXPECT_FALSE(Enabled(page, 1065));
    Unsilence();

    const size_t boxes = m_boxes.m_boxes.size();
    Click(1064, page);
    EXPECT_EQ(m_boxes.m_boxes.size(), boxes); // nothing shown on success
    EXPECT_TRUE(Enabled(page, 1065));
    const std::pair<int, const char*> shown[] = {{1057, "1"},   {1061, "0.25"},  {1062, "0"},
                                                 {1052, "2.5"}, {1053, "0.1"},   {1054, "-3"},
                                                 {1056, "12"},  {1059, "1e-07"}, {1060, "100000"}};
    for (const auto& [id, text] : shown)
        EXPECT_EQ(Text(id, page), text) << id;

    // Speed Ki 0.5 is 0x3F00 0x0000; text that is not a number writes 0.
    Type(page, 1053, "0.5");
    Type(page, 1062, "abc");
    Click(1065, page);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    PidBlock expected = gains;
    expected.SetFloat(0x00C2, 0.5f); // 0x3F00 0x0000
    expected.SetFloat(0x00BE, 0.0f);
    EXPECT_EQ(drv.GetRegisters(0x00BA, 18),
              std::vector<uint16_t>(expected.m_reg.begin(), expected.m_reg.end()));

    // A failed configure shows its result text.
    m_sim->Server().InjectFault(EFault::Exception, 4, 1);
    Click(1065, page);
    EXPECT_EQ(m_boxes.LastText(), ResultText(4));
}

TEST_F(PageTest, SafetyReadShowsTheFieldsAndConfigureWritesTheExactImage) {
    QWidget* page = Page(kSafetyTab);
    CVirtualDriver& drv = m_sim->Driver();
    drv.SetRegisters(0x0100, {85, 75, 600, 180, 1555, 100, 1, 7, 0, 9, 10000, 0xFFEC, 9876, 5});
    Open();

    EXPECT_FALSE(Enabled(page, 1144));
    Silence();
    Click(1143, page);
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultTimeout));
    EXPECT_EQ(Text(1135, page), "");
    EXPECT_FALSE(Enabled(page, 1144));
    Unsilence();

    Click(1143, page);
    EXPECT_TRUE(Enabled(page, 1144));
    const std::pair<int, const char*> shown[] = {{1135, "85"},     {1136, "75"},   {1140, "60.0"},
                                                 {1141, "18.0"},   {1139, "15.6"}, {1142, "100"},
                                                 {1137, "1.0000"}, {1138, "-2.0"}, {1145, "0.9876"},
                                                 {1146, "0.5"},    {1056, "1"},    {1057, "0"}};
    for (const auto& [id, text] : shown)
        EXPECT_EQ(Text(id, page), text) << id;

    // Typed decimals are scaled exactly: no 229 for 2.3 or 56 for 0.57.
    Type(page, 1135, "85.7");
    Type(page, 1140, "2.3");
    Type(page, 1139, "0.57");
    Type(page, 1137, "1.0234");
    Type(page, 1138, "-2.5");
    Ctrl<QCheckBox>(1057, page)->setChecked(true);
    const size_t boxes = m_boxes.m_boxes.size();
    Click(1144, page);
    ASSERT_EQ(m_boxes.m_boxes.size(), boxes + 1);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(drv.GetRegisters(0x0100, 14), (std::vector<uint16_t>{85, 75, 23, 180, 57, 100, 1, 0,
                                                                   1, 0, 10234, 0xFFE7, 9876, 5}));
}

// A value longer than its edit's limit is shown whole and written back
// unchanged; the limit stops only what is typed or pasted.
TEST_F(PageTest, EditLimitsBoundTypingButNeverWhatIsShown) {
    CVirtualDriver& drv = m_sim->Driver();
    PidBlock gains{};
    gains.SetFloat(0x00C0, 123456789.0f); // speed Kp, an 8-character edit
    drv.SetRegisters(0x00BA, std::vector<uint16_t>(gains.m_reg.begin(), gains.m_reg.end()));
    drv.SetRegisters(0x0105, {1500}); // Hall error delay, a 3-character edit
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
    EXPECT_EQ(drv.GetRegisters(0x0105, 1), std::vector<uint16_t>{1500});
    PidBlock written{};
    const std::vector<uint16_t> regs = drv.GetRegisters(0x00BA, 18);
    std::copy(regs.begin(), regs.end(), written.m_reg.begin());
    EXPECT_EQ(written.GetFloat(0x00C0), 1.23457e+08f);
}

} // namespace
