// The motor control and motor parameters pages against the virtual driver:
// the speed unit handed from one to the other, what the clamps put on the
// wire, the stop from anywhere, and every way a learning run ends.

#include "GuiTestSupport.h"
#include "pages/MotorCtrlPage.h"
#include "pages/MotorParamPage.h"

#include <QAbstractSlider>
#include <QRadioButton>
#include <QTest>

#include <chrono>

namespace {

using namespace std::chrono_literals;

constexpr size_t kCtrlTab = 0, kParamTab = 1;

class MotorPageTest : public CWindowTest {
protected:
    CMotorCtrlPage* CtrlPage() { return dynamic_cast<CMotorCtrlPage*>(Page(kCtrlTab)); }
    QWidget* ParamPage() { return Page(kParamTab); }
    QAbstractSlider* Slider(int id) { return Ctrl<QAbstractSlider>(id, CtrlPage()); }
    // The last request that wrote this register, as (start, values).
    std::vector<uint16_t> LastWrite(uint16_t reg) {
        std::vector<uint16_t> found;
        for (const auto& f : Drv().RequestLog()) {
            if (f.size() < 8 || (f[1] != 0x06 && f[1] != 0x10))
                continue;
            const uint16_t start = static_cast<uint16_t>(f[2] << 8 | f[3]);
            std::vector<uint16_t> values;
            if (f[1] == 0x06)
                values.push_back(static_cast<uint16_t>(f[4] << 8 | f[5]));
            else
                for (size_t i = 7; i + 1 < f.size() - 2; i += 2)
                    values.push_back(static_cast<uint16_t>(f[i] << 8 | f[i + 1]));
            if (reg >= start && reg < start + values.size())
                found.assign(values.begin() + (reg - start), values.end());
        }
        return found;
    }
    std::string LearnCaption() { return Text(1110, ParamPage()); }
};

TEST_F(MotorPageTest, TheSpeedRangeReadOrClearedSwitchesTheMotorControlUnitWithinOneTick) {
    Drv().SetRegisters(0x0062, {500, 400, 300, 200, 30000, 1500});
    Drv().SetRegister(0x0077, 1);
    Open();
    Slider(1041)->setValue(1234);
    CtrlPage()->OnTimer();
    EXPECT_EQ(Text(1082, CtrlPage()), "123.4Hz");

    Click(1097, ParamPage());
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 1);
    EXPECT_EQ(Text(1083, ParamPage()), "30000");
    CtrlPage()->OnTimer();
    EXPECT_EQ(Text(1082, CtrlPage()), "1234Hz");
    EXPECT_EQ(Text(1083, CtrlPage()), "1000"); // the limit in the new form
    EXPECT_EQ(Slider(1041)->maximum(), 1000);

    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();

    // A configure on a driver without the speed range clears it: back to
    // tenths, the slider kept within its range. 30000 Hz has no tenths
    // register value: refused, nothing written, until it is typed anew.
    EXPECT_EQ(Text(1056, ParamPage()), "1");
    Drv().SetRegister(0x000E, 0);
    Type(ParamPage(), 1043, "2.5");
    Click(1063, ParamPage());
    EXPECT_EQ(m_boxes.LastText(), "最大换向频率: 30000 超出范围 (0.0~6553.5 Hz)");
    EXPECT_EQ(Drv().GetRegister(0x006A), 300u); // as before
    Type(ParamPage(), 1083, "3000");
    Click(1063, ParamPage());
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Text(1056, ParamPage()), "0");
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 0);
    EXPECT_EQ(Drv().GetRegister(0x0077), 0);
    EXPECT_EQ(Drv().GetRegister(0x006A), 250);
    CtrlPage()->OnTimer();
    EXPECT_EQ(Text(1083, CtrlPage()), "1000.0");
    EXPECT_EQ(Slider(1041)->maximum(), 10000);
    EXPECT_EQ(Text(1082, CtrlPage()), "100.0Hz");
}

TEST_F(MotorPageTest, ClampsShapeWhatGoesOnTheWire) {
    QWidget* page = CtrlPage();
    Open();
    // The frequency limit is applied when the edit is left.
    Type(page, 1083, "5000");
    emit Ctrl<QLineEdit>(1083, page)->editingFinished();
    EXPECT_EQ(Text(1083, page), "3276.7");
    EXPECT_EQ(Slider(1041)->minimum(), -32767);
    // An emptied position limit is 1 at once.
    Ctrl<QLineEdit>(1053, page)->clear();
    EXPECT_EQ(Text(1053, page), "1");
    EXPECT_EQ(Slider(1051)->maximum(), 1);

    // A move at 0 Hz is the slowest move, relative to where the motor is.
    Type(page, 1085, "0");
    Ctrl<QRadioButton>(1086, page)->setChecked(true);
    Slider(1051)->setValue(-1);
    Click(1052, page);
    EXPECT_EQ(LastWrite(0x0044), (std::vector<uint16_t>{1, 1, 0xFFFF, 0xFFFF}));
    Slider(1039)->setValue(-500);
    Click(1040, page);
    EXPECT_EQ(LastWrite(0x0042), std::vector<uint16_t>{0xFE0C});

    // A move frequency that is no number moves nothing.
    const size_t requests = m_sim->Server().RequestCount();
    Type(page, 1085, "5OO");
    Click(1052, page);
    EXPECT_EQ(m_boxes.LastText(), "换向频率: 5OO 不是数字 (0.0~6553.5 Hz)");
    EXPECT_EQ(m_sim->Server().RequestCount(), requests);

    // Ramps: exact tenths; a value beyond the register writes nothing.
    Type(page, 1054, "0.7");
    Type(page, 1055, "2.3");
    Type(page, 1057, "6553.5");
    Type(page, 1058, "-1");
    Click(1075, page);
    EXPECT_EQ(m_boxes.LastText(), "减速加速度: -1 超出范围 (0.0~6553.5 Hz/s)");
    EXPECT_EQ(m_sim->Server().RequestCount(), requests);
    Type(page, 1058, "0");
    Click(1075, page);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Drv().GetRegisters(0x0050, 4), (std::vector<uint16_t>{7, 23, 65535, 0}));
    Click(1062, page);
    EXPECT_EQ(Text(1057, page), "6553.5");
    EXPECT_EQ(Text(1058, page), "0.0");
}

TEST_F(MotorPageTest, TheStopWorksFromAnyTabWithTheChosenModeAndReportsOnlyFailures) {
    Ctrl<QRadioButton>(1045, CtrlPage())->setChecked(true); // emergency stop
    m_dlg->ShowPage(4);
    Click(CMainDlg::kStopMotorButton);
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultPortClosed));
    Open();
    const size_t boxes = m_boxes.m_boxes.size();
    QTest::keyClick(Ctrl<QLineEdit>(1057, Page(4)), Qt::Key_F12); // typing a PID gain
    Settle();
    EXPECT_EQ(LastWrite(0x0040), std::vector<uint16_t>{1});
    Ctrl<QRadioButton>(1046, CtrlPage())->setChecked(true);
    Click(CMainDlg::kStopMotorButton);
    EXPECT_EQ(LastWrite(0x0040), std::vector<uint16_t>{2});
    EXPECT_EQ(m_boxes.m_boxes.size(), boxes);
}

// Each way a run ends: the box, the phase text, the learned state and the
// button back to idle.
TEST_F(MotorPageTest, LearningEndsEachWayWithItsOutcome) {
    Drv().SetLearnDuration(300ms);
    Open();
    struct SCase {
        ELearnOutcome outcome;
        std::string box, phases, learned;
    };
    const SCase cases[] = {
        {ELearnOutcome::Success, "学习成功", "05 01 03 02 06 04", "1"},
        {ELearnOutcome::Failure, "学习失败", "", "0"},
        {ELearnOutcome::Abort, "学习异常终止", "", ""},
        {ELearnOutcome::Refuse, ResultText(kResultNotAllowed), "", ""},
        {ELearnOutcome::BusyStart, "学习成功", "05 01 03 02 06 04", "1"},
    };
    for (const SCase& c : cases) {
        Drv().SetLearnOutcome(c.outcome);
        SetCtrlValue(ParamPage(), 1059, "");
        Ctrl<QComboBox>(1111, ParamPage())->setCurrentIndex(-1);
        const size_t boxes = m_boxes.m_boxes.size();
        Click(1110, ParamPage());
        EXPECT_EQ(LearnCaption(), "正在学习");
        EXPECT_FALSE(Ctrl(1110, ParamPage())->isEnabled());
        ASSERT_TRUE(WaitGui([&] { return LearnCaption() == "开始学习"; }, 15000)) << c.box;
        EXPECT_TRUE(Ctrl(1110, ParamPage())->isEnabled());
        ASSERT_EQ(m_boxes.m_boxes.size(), boxes + 1) << c.box;
        EXPECT_EQ(m_boxes.LastText(), c.box);
        EXPECT_EQ(Text(1059, ParamPage()), c.phases) << c.box;
        if (!c.learned.empty()) {
            EXPECT_EQ(Ctrl<QComboBox>(1111, ParamPage())->currentIndex(), std::stoi(c.learned))
                << c.box;
        }
        EXPECT_FALSE(Drv().Learning());
        EXPECT_EQ(Drv().GetRegister(0x00E1), 0) << c.box; // the request withdrawn
    }

    // A read that fails during the run ends it with that read's text.
    Drv().SetLearnOutcome(ELearnOutcome::Success);
    Drv().SetLearnDuration(10min);
    Click(1110, ParamPage());
    ASSERT_TRUE(WaitGui([&] { return Drv().Learning(); }));
    m_sim->Server().InjectFault(EFault::Exception, 4, 1);
    ASSERT_TRUE(WaitGui([&] { return LearnCaption() == "开始学习"; }, 15000));
    EXPECT_EQ(m_boxes.LastText(), ResultText(4));
    EXPECT_FALSE(Drv().Learning());
}

TEST_F(MotorPageTest, ClosingTheWindowDuringLearningEndsTheRunQuietlyAndSoon) {
    Drv().SetLearnDuration(10min);
    m_dlg->m_driver.SetTimeout(1000);
    Open();
    Click(1110, ParamPage());
    ASSERT_TRUE(WaitGui([&] { return Drv().Learning(); }));
    const size_t boxes = m_boxes.m_boxes.size();
    const auto start = std::chrono::steady_clock::now();
    m_dlg.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    // One polling period and two transactions at most (each bounded by the
    // reply time-out); in practice far less.
    EXPECT_LT(took, 250ms + 2 * 1000ms);
    EXPECT_EQ(m_boxes.m_boxes.size(), boxes);
    EXPECT_FALSE(Drv().Learning()); // the closing write withdrew the request
}

} // namespace
