// The main window against the virtual driver on a pseudo-terminal linked as
// a COM port in a private port folder.

#include "GuiTestSupport.h"

#include "pages/MotorCtrlPage.h"
#include "ui_MotorCtrlPage.h"
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
        const QCheckBox* boxes[] = {Ui().chkAddr1, Ui().chkAddr2, Ui().chkAddr3, Ui().chkAddr4,
                                    Ui().chkAddr5, Ui().chkAddr6, Ui().chkAddr7};
        unsigned bits = 0;
        for (unsigned i = 0; i < 7; ++i)
            if (boxes[i]->isChecked())
                bits |= 1u << i;
        return bits;
    }
    void TypeAddress(const char* text) {
        QLineEdit* edit = Ui().edtSlaveAddr;
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
};

TEST_F(MainDlgTest, ReadsNothingUntilOpenedOpensClosesAndReportsAFailedOpen) {
    // The COM link of the virtual driver is shown for its number.
    EXPECT_EQ(Ui().cmbComPort->itemData(kCom - 1, Qt::ToolTipRole).toString().toStdString(),
              m_sim->Device());

    // No edit of the window, its pages or dialogs cuts what the tool shows:
    // a layout's character limit bounds typing only.
    for (QLineEdit* edit : m_dlg->findChildren<QLineEdit*>())
        EXPECT_EQ(edit->maxLength(), 32767)
            << CtrlIdOf(edit) << " in " << edit->window()->objectName().toStdString();

    // The timer reads nothing while the port is closed.
    for (int i = 0; i < 3; ++i)
        m_dlg->OnTimer();
    EXPECT_EQ(m_sim->Server().RequestCount(), 0u);
    EXPECT_EQ(Text(Ui().edtTxFrame), "");

    // Opens and closes the port; a failed open is reported.
    Open();
    EXPECT_EQ(Text(Ui().btnOpenPort), "关闭串口");
    Click(Ui().btnOpenPort);
    EXPECT_FALSE(m_dlg->m_driver.IsOpen());
    EXPECT_EQ(Text(Ui().btnOpenPort), "打开串口");
    EXPECT_TRUE(m_boxes.m_boxes.empty());

    Select(Ui().cmbComPort, 14); // COM15: nothing there
    Click(Ui().btnOpenPort);
    EXPECT_FALSE(m_dlg->m_driver.IsOpen());
    EXPECT_EQ(Text(Ui().btnOpenPort), "打开串口");
    ASSERT_EQ(m_boxes.m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes.LastText().rfind("打开串口失败", 0), 0u) << m_boxes.LastText();
}

TEST_F(MainDlgTest, AddressCheckBoxesAndHexEditFollowEachOther) {
    Ui().chkAddr1->click(); // bit 0
    Ui().chkAddr7->click(); // bit 6
    EXPECT_EQ(m_dlg->m_nSlaveAddr, 66);
    EXPECT_EQ(Text(Ui().edtSlaveAddr), "0x42");

    struct {
        const char* typed;
        uint8_t addr;
        const char* shown;
        unsigned bits;
    } cases[] = {{"0X0C", 12, "0x0C", 0x0B}, {"200", 200, "0xC8", 0}, {"300", 200, "0xC8", 0}};
    for (const auto& c : cases) {
        const size_t boxes = Boxes();
        TypeAddress(c.typed);
        // A typo is refused and named: the address stays what it was.
        const bool refused = std::string(c.typed) == "300";
        EXPECT_EQ(Boxes(), boxes + (refused ? 1 : 0)) << c.typed;
        if (refused) {
            EXPECT_EQ(m_boxes.LastText(), std::string("从站地址: ") + c.typed +
                                              " 不是0~255的数 (十进制，或0x开头的十六进制)");
        }
        EXPECT_EQ(m_dlg->m_nSlaveAddr, c.addr) << c.typed;
        EXPECT_EQ(Text(Ui().edtSlaveAddr), c.shown) << c.typed;
        EXPECT_EQ(CheckedBits(), c.bits) << c.typed;
    }

    // The edit refuses a fifth character.
    QLineEdit* edit = Ui().edtSlaveAddr;
    edit->clear();
    QTest::keyClicks(edit, "0x801");
    EXPECT_EQ(edit->text().toStdString(), "0x80");
}

TEST_F(MainDlgTest, ReadsDeviceInformationShowsTheTrafficAndReportsReadFailures) {
    Drv().SetRegisters(0x0000, {0x00AB, 0x0A05, 0x4142, 0x4344, 0x4546, 0x4748, 0x494A, 0x4B4C,
                                0x4D4E, 0x4F50, 1000, 16000, 1234, 25});
    // Greyed while the port is closed: nothing in it can be read.
    QGroupBox* box = Ui().grpInfo;
    EXPECT_FALSE(box->isEnabled());

    Open();
    EXPECT_TRUE(box->isEnabled());
    Click(Ui().btnReadInfo); // reads 16 registers from 0x0000 at address 1
    const QLineEdit *tx = Ui().edtTxFrame, *rx = Ui().edtRxFrame;
    EXPECT_TRUE(WaitGui([&] { return Text(tx) == "01 03 00 00 00 10 44 06 "; })) << Text(tx);
    EXPECT_TRUE(WaitGui([&] { return Text(rx).rfind("01 03 20 00 AB 0A 05 ", 0) == 0; }))
        << Text(rx);
    EXPECT_EQ(Text(rx).size(), 37u * 3);
    ExpectShown({{Ui().lblDevId, "0x00AB"}, {Ui().lblDevModel, "ABCDEFGHIJKLMNO"}});
    ExpectShown({{Ui().lblPwmFrequency, "16.0kHz"}, {Ui().lblCurrentResolution, "25mA"}});
    EXPECT_TRUE(m_boxes.m_boxes.empty());

    // A failed read keeps the fields.
    ClickUnanswered(Ui().btnReadInfo);
    EXPECT_EQ(Text(Ui().lblDevId), "0x00AB");

    // The identification text in a box of its own.
    Click(Ui().btnOemInfo);
    EXPECT_EQ(m_boxes.m_boxes.size(), 2u);
    EXPECT_NE(m_boxes.LastText(), "");
    EXPECT_EQ(m_boxes.LastText().find('\r'), std::string::npos);

    Click(Ui().btnOpenPort);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(Text(Ui().lblDevId), "0x00AB");
}

TEST_F(MainDlgTest, StatusPollShowsEachKindOfFieldAndATimeOutInTheEightFields) {
    Drv().SetRegisters(0x0020,
                       {0xFC18, 150, 1234, 0,   0xFFFF, 0xFFFF, 0x0001, 0x86A0, 1650, 0xFFFF,
                        2000,   20,  0,    1,   505,    0xFFFB, 0x0001, 0x0000, 0,    12,
                        150,    0,   0,    253, 240,    0,      150,    0});
    Open();
    Ui().chkAutoUpdate->click();
    ASSERT_TRUE(WaitGui([&] { return Text(Ui().lblOutputPwm) != "-"; }));
    // One field of each kind: signed tenths, a two-register count, signed
    // thousandths, a list, an unknown error code, the voltage with its current.
    ExpectShown({{Ui().lblOutputPwm, "-100.0%"}, {Ui().lblCommFrequency, "123.4Hz"}});
    ExpectShown({{Ui().lblPosition, "-1"}, {Ui().lblIn2Voltage, "-0.001V"}});
    ExpectShown({{Ui().lblSq1Level, "低"}, {Ui().lblInputPulses, "65536"}});
    ExpectShown({{Ui().lblErrorState, "未知错误"}, {Ui().lblInputVoltage, "24.0V (1.50A)"}});
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 0);

    // The unit flag follows register 0x0036 and switches the frequency to Hz.
    Drv().SetRegisters(0x0036, {1});
    EXPECT_TRUE(WaitGui([&] { return Text(Ui().lblCommFrequency) == "1234Hz"; }));
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 1);

    const QLabel* failing[] = {Ui().lblOutputPwm,  Ui().lblPhaseCurrent, Ui().lblIn1Voltage,
                               Ui().lblIn2Voltage, Ui().lblDiffVoltage,  Ui().lblSq1Level,
                               Ui().lblSq2Level,   Ui().lblCommFrequency};
    const QLabel* kept[] = {Ui().lblPosition,     Ui().lblCompletionTime, Ui().lblIn3Voltage,
                            Ui().lblInputPwm,     Ui().lblInputFrequency, Ui().lblInputPulses,
                            Ui().lblInputVoltage, Ui().lblMotorSpeed,     Ui().lblErrorState,
                            Ui().lblTemperature};
    // Live values are shown as such; the ones kept after a failure greyed.
    auto expectLive = [&](const auto& fields, bool live) {
        for (const QLabel* field : fields)
            EXPECT_EQ(field->isEnabled(), live) << field->objectName().toStdString();
    };
    expectLive(failing, true);
    expectLive(kept, true);

    // Driver silent: the eight fields show the time-out, the rest keep theirs.
    Silence();
    const std::string timeout = ResultText(kResultTimeout);
    ASSERT_TRUE(WaitGui([&] { return Text(Ui().lblOutputPwm) == timeout; }));
    for (const QLabel* field : failing)
        EXPECT_EQ(Text(field), timeout) << field->objectName().toStdString();
    for (const QLabel* field : kept)
        EXPECT_NE(Text(field), timeout) << field->objectName().toStdString();
    expectLive(failing, true);
    expectLive(kept, false);
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 1);
    EXPECT_TRUE(m_boxes.m_boxes.empty());

    // A good poll makes them live again; closing the port greys them all.
    Unsilence();
    ASSERT_TRUE(WaitGui([&] { return Text(Ui().lblOutputPwm) != timeout; }));
    expectLive(kept, true);
    Click(Ui().btnOpenPort);
    expectLive(failing, false);
    expectLive(kept, false);
}

TEST_F(MainDlgTest, StatusPollWaitsOnItsWorkerOneReadAtATime) {
    Open();
    m_dlg->m_driver.SetTimeout(1000);
    m_sim->Server().InjectFault(EFault::Silent, 0, -1);
    Ui().chkAutoUpdate->setChecked(true);
    const size_t before = m_sim->Server().RequestCount();
    // The tick returns at once with the read out; further ticks start none.
    m_dlg->OnTimer();
    EXPECT_TRUE(m_dlg->PollInFlight());
    for (int i = 0; i < 5; ++i)
        m_dlg->OnTimer();
    EXPECT_EQ(Text(Ui().lblOutputPwm), "-");
    // A hold on the poll waits for the read out: its outcome is shown.
    auto hold = std::make_optional(m_dlg->Context().HoldPoll());
    EXPECT_EQ(Text(Ui().lblOutputPwm), ResultText(kResultTimeout));
    EXPECT_FALSE(m_dlg->PollInFlight());
    m_dlg->OnTimer(); // held: no new read
    EXPECT_EQ(m_sim->Server().RequestCount(), before + 1);
    // The link summary under the status group counts the time-out.
    QLabel* summary = Ui().lblLinkSummary;
    m_dlg->OnTimer();
    EXPECT_NE(summary->text().toStdString().find("超时1 "), std::string::npos)
        << summary->text().toStdString();
    // However long it grows, it stays one line and moves nothing above it.
    m_dlg->show();
    m_dlg->layout()->activate();
    QPushButton* stop = Ui().btnStopMotor;
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
    Click(Ui().btnOpenPort);
    ASSERT_TRUE(WaitGui([&] { return !m_dlg->PollInFlight(); }));
    EXPECT_EQ(Text(Ui().lblOutputPwm), ResultText(kResultTimeout));
}

TEST_F(MainDlgTest, ClosingWithTheMotorRunningAsksFirstAndDoesWhatTheAnswerSays) {
    Open();
    static_cast<CMotorCtrlPage*>(Page(0))->Ui().radStopEmergency->setChecked(
        true); // emergency: stopped at once
    Ui().chkAutoUpdate->click();
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
        ASSERT_TRUE(WaitGui([&] { return Text(Ui().lblOutputPwm) == "30.0%"; }));
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
            Menu(Ui().actExit);
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
    ASSERT_TRUE(WaitGui([&] { return Text(Ui().lblOutputPwm) == "0.0%"; }));
    const size_t boxes = Boxes();
    Menu(Ui().actExit);
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(Boxes(), boxes);
}

// Enter in an edit leaves what was typed: no button of the window or its
// pages is the default, so nothing is read over it or sent.
TEST_F(MainDlgTest, EnterInAnyEditOfTheWindowAndItsPagesSendsNothing) {
    Open();
    m_dlg->show();
    QTabWidget* tabs = Ui().tabPages;
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
    Ui().chkAutoUpdate->click();
    Drv().SetRegisters(0x0090, {0x0001, 0xC200, 3}); // the driver at 115200 baud, N1
    Select(Ui().cmbBaud, 5);
    Settle(); // applied on the context's worker
    EXPECT_EQ(m_dlg->m_driver.LineSettingsText(), "115200,n,8,2");
    Select(Ui().cmbParity, 3);
    Settle();
    EXPECT_EQ(m_dlg->m_driver.LineSettingsText(), "115200,n,8,1");
    EXPECT_EQ(m_dlg->Context().PollHeld(), false);
    m_dlg->m_driver.SetTimeout(kReplyMs);
    Click(Ui().btnReadInfo);
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
}

TEST_F(MainDlgTest, PositionClearAsksFirstAndWritesOnlyOnYes) {
    Open();
    m_boxes.m_answers = {false, true};
    Click(Ui().btnClearPosition);
    ASSERT_EQ(m_boxes.m_boxes.size(), 1u);
    EXPECT_TRUE(m_boxes.m_boxes[0].question);
    EXPECT_EQ(m_boxes.m_boxes[0].caption, "询问");
    EXPECT_EQ(m_boxes.m_boxes[0].text, "真的要清零吗?");
    EXPECT_EQ(m_sim->Server().RequestCount(), 0u);

    Click(Ui().btnClearPosition);
    const auto log = Drv().RequestLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], (std::vector<uint8_t>{0x01, 0x06, 0x70, 0x0A, 0x00, 0x01, 0x72, 0xC8}));
}

} // namespace

TEST_F(MainDlgTest, ARemovedDeviceClosesThePortOnceAndReopensWhenBack) {
    Open();
    Ui().chkAutoUpdate->click();
    ASSERT_TRUE(WaitGui([&] { return Text(Ui().lblOutputPwm) != "-"; }));
    const std::string device = m_sim->Device();

    // The driver vanishes in the middle of a poll.
    m_sim->Server().InjectFault(EFault::LineGone);
    ASSERT_TRUE(WaitGui([&] { return !m_boxes.m_boxes.empty(); }, 5000));
    EXPECT_EQ(m_boxes.LastText(), "串口设备已被移除，串口已关闭\n" + device);
    EXPECT_EQ(Text(Ui().btnOpenPort), "打开串口");
    EXPECT_FALSE(m_dlg->m_driver.IsOpen());
    const std::string closed = ResultText(kResultPortClosed);
    // The eight fields a failed poll fills show it (one here; the poll test
    // has all), the others keep their values.
    EXPECT_EQ(Text(Ui().lblOutputPwm), closed);
    EXPECT_NE(Text(Ui().lblTemperature), closed);
    for (int i = 0; i < 5; ++i)
        m_dlg->OnTimer();
    EXPECT_EQ(m_boxes.m_boxes.size(), 1u);

    // Back under the same COM number: the button opens it again.
    m_sim->Server().Stop();
    ASSERT_TRUE(m_sim->Server().Start(kCom));
    Open();
    EXPECT_EQ(Text(Ui().btnOpenPort), "关闭串口");
    EXPECT_TRUE(WaitGui([&] { return Text(Ui().lblOutputPwm) != closed; }));
    EXPECT_EQ(m_boxes.m_boxes.size(), 1u);
}
