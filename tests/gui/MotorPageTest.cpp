// The motor control and motor parameters pages against the virtual driver:
// the speed unit handed from one to the other, what the clamps put on the
// wire, the stop from anywhere, and every way a learning run ends.

#include "GuiTestSupport.h"
#include "pages/MotorCtrlPage.h"
#include "pages/MotorParamPage.h"
#include "ui_MotorCtrlPage.h"
#include "ui_MotorParamPage.h"

#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <chrono>

namespace {

using namespace std::chrono_literals;

constexpr size_t kCtrlTab = 0, kParamTab = 1;

class MotorPageTest : public CWindowTest {
protected:
    CMotorCtrlPage* CtrlPage() { return dynamic_cast<CMotorCtrlPage*>(Page(kCtrlTab)); }
    const Ui::CMotorCtrlPage& Ctrls() { return CtrlPage()->Ui(); }
    const Ui::CMotorParamPage& Params() {
        return static_cast<CMotorParamPage*>(Page(kParamTab))->Ui();
    }
    std::string LearnCaption() { return Text(Params().btnLearn); }
};

TEST_F(MotorPageTest, TheSpeedRangeReadOrClearedSwitchesTheMotorControlUnitWithinOneTick) {
    Drv().SetRegisters(0x0062, {500, 400, 300, 200, 30000, 1500});
    Drv().SetRegister(0x0077, 1);
    Open();
    const Ui::CMotorCtrlPage& ctrl = Ctrls();
    const Ui::CMotorParamPage& param = Params();
    // Below the limit in either unit, so the page's own ticks during the
    // read cannot clamp it.
    ctrl.sldFreq->setValue(567);
    CtrlPage()->OnTimer();
    EXPECT_EQ(Text(ctrl.lblFreq), "56.7Hz");

    Click(param.btnRead);
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 1);
    EXPECT_EQ(Text(param.edtMaxFreq), "30000");
    CtrlPage()->OnTimer();
    EXPECT_EQ(Text(ctrl.lblFreq), "567Hz");
    EXPECT_EQ(Text(ctrl.edtFreqLimit), "1000"); // the limit in the new form
    EXPECT_EQ(ctrl.sldFreq->maximum(), 1000);

    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();

    // A configure on a driver without the speed range clears it: back to
    // tenths, the slider kept within its range. 30000 Hz has no tenths
    // register value: refused, nothing written, until it is typed anew.
    EXPECT_TRUE(param.chkSpeedRange->isChecked());
    Drv().SetRegister(0x000E, 0);
    Type(param.edtRatedCurrent, "2.5");
    Click(param.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "最大换向频率: 30000 超出范围 (0.0~6553.5 Hz)");
    EXPECT_EQ(Drv().GetRegister(0x006A), 300u); // as before
    Type(param.edtMaxFreq, "3000");
    Click(param.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_FALSE(param.chkSpeedRange->isChecked());
    EXPECT_EQ(m_dlg->m_bSpeedUnitHz, 0);
    EXPECT_EQ(Drv().GetRegister(0x0077), 0);
    EXPECT_EQ(Drv().GetRegister(0x006A), 250);
    CtrlPage()->OnTimer();
    EXPECT_EQ(Text(ctrl.edtFreqLimit), "1000.0");
    EXPECT_EQ(ctrl.sldFreq->maximum(), 10000);
    EXPECT_EQ(Text(ctrl.lblFreq), "56.7Hz");
}

TEST_F(MotorPageTest, ClampsShapeWhatGoesOnTheWire) {
    const Ui::CMotorCtrlPage& ui = Ctrls();
    Open();
    // The frequency limit is applied when the edit is left (the clamps
    // themselves are the logic tests').
    Type(ui.edtFreqLimit, "5000");
    emit ui.edtFreqLimit->editingFinished();
    EXPECT_EQ(Text(ui.edtFreqLimit), "3276.7");

    // A move at 0 Hz is the slowest move, relative to where the motor is.
    Type(ui.edtMoveFreq, "0");
    ui.radRelative->setChecked(true);
    ui.sldPosition->setValue(-1);
    Click(ui.btnMove);
    EXPECT_EQ(Wire(0x0044, 4), (std::vector<uint16_t>{1, 1, 0xFFFF, 0xFFFF}));
    ui.sldPwm->setValue(-500);
    Click(ui.btnRunPwm);
    EXPECT_EQ(Drv().GetRegister(0x0042), 0xFE0C);

    // Ramps: exact tenths; a value beyond the register writes nothing.
    const size_t requests = m_sim->Server().RequestCount();
    Type(ui.edtPwmRise, "0.7");
    Type(ui.edtPwmFall, "2.3");
    Type(ui.edtAccel, "6553.5");
    Type(ui.edtDecel, "-1");
    Click(ui.btnSetRamp);
    EXPECT_EQ(m_boxes.LastText(), "减速加速度: -1 超出范围 (0.0~6553.5 Hz/s)");
    EXPECT_EQ(m_sim->Server().RequestCount(), requests);
    Type(ui.edtDecel, "0");
    Click(ui.btnSetRamp);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Wire(0x0050, 4), (std::vector<uint16_t>{7, 23, 65535, 0}));
}

TEST_F(MotorPageTest, TheStopWorksFromAnyTabWithTheChosenModeAndReportsOnlyFailures) {
    Ctrls().radStopEmergency->setChecked(true);
    m_dlg->ShowPage(4);
    Click(Ui().btnStopMotor);
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultPortClosed));
    Open();
    const size_t boxes = m_boxes.m_boxes.size();
    QTest::keyClick(Page(4)->findChild<QLineEdit*>(), Qt::Key_F12); // typing a PID gain
    Settle();
    EXPECT_EQ(Drv().GetRegister(0x0040), 1);
    Ctrls().radStopFree->setChecked(true);
    Click(Ui().btnStopMotor);
    EXPECT_EQ(Drv().GetRegister(0x0040), 2);
    EXPECT_EQ(m_boxes.m_boxes.size(), boxes);
}

// Each way a run ends: the box, the phase text, the learned state and the
// button back to idle.
TEST_F(MotorPageTest, LearningEndsEachWayWithItsOutcome) {
    Drv().SetLearnDuration(300ms);
    Open();
    const Ui::CMotorParamPage& ui = Params();
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
        ui.edtPhases->clear();
        ui.cmbLearned->setCurrentIndex(-1);
        const size_t boxes = m_boxes.m_boxes.size();
        Click(ui.btnLearn);
        EXPECT_EQ(LearnCaption(), "正在学习");
        EXPECT_FALSE(ui.btnLearn->isEnabled());
        ASSERT_TRUE(WaitGui([&] { return LearnCaption() == "开始学习"; }, 15000)) << c.box;
        EXPECT_TRUE(ui.btnLearn->isEnabled());
        ASSERT_EQ(m_boxes.m_boxes.size(), boxes + 1) << c.box;
        EXPECT_EQ(m_boxes.LastText(), c.box);
        EXPECT_EQ(Text(ui.edtPhases), c.phases) << c.box;
        if (!c.learned.empty()) {
            EXPECT_EQ(Text(ui.cmbLearned), c.learned) << c.box;
        }
        EXPECT_FALSE(Drv().Learning());
        EXPECT_EQ(Drv().GetRegister(0x00E1), 0) << c.box; // the request withdrawn
    }

    // A read that fails during the run ends it with that read's text.
    Drv().SetLearnOutcome(ELearnOutcome::Success);
    Drv().SetLearnDuration(10min);
    Click(ui.btnLearn);
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
    Click(Params().btnLearn);
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
