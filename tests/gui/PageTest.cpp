// The PID and safety pages against the virtual driver: read, configure and
// the state of the configure button.

#include "GuiTestSupport.h"

#include <QTest>

namespace {

constexpr size_t kPidTab = 4, kSafetyTab = 6;

class PageTest : public CWindowTest {};

std::vector<uint16_t> RegsOf(const PidBlock& b) {
    return {b.m_reg.begin(), b.m_reg.end()};
}

// Configure stays disabled while reads fail and a failed read changes
// nothing; a read fills every field and shows nothing; configure writes what
// the fields say (typed decimals exactly: no 229 for 2.3 or 56 for 0.57, text
// that is not a number as 0) and always shows its result.
TEST_F(PageTest, PidAndSafetyReadFillTheFieldsAndConfigureWritesWhatTheySay) {
    PidBlock gains{};
    const float values[9] = {1.0f, 0.25f, 0.0f, 2.5f, 0.1f, -3.0f, 12.0f, 1e-7f, 100000.0f};
    for (int i = 0; i < 9; ++i)
        gains.SetFloat(static_cast<uint16_t>(0x00BA + 2 * i), values[i]);
    PidBlock expected = gains;
    expected.SetFloat(0x00C2, 0.5f); // 0x3F00 0x0000
    expected.SetFloat(0x00BE, 0.0f);
    using Texts = std::vector<std::pair<int, const char*>>;
    const Texts pidShown = {{1057, "1"},   {1061, "0.25"},  {1062, "0"},
                            {1052, "2.5"}, {1053, "0.1"},   {1054, "-3"},
                            {1056, "12"},  {1059, "1e-07"}, {1060, "100000"}};
    const Texts safetyShown = {{1135, "85"},     {1136, "75"},  {1140, "60.0"},   {1141, "18.0"},
                               {1139, "15.6"},   {1142, "100"}, {1137, "1.0000"}, {1138, "-2.0"},
                               {1145, "0.9876"}, {1146, "0.5"}, {1056, "1"},      {1057, "0"}};
    const Texts pidTyped = {{1053, "0.5"}, {1062, "abc"}};
    const Texts safetyTyped = {{1135, "85.7"},   {1140, "2.3"},  {1139, "0.57"},
                               {1137, "1.0234"}, {1138, "-2.5"}, {1057, "1"}};
    using Regs = std::vector<uint16_t>;
    const Regs pid = RegsOf(gains), pidWritten = RegsOf(expected);
    const Regs safety = {85, 75, 600, 180, 1555, 100, 1, 7, 0, 9, 10000, 0xFFEC, 9876, 5};
    const Regs safetyWritten = {85, 75, 23, 180, 57, 100, 1, 0, 1, 0, 10234, 0xFFE7, 9876, 5};
    const struct {
        size_t tab;
        int read, configure;
        uint16_t start;
        const Regs &regs, &written;
        const Texts &shown, &typed;
    } cases[] = {{kPidTab, 1064, 1065, 0x00BA, pid, pidWritten, pidShown, pidTyped},
                 {kSafetyTab, 1143, 1144, 0x0100, safety, safetyWritten, safetyShown, safetyTyped}};
    CVirtualDriver& drv = m_sim->Driver();
    Click(1064, Page(kPidTab)); // port closed
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultPortClosed));
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tab);
        QWidget* page = Page(c.tab);
        drv.SetRegisters(c.start, c.regs);
        const int field = c.shown[0].first;
        EXPECT_FALSE(Enabled(page, c.configure));
        Type(page, field, "7");
        Silence();
        Click(c.read, page);
        EXPECT_EQ(m_boxes.LastText(), ResultText(kResultTimeout));
        EXPECT_EQ(Text(field, page), "7");
        EXPECT_FALSE(Enabled(page, c.configure));
        Unsilence();

        const size_t boxes = Boxes();
        Click(c.read, page);
        EXPECT_EQ(Boxes(), boxes);
        EXPECT_TRUE(Enabled(page, c.configure));
        for (const auto& [id, text] : c.shown)
            EXPECT_EQ(Text(id, page), text) << id;

        for (const auto& [id, text] : c.typed)
            SetCtrlValue(page, id, text);
        Click(c.configure, page);
        ASSERT_EQ(Boxes(), boxes + 1);
        EXPECT_EQ(m_boxes.LastText(), "操作成功");
        EXPECT_EQ(drv.GetRegisters(c.start, static_cast<uint16_t>(c.written.size())), c.written);
        m_sim->Server().InjectFault(EFault::Exception, 4, 1);
        Click(c.configure, page);
        EXPECT_EQ(m_boxes.LastText(), ResultText(4));
    }
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
