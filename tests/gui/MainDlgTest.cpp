// The main window against the virtual driver on a pseudo-terminal linked as
// a COM port in a private port folder.

#include "GuiTestSupport.h"

#include "modbus/Crc16.h"
#include <optional>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QRadioButton>
#include <QTest>

namespace {

class MainDlgTest : public CWindowTest {
protected:
    unsigned CheckedBits() {
        unsigned bits = 0;
        for (int i = 0; i < 7; ++i)
            if (Ctrl<QCheckBox>(1004 + i)->isChecked())
                bits |= 1u << i;
        return bits;
    }
    void Tick() {
        for (int i = 0; i < 3; ++i)
            m_dlg->OnTimer();
    }
    void TypeAddress(const char* text) {
        QLineEdit* edit = Ctrl<QLineEdit>(1174);
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
};

TEST_F(MainDlgTest, StartsWithTheDefaultsOpensClosesAndReportsAFailedOpen) {
    EXPECT_EQ(m_dlg->m_nSlaveAddr, 1);
    // The COM link of the virtual driver is shown for its number.
    EXPECT_EQ(Ctrl<QComboBox>(1001)->itemData(kCom - 1, Qt::ToolTipRole).toString().toStdString(),
              m_sim->Device());

    auto* tabs = Ctrl<QTabWidget>(1012);
    ASSERT_EQ(tabs->count(), 7);
    // No edit of the window, its pages or dialogs cuts what the tool shows:
    // a layout's character limit bounds typing only.
    for (QLineEdit* edit : m_dlg->findChildren<QLineEdit*>())
        EXPECT_EQ(edit->maxLength(), 32767)
            << CtrlIdOf(edit) << " in " << edit->window()->objectName().toStdString();

    // The timer reads nothing while the port is closed.
    Tick();
    EXPECT_EQ(m_sim->Server().RequestCount(), 0u);
    EXPECT_EQ(Text(1016), "");

    // Opens and closes the port; a failed open is reported.
    Open();
    EXPECT_EQ(Text(1011), "关闭串口");
    Click(1011);
    EXPECT_FALSE(m_dlg->m_driver.IsOpen());
    EXPECT_EQ(Text(1011), "打开串口");
    EXPECT_TRUE(m_boxes.m_boxes.empty());

    Ctrl<QComboBox>(1001)->setCurrentIndex(14); // COM15: nothing there
    Click(1011);
    EXPECT_FALSE(m_dlg->m_driver.IsOpen());
    EXPECT_EQ(Text(1011), "打开串口");
    ASSERT_EQ(m_boxes.m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes.LastText().rfind("打开串口失败", 0), 0u) << m_boxes.LastText();
    EXPECT_EQ(m_boxes.m_boxes[0].caption, kAppTitle);

    // Enter does nothing; "退出(&Q)" ends the dialog.
    m_dlg->show();
    m_dlg->accept();
    EXPECT_TRUE(m_dlg->isVisible());
    FindCtrl<QAction>(m_dlg.get(), 32773)->trigger();
    EXPECT_FALSE(m_dlg->isVisible());
}

TEST_F(MainDlgTest, AddressCheckBoxesAndHexEditFollowEachOther) {
    Ctrl<QCheckBox>(1004)->click(); // box "1"
    Ctrl<QCheckBox>(1010)->click(); // box "64"
    EXPECT_EQ(m_dlg->m_nSlaveAddr, 66);
    EXPECT_EQ(Text(1174), "0x42");

    struct {
        const char* typed;
        uint8_t addr;
        const char* shown;
        unsigned bits;
    } cases[] = {{"0X0C", 12, "0x0C", 0x0B},
                 {"200", 200, "0xC8", 0},
                 {"300", 200, "0xC8", 0},
                 {"x5", 200, "0xC8", 0},
                 {"1", 1, "0x01", 0}};
    for (const auto& c : cases) {
        const size_t boxes = Boxes();
        TypeAddress(c.typed);
        // A typo is refused and named: the address stays what it was.
        const bool refused = std::string(c.typed) == "300" || std::string(c.typed) == "x5";
        EXPECT_EQ(Boxes(), boxes + (refused ? 1 : 0)) << c.typed;
        if (refused) {
            EXPECT_EQ(m_boxes.LastText(), std::string("从站地址: ") + c.typed +
                                              " 不是0~255的数 (十进制，或0x开头的十六进制)");
        }
        EXPECT_EQ(m_dlg->m_nSlaveAddr, c.addr) << c.typed;
        EXPECT_EQ(Text(1174), c.shown) << c.typed;
        EXPECT_EQ(CheckedBits(), c.bits) << c.typed;
    }

    // The edit refuses a fifth character.
    QLineEdit* edit = Ctrl<QLineEdit>(1174);
    edit->clear();
    QTest::keyClicks(edit, "0x801");
    EXPECT_EQ(edit->text().toStdString(), "0x80");
}

TEST_F(MainDlgTest, ReadsDeviceInformationShowsTheTrafficAndReportsReadFailures) {
    Drv().SetRegisters(0x0000, {0x00AB, 0x0A05, 0x4142, 0x4344, 0x4546, 0x4748, 0x494A, 0x4B4C,
                                0x4D4E, 0x4F50, 1000, 16000, 1234, 25});
    // Greyed while the port is closed: nothing in it can be read.
    auto* box = m_dlg->findChild<QGroupBox*>("grpInfo");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isEnabled());

    Open();
    EXPECT_TRUE(box->isEnabled());
    Click(1013); // reads 16 registers from 0x0000 at address 1
    EXPECT_TRUE(WaitGui([&] { return Text(1016) == "01 03 00 00 00 10 44 06 "; })) << Text(1016);
    EXPECT_TRUE(WaitGui([&] { return Text(1017).rfind("01 03 20 00 AB 0A 05 ", 0) == 0; }))
        << Text(1017);
    EXPECT_EQ(Text(1017).size(), 37u * 3);
    ExpectShown({{1018, "0x00AB"}, {1019, "ABCDEFGHIJKLMNO"}, {1022, "16.0kHz"}, {1024, "25mA"}});
    EXPECT_TRUE(m_boxes.m_boxes.empty());

    // A failed read keeps the fields.
    ClickUnanswered(1013);
    EXPECT_EQ(Text(1018), "0x00AB");

    // The identification text in a box of its own.
    Click(1014);
    EXPECT_EQ(m_boxes.m_boxes.size(), 2u);
    EXPECT_NE(m_boxes.LastText(), "");
    EXPECT_EQ(m_boxes.LastText().find('\r'), std::string::npos);

    Click(1011);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(Text(1018), "0x00AB");
}

TEST_F(MainDlgTest, StatusPollDecodesEveryFieldAndShowsATimeOutInTheEightFields) {
    Drv().SetRegisters(0x0020,
                       {0xFC18, 150, 1234, 0,   0xFFFF, 0xFFFF, 0x0001, 0x86A0, 1650, 0xFFFF,
                        2000,   20,  0,    1,   505,    0xFFFB, 0x0001, 0x0000, 0,    12,
                        150,    0,   0,    253, 240,    0,      150,    0});
    Open();
    // Nothing is polled until auto update is ticked.
    Tick();
    EXPECT_EQ(Text(1025), "-");
    Ctrl<QCheckBox>(1015)->click();
    ASSERT_TRUE(WaitGui([&] { return Text(1025) != "-"; }));
    // One field of each kind: signed tenths, a two-register count, signed
    // thousandths, a list, an unknown error code, the voltage with its current.
    ExpectShown({{1025, "-100.0%"}, {1027, "123.4Hz"}, {1028, "-1"}, {1031, "-0.001V"}});
    ExpectShown({{1034, "低"}, {1038, "65536"}, {1041, "未知错误"}, {1039, "24.0V (1.50A)"}});
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 0);

    // The unit flag follows register 0x0036 and switches the frequency to Hz.
    Drv().SetRegisters(0x0036, {1});
    EXPECT_TRUE(WaitGui([&] { return Text(1027) == "1234Hz"; }));
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 1);

    const int failing[] = {1025, 1026, 1030, 1031, 1033, 1034, 1035, 1027};
    const int kept[] = {1028, 1029, 1032, 1036, 1037, 1038, 1039, 1040, 1041, 1042};
    // Live values are shown as such; the ones kept after a failure greyed.
    auto expectLive = [&](const auto& ids, bool live) {
        for (int id : ids)
            EXPECT_EQ(Enabled(nullptr, id), live) << id;
    };
    expectLive(failing, true);
    expectLive(kept, true);

    // Driver silent: the eight fields show the time-out, the rest keep theirs.
    Silence();
    const std::string timeout = ResultText(kResultTimeout);
    ASSERT_TRUE(WaitGui([&] { return Text(1025) == timeout; }));
    for (int id : failing)
        EXPECT_EQ(Text(id), timeout) << id;
    for (int id : kept)
        EXPECT_NE(Text(id), timeout) << id;
    expectLive(failing, true);
    expectLive(kept, false);
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 1);
    EXPECT_TRUE(m_boxes.m_boxes.empty());

    // A good poll makes them live again; closing the port greys them all.
    Unsilence();
    ASSERT_TRUE(WaitGui([&] { return Text(1025) != timeout; }));
    expectLive(kept, true);
    Click(1011);
    expectLive(failing, false);
    expectLive(kept, false);
}

TEST_F(MainDlgTest, StatusPollWaitsOnItsWorkerOneReadAtATime) {
    Open();
    m_dlg->m_driver.SetTimeout(1000);
    m_sim->Server().InjectFault(EFault::Silent, 0, -1);
    Ctrl<QCheckBox>(1015)->setChecked(true);
    const size_t before = m_sim->Server().RequestCount();
    // The tick returns at once with the read out; further ticks start none.
    m_dlg->OnTimer();
    EXPECT_TRUE(m_dlg->PollInFlight());
    for (int i = 0; i < 5; ++i)
        m_dlg->OnTimer();
    EXPECT_EQ(Text(1025), "-");
    // A hold on the poll waits for the read out: its outcome is shown.
    auto hold = std::make_optional(m_dlg->Context().HoldPoll());
    EXPECT_EQ(Text(1025), ResultText(kResultTimeout));
    EXPECT_FALSE(m_dlg->PollInFlight());
    m_dlg->OnTimer(); // held: no new read
    EXPECT_EQ(m_sim->Server().RequestCount(), before + 1);
    // The link summary under the status group counts the time-out.
    auto* summary = m_dlg->findChild<QLabel*>("lblLinkSummary");
    ASSERT_NE(summary, nullptr);
    m_dlg->OnTimer();
    EXPECT_NE(summary->text().toStdString().find("超时1 "), std::string::npos)
        << summary->text().toStdString();
    // However long it grows, it stays one line and moves nothing above it.
    m_dlg->show();
    m_dlg->layout()->activate();
    auto* stop = Ctrl<QPushButton>(CMainDlg::kStopMotorButton);
    const QRect stopAt = stop->geometry(), summaryAt = summary->geometry();
    summary->setText(summary->text().repeated(4));
    m_dlg->layout()->activate();
    EXPECT_EQ(stop->geometry(), stopAt);
    EXPECT_EQ(summary->geometry(), summaryAt);

    // A read out when the port closes shows nothing: the values stay frozen.
    m_sim->Server().ClearFaults();
    hold.reset();
    // The poller's thread may still be winding up the last read.
    ASSERT_TRUE(WaitGui([&] {
        m_dlg->OnTimer();
        return m_dlg->PollInFlight();
    }));
    Click(1011);
    ASSERT_TRUE(WaitGui([&] { return !m_dlg->PollInFlight(); }));
    EXPECT_EQ(Text(1025), ResultText(kResultTimeout));
}

TEST_F(MainDlgTest, ClosingWithTheMotorRunningAsksFirstAndDoesWhatTheAnswerSays) {
    Open();
    Ctrl<QRadioButton>(1045, Page(0))->setChecked(true); // emergency: stopped at once
    Ctrl<QCheckBox>(1015)->click();
    auto stopFrames = [&] {
        const auto log = Drv().RequestLog();
        return std::count_if(log.begin(), log.end(), [](const std::vector<uint8_t>& f) {
            return f.size() == 8 && f[1] == 0x06 && f[2] == 0x00 && f[3] == 0x40;
        });
    };
    enum { kStopAndExit, kLeaveRunning, kCancel };
    enum { kEsc, kCloseBox, kMenu };
    const struct {
        int answer;
        int how;
        bool silent; // the stop fails
        bool closes;
    } cases[] = {{kCancel, kEsc, false, false},
                 {kLeaveRunning, kCloseBox, false, true},
                 {kStopAndExit, kMenu, true, false},
                 {kStopAndExit, kEsc, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer * 10 + c.how);
        m_dlg->show();
        ASSERT_EQ(m_dlg->m_driver.WriteRunCommand(1, 300, 0), kResultOk);
        ASSERT_TRUE(WaitGui([&] { return Text(1025) == "30.0%"; }));
        const size_t boxes = Boxes();
        const auto stops = stopFrames();
        m_boxes.m_answers = {c.answer};
        if (c.silent)
            Silence();
        if (c.how == kEsc)
            QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
        else if (c.how == kCloseBox)
            m_dlg->close();
        else
            Menu(32773);
        Settle(); // the stop runs on the context's worker
        if (c.silent)
            Unsilence();
        ASSERT_GT(Boxes(), boxes);
        const SMessageRequest& asked = m_boxes.m_boxes[boxes];
        EXPECT_EQ(asked.caption, kAskCaption);
        EXPECT_EQ(asked.choices.size(), 3u);
        EXPECT_EQ(m_dlg->isVisible(), !c.closes);
        if (c.silent) {
            EXPECT_EQ(m_boxes.LastText(),
                      "停止电机失败，程序没有退出\n" + ResultText(kResultTimeout));
        } else {
            EXPECT_EQ(Boxes(), boxes + 1);
            EXPECT_EQ(stopFrames() - stops, c.answer == kStopAndExit ? 1 : 0);
        }
    }
    // Stopped with the page's mode; the next close asks nothing.
    EXPECT_EQ(Drv().GetRegister(0x0040), kStopEmergency);
    m_dlg->show();
    ASSERT_TRUE(WaitGui([&] { return Text(1025) == "0.0%"; }));
    const size_t boxes = Boxes();
    Menu(32773);
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(Boxes(), boxes);
}

// Enter in an edit leaves what was typed: no button of the window or its
// pages is the default, so nothing is read over it or sent.
TEST_F(MainDlgTest, EnterInAnyEditOfTheWindowAndItsPagesSendsNothing) {
    Open();
    m_dlg->show();
    auto* tabs = Ctrl<QTabWidget>(1012);
    int edits = 0;
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        for (QLineEdit* edit : m_dlg->findChildren<QLineEdit*>()) {
            if (!edit->isVisible() || !edit->isEnabled() || edit->window() != m_dlg.get())
                continue;
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Return);
            ++edits;
        }
    }
    EXPECT_GT(edits, 60);
    EXPECT_EQ(m_sim->Server().RequestCount(), 0u);
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
    EXPECT_TRUE(m_dlg->isVisible());
}

// The driver answers only at its own line: reads succeed only once the open
// port has taken the combos' new setting, with the status poll running.
TEST_F(MainDlgTest, BaudRateAndParityCombosRetuneTheOpenPortAtOnce) {
    Open();
    m_dlg->m_driver.SetTimeout(kSilentMs); // polls at the old setting fail quickly
    Ctrl<QCheckBox>(1015)->click();
    const struct {
        int baudIndex, parityIndex;
        std::vector<uint16_t> commBlock; // the driver's baud rate and parity
        const char* settings;
    } cases[] = {{2, 0, {0x0000, 19200, 0}, "19200,n,8,2"},
                 {2, 1, {0x0000, 19200, 1}, "19200,o,8,1"},
                 {5, 3, {0x0001, 0xC200, 3}, "115200,n,8,1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        Drv().SetRegisters(0x0090, c.commBlock);
        Select(nullptr, 1002, c.baudIndex);
        Select(nullptr, 1003, c.parityIndex);
        Settle(); // applied on the context's worker
        EXPECT_EQ(m_dlg->m_driver.LineSettingsText(), c.settings);
        EXPECT_EQ(m_dlg->Context().PollHeld(), false);
        m_dlg->m_driver.SetTimeout(kReplyMs);
        Click(1013);
        EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
        m_dlg->m_driver.SetTimeout(kSilentMs);
    }
}

TEST_F(MainDlgTest, PositionClearAsksFirstAndWritesOnlyOnYes) {
    Open();
    m_boxes.m_answers = {false, true};
    Click(1047);
    ASSERT_EQ(m_boxes.m_boxes.size(), 1u);
    EXPECT_TRUE(m_boxes.m_boxes[0].question);
    EXPECT_EQ(m_boxes.m_boxes[0].caption, "询问");
    EXPECT_EQ(m_boxes.m_boxes[0].text, "真的要清零吗?");
    EXPECT_EQ(m_sim->Server().RequestCount(), 0u);

    Click(1047);
    const auto log = Drv().RequestLog();
    ASSERT_EQ(log.size(), 1u);
    uint8_t frame[8] = {0x01, 0x06, 0x70, 0x0A, 0x00, 0x01};
    AppendCrc(frame, 6);
    EXPECT_EQ(log[0], std::vector<uint8_t>(frame, frame + 8));
}

} // namespace

TEST_F(MainDlgTest, ARemovedDeviceClosesThePortOnceAndReopensWhenBack) {
    Open();
    Ctrl<QCheckBox>(1015)->click();
    ASSERT_TRUE(WaitGui([&] { return Text(1025) != "-"; }));
    const std::string device = m_sim->Device();

    // The driver vanishes in the middle of a poll.
    m_sim->Server().InjectFault(EFault::LineGone);
    ASSERT_TRUE(WaitGui([&] { return !m_boxes.m_boxes.empty(); }, 5000));
    EXPECT_EQ(m_boxes.LastText(), "串口设备已被移除，串口已关闭\n" + device);
    EXPECT_EQ(Text(1011), "打开串口");
    EXPECT_FALSE(m_dlg->m_driver.IsOpen());
    const std::string closed = ResultText(kResultPortClosed);
    for (int id : {1025, 1026, 1030, 1031, 1033, 1034, 1035, 1027})
        EXPECT_EQ(Text(id), closed) << id;
    EXPECT_NE(Text(1042), closed); // the others keep their values
    for (int i = 0; i < 5; ++i)
        m_dlg->OnTimer();
    EXPECT_EQ(m_boxes.m_boxes.size(), 1u);

    // Back under the same COM number: the button opens it again.
    m_sim->Server().Stop();
    ASSERT_TRUE(m_sim->Server().Start(kCom));
    Open();
    EXPECT_EQ(Text(1011), "关闭串口");
    EXPECT_TRUE(WaitGui([&] { return Text(1025) != closed; }));
    EXPECT_EQ(m_boxes.m_boxes.size(), 1u);
}
