// The system, communication and reciprocating pages against the virtual
// driver: what they show, the bytes a configure writes, and the measurement
// watch of the reciprocating page.

#include "GuiTestSupport.h"

#include "pages/CommParamPage.h"
#include "pages/ReciprocatePage.h"
#include "pages/SysParamPage.h"
#include "ui_CommParamPage.h"
#include "ui_ReciprocatePage.h"
#include "ui_SysParamPage.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace {

constexpr size_t kSysTab = 2, kCommTab = 3, kReciprocateTab = 5;

using Regs = std::vector<uint16_t>;

class ParamPageTest : public CWindowTest {
protected:
    // As the user picks an item: the page's handlers run.
    static void Choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    const Ui::CSysParamPage& Sys() { return static_cast<CSysParamPage*>(Page(kSysTab))->Ui(); }
    const Ui::CCommParamPage& Comm() { return static_cast<CCommParamPage*>(Page(kCommTab))->Ui(); }
    CReciprocatePage* Reciprocate() {
        return static_cast<CReciprocatePage*>(Page(kReciprocateTab));
    }
};

TEST_F(ParamPageTest, SystemPageReadsBothBlocksOrNothingAndWritesExactImages) {
    const Ui::CSysParamPage& ui = Sys();
    // Pulse ratio 2.5f, k 1.5f, b -1.000, buzzer register 3, port input 7
    // (no such item).
    Drv().SetRegisters(0x0080,
                       {4, 3, 2, 1, 1, 2, 500, 4500, 0, 10000, 1500, 100, 0x4020, 0, 30, 9});
    Drv().SetRegisters(0x0096, {0x3FC0, 0, 0xFC18, 3, 7, 6});
    Open();

    EXPECT_FALSE(ui.btnConfigure->isEnabled());
    m_sim->Server().InjectFault(EFault::Exception, 2, 1);
    Drv().ClearRequestLog();
    Click(ui.btnRead);
    EXPECT_EQ(Drv().RequestLog().size(), 1u); // block B is not asked for
    EXPECT_EQ(m_boxes.LastText(), ResultText(2));
    ExpectShown({{ui.edtPotLow, ""}, {ui.cmbLimitPolarity, "-1"}});
    EXPECT_FALSE(ui.btnConfigure->isEnabled());

    const size_t boxes = Boxes();
    Click(ui.btnRead);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_TRUE(ui.btnConfigure->isEnabled());
    // One field of each kind: a list, thousandths, a float, signed
    // thousandths, the buzzer, a list value with no item.
    ExpectShown({{ui.cmbLimitPolarity, "4"}, {ui.edtPotLow, "0.500"}, {ui.edtAnalogB, "-1.000"}});
    ExpectShown({{ui.edtPulseRatio, "2.500000"}, {ui.chkBuzzerOff, "1"}, {ui.cmbPortInput, "-1"}});

    // Choosing an analog type or logic level puts in its defaults, keeps
    // every other edit and sends nothing.
    Type(ui.edtLogicThreshold, "1.25");
    Type(ui.edtPotLow, "0.7");
    Drv().ClearRequestLog();
    Choose(ui.cmbAnalogType, 1); // differential: 0 - 3.3 V
    ExpectShown({{ui.edtAnalogHigh, "3.300"}, {ui.edtLogicThreshold, "1.25"}});
    Choose(ui.cmbLogicLevel, 2); // 0/5 V
    ExpectShown({{ui.edtLogicThreshold, "3.000"}, {ui.edtPotLow, "0.7"}});
    EXPECT_TRUE(Drv().RequestLog().empty());

    // A ratio that is no number is refused before anything is sent.
    Select(ui.cmbPortInput, 4);
    Type(ui.edtPulseRatio, "abc");
    Drv().ClearRequestLog();
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "脉冲信号倍率: abc 不是数字");
    EXPECT_TRUE(IsMarkedRefused(Page(kSysTab), CtrlIdOf(ui.edtPulseRatio)));
    EXPECT_TRUE(Drv().RequestLog().empty());

    // Typed decimals exactly, signed thousandths, the buzzer written as 1,
    // the register without a field as 0.
    Type(ui.edtLogicThreshold, "3.3");
    Type(ui.edtStallStopTime, "2.5");
    Type(ui.edtAnalogB, "-1.5");
    Type(ui.edtDeadBand, "0.57");
    Type(ui.edtPulseRatio, "2.5");
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Wire(0x0080, 16),
              (Regs{4, 3, 2, 1, 1, 2, 700, 4500, 0, 3300, 3300, 570, 0x4020, 0, 25, 0}));
    EXPECT_EQ(Wire(0x0096, 6), (Regs{0x3FC0, 0, 0xFA24, 1, 4, 6}));

    // Block B is written only after block A succeeded.
    Type(ui.edtAnalogB, "2");
    m_sim->Server().InjectFault(EFault::Exception, 4, 1);
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), ResultText(4));
    EXPECT_EQ(Drv().GetRegister(0x0098), 0xFA24);
}

TEST_F(ParamPageTest, CommPageMatchesTheBaudParsesBothIdsAndNamesWhatChanged) {
    const Ui::CCommParamPage& ui = Comm();
    // 9600 baud, even parity (the virtual driver answers only at the tool's
    // line), junk in 0x0093, 2.5 s braking; defaults off under port control
    // (0x009D = 0); CAN baud 9 (no such item), junk in 0x0123-0x0127,
    // auto-start register 2.
    Drv().SetRegisters(0x0090, {0x0000, 0x2580, 2, 0x1234, 1, 25});
    Drv().SetRegisters(0x009C, {1, 0});
    Drv().SetRegisters(0x0120, {3, 0x7F, 9, 1, 2, 3, 4, 5, 2, 500});
    Open();

    EXPECT_FALSE(ui.btnConfigure->isEnabled());
    Click(ui.btnRead);
    EXPECT_TRUE(ui.btnConfigure->isEnabled());
    ExpectShown({{ui.cmbBaud, "0"}, {ui.edtBrakeTime, "2.5"}, {ui.edtSlaveAddr, "0x01"}});
    ExpectShown({{ui.chkPortDefaults, "1"}, {ui.edtNodeId, "0x7F"}, {ui.cmbCanBaud, "-1"}});

    // "0X10" is 16 as a slave address and as a node ID. Unused registers are
    // written 0, the port-defaults register inverted.
    Type(ui.edtSlaveAddr, "0X10");
    Type(ui.edtNodeId, "0X10");
    Type(ui.edtBrakeTime, "0.7");
    ui.chkPortDefaults->setChecked(false);
    Select(ui.cmbCanBaud, 2);
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "操作成功\n驱动器从站地址已改为0x10，请相应修改连接设置");
    EXPECT_EQ(Wire(0x0090, 6), (Regs{0x0000, 0x2580, 2, 0, 1, 7}));
    EXPECT_EQ(Wire(0x009C, 2), (Regs{16, 1}));
    EXPECT_EQ(Wire(0x0120, 10), (Regs{1, 16, 2, 0, 0, 0, 0, 0, 1, 500}));
    EXPECT_EQ(m_dlg->m_nSlaveAddr, 1); // the tool keeps its address

    // A changed line is named even though the driver, now at 115200 baud,
    // no longer answers the rest of the configure.
    Select(ui.cmbBaud, 4); // 115200 = 0x0001 0xC200
    Select(ui.cmbParity, 1);
    Type(ui.edtSlaveAddr, "1");
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultTimeout) + "\n驱动器485口已改为115200波特、" +
                                      ui.cmbParity->itemText(1).toStdString() +
                                      "，请相应修改连接设置");
    EXPECT_EQ(Wire(0x0090, 3), (Regs{0x0001, 0xC200, 1}));
    Drv().SetRegisters(0x0090, {0x0000, 0x2580, 2});

    // An address the driver could not be reached at writes nothing.
    Type(ui.edtSlaveAddr, "256");
    Drv().ClearRequestLog();
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "从站地址无效，应为1~255");
    EXPECT_TRUE(Drv().RequestLog().empty());

    // The first failing write ends the configure.
    Type(ui.edtSlaveAddr, "0x02");
    m_sim->Server().InjectFault(EFault::Exception, 4, 1);
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), ResultText(4)); // block A failed: nothing changed
    EXPECT_EQ(Drv().GetRegister(0x009C), 16);     // as the first configure left it
}

TEST_F(ParamPageTest, ReciprocatePageSpeedRulesPresetAsymmetryAndPageWideExchange) {
    const Ui::CReciprocatePage& ui = Reciprocate()->Ui();
    // Homing mode 5 (no such item), stroke 65536, speeds 125 / 65535 / 300
    // (6553.5 is longer than its edit's typing limit), threshold 5, re-home,
    // torque 150.
    Drv().SetRegisters(0x00A0, {5, 1, 0x0001, 0x0000, 125, 65535, 300, 5, 1, 150});
    Drv().SetRegisters(0x00B0, {0, 1, 30, 250});
    Open();

    EXPECT_FALSE(ui.btnConfigure->isEnabled());
    EXPECT_FALSE(ui.btnConfigurePreset->isEnabled());
    Click(ui.btnRead);
    EXPECT_TRUE(ui.btnConfigure->isEnabled());
    EXPECT_FALSE(ui.btnConfigurePreset->isEnabled());
    ExpectShown({{ui.cmbHomingMode, "-1"}, {ui.edtStroke, "65536"}, {ui.edtCoarseSpeed, "12.5"}});
    ExpectShown({{ui.edtFineSpeed, "6553.5"}, {ui.edtTorque, "1.50"}});

    // Tenths: 12.56 writes 125; no homing mode selected writes nothing.
    Type(ui.edtCoarseSpeed, "12.56");
    Type(ui.edtThreshold, "0.7");
    Type(ui.edtTorque, "2.3");
    Type(ui.edtStroke, "4000000000");
    Drv().ClearRequestLog();
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "复位方式: 未选择");
    EXPECT_TRUE(Drv().RequestLog().empty());
    Select(ui.cmbHomingMode, 1);
    Click(ui.btnConfigure);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Wire(0x00A0, 10), (Regs{1, 1, 0xEE6B, 0x2800, 125, 65535, 300, 7, 1, 230}));

    // Whole Hz, the window's unit: the preset duty cycle read as whole units
    // and written as tenths.
    m_dlg->m_bSpeedUnitHz = 1;
    Click(ui.btnReadPreset);
    EXPECT_TRUE(ui.btnConfigurePreset->isEnabled());
    ExpectShown({{ui.edtForward, "30"}, {ui.edtReverse, "250"}});
    Click(ui.btnConfigurePreset);
    EXPECT_EQ(Wire(0x00B0, 4), (Regs{0, 1, 300, 2500}));

    // One group's read rewrites the other group from the page's values:
    // an edit typed but not configured there is replaced.
    Type(ui.edtReverse, "77");
    Type(ui.edtAfterSpeed, "99");
    Click(ui.btnRead);
    ExpectShown({{ui.edtReverse, "250"}, {ui.edtAfterSpeed, "300"}});
}

// A page's read waits for the driver on the context's worker: with the
// driver silent the window goes on answering (a timer on the GUI thread keeps
// ticking far sooner than the reply time-out), the button is disabled while
// the read is out, and the outcome is today's box.
TEST_F(ParamPageTest, APageReadFromASilentDriverNeverHoldsTheWindow) {
    Open();
    m_dlg->m_driver.SetTimeout(1000);
    m_sim->Server().InjectFault(EFault::Silent, 0, -1);
    QPushButton* read = Comm().btnRead;
    read->click();
    EXPECT_FALSE(read->isEnabled());
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = std::max(worst, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    tick.start(1);
    ASSERT_TRUE(WaitGui([&] { return !m_dlg->Context().Busy(); }, 20000));
    tick.stop();
    m_sim->Server().ClearFaults();
    EXPECT_LT(worst, 500) << "the window stood still for " << worst << " ms";
    EXPECT_GE(clock.elapsed(), 900); // the read did wait for its time-out
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultTimeout));
    EXPECT_TRUE(read->isEnabled());
}

TEST_F(ParamPageTest, MeasurementWatchRunsOnOtherTabsAndWithThePortClosed) {
    CReciprocatePage* page = Reciprocate();
    const Ui::CReciprocatePage& ui = page->Ui();
    Drv().SetMeasureDuration(std::chrono::milliseconds(800));
    Open();
    Ui().tabPages->setCurrentIndex(static_cast<int>(kReciprocateTab));

    // A refused measurement starts no watch.
    Drv().SetRegister(0x0075, 0); // motor not learned
    Click(ui.btnMeasure);
    EXPECT_EQ(m_boxes.LastText(), ResultText(96));
    EXPECT_FALSE(page->Measuring());
    Drv().SetRegister(0x0075, 1);

    const size_t boxes = Boxes();
    Click(ui.btnMeasure);
    EXPECT_TRUE(page->Measuring());
    Ui().tabPages->setCurrentIndex(0);
    // Closed port: the watch goes on silently; the driver's clock moves on
    // with the next request.
    Click(Ui().btnOpenPort);
    ASSERT_FALSE(m_dlg->m_driver.IsOpen());
    WaitGui([] { return false; }, 600);
    EXPECT_TRUE(page->Measuring());
    EXPECT_EQ(Boxes(), boxes);
    Open();
    ASSERT_TRUE(WaitGui([&] { return !page->Measuring(); }, 10000));
    Settle(); // the process group's read it started
    const uint32_t stroke = Drv().GetRegister(0x00A2) << 16 | Drv().GetRegister(0x00A3);
    EXPECT_EQ(Text(ui.edtStroke), std::to_string(stroke));
    EXPECT_NE(stroke, 10000u);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_FALSE(ui.btnConfigurePreset->isEnabled()); // the automatic read is the process group's

    // Cancelling leaves the watch to see the register drop.
    Click(ui.btnMeasure);
    Click(ui.btnCancel);
    ASSERT_TRUE(WaitGui([&] { return !page->Measuring(); }));
    EXPECT_EQ(Boxes(), boxes);
}

} // namespace
