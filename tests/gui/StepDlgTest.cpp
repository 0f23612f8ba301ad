// The step-response window from the PID page: a speed step asked for, run
// on its worker while the window keeps answering, kept with its figures, and
// the motor stopped at the end; a refusal writes nothing; F12 in the idle
// window is the main window's stop.

#include "tools/StepDlg.h"
#include "GuiTestSupport.h"
#include "pages/PidPage.h"

#include "ui_PidPage.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

namespace {

class StepDlgTest : public CWindowTest {};

TEST_F(StepDlgTest, ASpeedStepIsConfirmedKeptWithItsFiguresAndEndsStopped) {
    Open();
    Drv().SetRegister(0x0075, 1); // learned, so the motor may run
    auto* pid = static_cast<CPidPage*>(Page(4));
    Click(pid->Ui().btnStepResponse);
    CStepDlg* step = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CStepDlg*>(w))
            step = d;
    ASSERT_NE(step, nullptr);

    // Beyond the driver's maximum: refused, nothing run.
    auto* target = step->findChild<QLineEdit*>();
    target->setText("99999");
    const size_t before = Boxes();
    step->OnStart();
    ASSERT_TRUE(WaitGui([&] { return Boxes() > before; }, 20000));
    EXPECT_TRUE(step->Runs().empty());
    EXPECT_NE(m_boxes.LastText().find("99999"), std::string::npos) << m_boxes.LastText();

    m_boxes.m_answers.push_back(1); // "the motor will move": yes
    target->setText("200");
    step->OnStart();
    ASSERT_TRUE(WaitGui([&] { return !step->Runs().empty(); }, 30000));
    ASSERT_EQ(step->Runs().size(), 1u) << m_boxes.LastText();
    const SStepResult& r = step->Runs().front().result;
    EXPECT_EQ(r.end, EStepEnd::Completed);
    EXPECT_TRUE(r.figures.valid);
    EXPECT_GT(r.samples.size(), 10u);
    EXPECT_TRUE(r.stopWritten);
    EXPECT_EQ(step->findChild<QTableWidget*>()->columnCount(), 1);
    EXPECT_EQ(StepEndText(r), "");
    SStepResult flat = r;
    flat.figures.valid = false;
    flat.figures.problem = "no change";
    EXPECT_EQ(StepEndText(flat), "no change"); // said, not dropped
    // Read through the line: the virtual driver's status moves on requests.
    EXPECT_TRUE(WaitGui(
        [&] {
            uint16_t freq = 1;
            return m_dlg->m_driver.ReadBlock(1, 0x0022, 1, &freq) == kResultOk && freq == 0;
        },
        10000));
    // Idle, F12 in the window is the main window's stop (its mode lands in 0x0040).
    Drv().SetRegister(0x0040, 2);
    step->activateWindow();
    target->setFocus();
    QTest::keyClick(target, Qt::Key_F12);
    Settle();
    EXPECT_EQ(Drv().GetRegister(0x0040), kStopNormal);
    step->close();
}

} // namespace
