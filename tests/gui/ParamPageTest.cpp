// The system, communication and reciprocating pages against the virtual
// driver: what they show, the bytes a configure writes, and the measurement
// watch of the reciprocating page.

#include "GuiTestSupport.h"

#include "pages/ReciprocatePage.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace {

constexpr size_t kSysTab = 2, kCommTab = 3, kReciprocateTab = 5;

using Regs = std::vector<uint16_t>;

class ParamPageTest : public CWindowTest {
protected:
    // As the user picks an item: the page's handlers run.
    void Choose(QWidget* page, int id, int index) {
        if (auto* combo = Ctrl<QComboBox>(id, page)) {
            combo->setCurrentIndex(index);
            emit combo->activated(index);
        }
    }
};

TEST_F(ParamPageTest, SystemPageReadsBothBlocksOrNothingAndWritesExactImages) {
    QWidget* page = Page(kSysTab);
    // Pulse ratio 2.5f, k 1.5f, b -1.000, buzzer register 3, port input 7
    // (no such item).
    Drv().SetRegisters(0x0080,
                       {4, 3, 2, 1, 1, 2, 500, 4500, 0, 10000, 1500, 100, 0x4020, 0, 30, 9});
    Drv().SetRegisters(0x0096, {0x3FC0, 0, 0xFC18, 3, 7, 6});
    Open();

    EXPECT_FALSE(Enabled(page, 1072));
    m_sim->Server().InjectFault(EFault::Exception, 2, 1);
    Drv().ClearRequestLog();
    Click(1066, page);
    EXPECT_EQ(Drv().RequestLog().size(), 1u); // block B is not asked for
    EXPECT_EQ(m_boxes.LastText(), ResultText(2));
    EXPECT_EQ(Text(1112, page), "");
    EXPECT_EQ(Text(1067, page), "-1");
    EXPECT_FALSE(Enabled(page, 1072));

    const size_t boxes = Boxes();
    Click(1066, page);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_TRUE(Enabled(page, 1072));
    // One field of each kind: a list, thousandths, a float, signed
    // thousandths, the buzzer, a list value with no item.
    ExpectShown({{1067, "4"}, {1112, "0.500"}, {1109, "2.500000"}}, page);
    ExpectShown({{1111, "-1.000"}, {1120, "1"}, {1075, "-1"}}, page);

    // Choosing an analog type or logic level puts in its defaults, keeps
    // every other edit and sends nothing.
    Type(page, 1108, "1.25");
    Type(page, 1112, "0.7");
    Drv().ClearRequestLog();
    Choose(page, 1069, 1); // differential: 0 - 3.3 V
    EXPECT_EQ(Text(1107, page), "3.300");
    EXPECT_EQ(Text(1108, page), "1.25");
    Choose(page, 1069, 3);
    EXPECT_EQ(Text(1107, page), "5.000");
    Choose(page, 1070, 2); // 0/5 V
    EXPECT_EQ(Text(1108, page), "3.000");
    EXPECT_EQ(Text(1112, page), "0.7");
    EXPECT_TRUE(Drv().RequestLog().empty());

    // Refused before anything is sent: a list left without a selection, a
    // ratio that is no number.
    Type(page, 1109, "abc");
    Drv().ClearRequestLog();
    Click(1072, page);
    EXPECT_EQ(m_boxes.LastText(), "端口输入类型: 未选择");
    Select(page, 1075, 4);
    Click(1072, page);
    EXPECT_EQ(m_boxes.LastText(), "脉冲信号倍率: abc 不是数字");
    EXPECT_TRUE(IsMarkedRefused(page, 1109));
    EXPECT_TRUE(Drv().RequestLog().empty());

    // Typed decimals exactly, signed thousandths, the buzzer written as 1,
    // 0x008F as 0.
    Type(page, 1108, "3.3");
    Type(page, 1048, "2.5");
    Type(page, 1111, "-1.5");
    Type(page, 1114, "0.57");
    Type(page, 1109, "2.5");
    Click(1072, page);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Wire(0x0080, 16),
              (Regs{4, 3, 2, 1, 3, 2, 700, 4500, 0, 5000, 3300, 570, 0x4020, 0, 25, 0}));
    EXPECT_EQ(Wire(0x0096, 6), (Regs{0x3FC0, 0, 0xFA24, 1, 4, 6}));

    // Block B is written only after block A succeeded.
    Type(page, 1111, "2");
    m_sim->Server().InjectFault(EFault::Exception, 4, 1);
    Click(1072, page);
    EXPECT_EQ(m_boxes.LastText(), ResultText(4));
    EXPECT_EQ(Drv().GetRegister(0x0098), 0xFA24);
}

TEST_F(ParamPageTest, CommPageMatchesTheBaudParsesBothIdsAndNamesWhatChanged) {
    QWidget* page = Page(kCommTab);
    // 9600 baud, even parity (the virtual driver answers only at the tool's
    // line), junk in 0x0093, 2.5 s braking; defaults off under port control
    // (0x009D = 0); CAN baud 9 (no such item), junk in 0x0123-0x0127,
    // auto-start register 2.
    Drv().SetRegisters(0x0090, {0x0000, 0x2580, 2, 0x1234, 1, 25});
    Drv().SetRegisters(0x009C, {1, 0});
    Drv().SetRegisters(0x0120, {3, 0x7F, 9, 1, 2, 3, 4, 5, 2, 500});
    Open();

    EXPECT_FALSE(Enabled(page, 1159));
    Click(1158, page);
    EXPECT_TRUE(Enabled(page, 1159));
    ExpectShown({{1155, "0"}, {1057, "2.5"}, {1145, "0x01"}}, page);
    ExpectShown({{1157, "1"}, {1146, "0x7F"}, {1003, "-1"}}, page);
    EXPECT_EQ(Ctrl<QComboBox>(1155, page)->itemText(0).toStdString(), "9600 ");

    // The CAN baud without a selection is refused before anything is sent.
    // "0X10" is 16 as a slave address and as a node ID. Unused registers are
    // written 0, 0x009D inverted.
    Type(page, 1145, "0X10");
    Type(page, 1146, "0X10");
    Type(page, 1057, "0.7");
    Ctrl<QCheckBox>(1157, page)->setChecked(false);
    Drv().ClearRequestLog();
    Click(1159, page);
    EXPECT_EQ(m_boxes.LastText(), "CAN波特率: 未选择");
    EXPECT_TRUE(Drv().RequestLog().empty());
    Select(page, 1003, 2);
    Click(1159, page);
    EXPECT_EQ(m_boxes.LastText(), "操作成功\n驱动器从站地址已改为0x10，请相应修改连接设置");
    EXPECT_EQ(Wire(0x0090, 6), (Regs{0x0000, 0x2580, 2, 0, 1, 7}));
    EXPECT_EQ(Wire(0x009C, 2), (Regs{16, 1}));
    EXPECT_EQ(Wire(0x0120, 10), (Regs{1, 16, 2, 0, 0, 0, 0, 0, 1, 500}));
    EXPECT_EQ(m_dlg->m_nSlaveAddr, 1); // the tool keeps its address

    // A changed line is named even though the driver, now at 115200 baud,
    // no longer answers the rest of the configure.
    Select(page, 1155, 4); // 115200 = 0x0001 0xC200
    Select(page, 1156, 1);
    Type(page, 1145, "1");
    Click(1159, page);
    EXPECT_EQ(m_boxes.LastText(), ResultText(kResultTimeout) + "\n驱动器485口已改为115200波特、" +
                                      Ctrl<QComboBox>(1156, page)->itemText(1).toStdString() +
                                      "，请相应修改连接设置");
    EXPECT_EQ(Wire(0x0090, 3), (Regs{0x0001, 0xC200, 1}));
    Drv().SetRegisters(0x0090, {0x0000, 0x2580, 2});

    // An address the driver could not be reached at writes nothing.
    Type(page, 1145, "256");
    Drv().ClearRequestLog();
    Click(1159, page);
    EXPECT_EQ(m_boxes.LastText(), "从站地址无效，应为1~255");
    EXPECT_TRUE(Drv().RequestLog().empty());

    // The first failing write ends the configure; a failed read changes nothing.
    Type(page, 1145, "0x02");
    m_sim->Server().InjectFault(EFault::Exception, 4, 1);
    Click(1159, page);
    EXPECT_EQ(m_boxes.LastText(), ResultText(4)); // block A failed: nothing changed
    EXPECT_EQ(Drv().GetRegister(0x009C), 16);     // as the first configure left it
    ClickUnanswered(1158, page);
    EXPECT_EQ(Text(1145, page), "0x02");
}

TEST_F(ParamPageTest, ReciprocatePageSpeedRulesPresetAsymmetryAndPageWideExchange) {
    QWidget* page = Page(kReciprocateTab);
    // Homing mode 5 (no such item), stroke 65536, speeds 125 / 65535 / 300
    // (6553.5 is longer than its edit's typing limit), threshold 5, re-home,
    // torque 150.
    Drv().SetRegisters(0x00A0, {5, 1, 0x0001, 0x0000, 125, 65535, 300, 5, 1, 150});
    Drv().SetRegisters(0x00B0, {0, 1, 30, 250});
    Open();

    EXPECT_FALSE(Enabled(page, 1100));
    EXPECT_FALSE(Enabled(page, 1103));
    Click(1099, page);
    EXPECT_TRUE(Enabled(page, 1100));
    EXPECT_FALSE(Enabled(page, 1103));
    ExpectShown({{1090, "-1"}, {1098, "65536"}, {1056, "12.5"}}, page);
    ExpectShown({{1057, "6553.5"}, {1059, "1.50"}}, page);

    // Tenths: 12.56 writes 125; no homing mode selected writes nothing.
    Type(page, 1056, "12.56");
    Type(page, 1060, "0.7");
    Type(page, 1059, "2.3");
    Type(page, 1098, "4000000000");
    Drv().ClearRequestLog();
    Click(1100, page);
    EXPECT_EQ(m_boxes.LastText(), "复位方式: 未选择");
    EXPECT_TRUE(Drv().RequestLog().empty());
    Select(page, 1090, 1);
    Click(1100, page);
    EXPECT_EQ(m_boxes.LastText(), "操作成功");
    EXPECT_EQ(Wire(0x00A0, 10), (Regs{1, 1, 0xEE6B, 0x2800, 125, 65535, 300, 7, 1, 230}));

    // Whole Hz: shown and written as integers.
    m_dlg->m_bSpeedUnitHz = 1;
    Click(1099, page);
    EXPECT_EQ(Text(1056, page), "125");
    Type(page, 1057, "21.9");
    Select(page, 1090, 2);
    Click(1100, page);
    EXPECT_EQ(Wire(0x00A4, 3), (Regs{125, 21, 300}));
    EXPECT_EQ(Drv().GetRegister(0x00A0), 2);

    // Preset speeds: duty cycle read as whole units, written as tenths.
    Click(1102, page);
    EXPECT_TRUE(Enabled(page, 1103));
    EXPECT_EQ(Text(1121, page), "30");
    EXPECT_EQ(Text(1122, page), "250");
    Click(1103, page);
    EXPECT_EQ(Wire(0x00B0, 4), (Regs{0, 1, 300, 2500}));

    // One group's read rewrites the other group from the page's values:
    // an edit typed but not configured there is replaced.
    Type(page, 1122, "77");
    Type(page, 1058, "99");
    Click(1099, page);
    EXPECT_EQ(Text(1122, page), "250");
    EXPECT_EQ(Text(1058, page), "300");
}

// A page's read waits for the driver on the context's worker: with the
// driver silent the window goes on answering (a timer on the GUI thread keeps
// ticking far sooner than the reply time-out), the button is disabled while
// the read is out, and the outcome is today's box.
TEST_F(ParamPageTest, APageReadFromASilentDriverNeverHoldsTheWindow) {
    QWidget* page = Page(kCommTab);
    Open();
    m_dlg->m_driver.SetTimeout(1000);
    m_sim->Server().InjectFault(EFault::Silent, 0, -1);
    auto* read = Ctrl<QPushButton>(1158, page);
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
    auto* page = static_cast<CReciprocatePage*>(Page(kReciprocateTab));
    Drv().SetMeasureDuration(std::chrono::milliseconds(800));
    Open();
    Ctrl<QTabWidget>(1012)->setCurrentIndex(static_cast<int>(kReciprocateTab));

    // A refused measurement starts no watch.
    Drv().SetRegister(0x0075, 0); // motor not learned
    Click(1101, page);
    EXPECT_EQ(m_boxes.LastText(), ResultText(96));
    EXPECT_FALSE(page->Measuring());
    Drv().SetRegister(0x0075, 1);

    const size_t boxes = Boxes();
    Click(1101, page);
    EXPECT_TRUE(page->Measuring());
    Ctrl<QTabWidget>(1012)->setCurrentIndex(0);
    // Closed port: the watch goes on silently; the driver's clock moves on
    // with the next request.
    Click(1011);
    ASSERT_FALSE(m_dlg->m_driver.IsOpen());
    WaitGui([] { return false; }, 600);
    EXPECT_TRUE(page->Measuring());
    EXPECT_EQ(Boxes(), boxes);
    Open();
    ASSERT_TRUE(WaitGui([&] { return !page->Measuring(); }, 10000));
    Settle(); // the process group's read it started
    const uint32_t stroke = Drv().GetRegister(0x00A2) << 16 | Drv().GetRegister(0x00A3);
    EXPECT_EQ(Text(1098, page), std::to_string(stroke));
    EXPECT_NE(stroke, 10000u);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_FALSE(Enabled(page, 1103)); // the automatic read is the process group's

    // Cancelling leaves the watch to see the register drop.
    Click(1101, page);
    Click(1064, page);
    ASSERT_TRUE(WaitGui([&] { return !page->Measuring(); }));
    EXPECT_EQ(Boxes(), boxes);
}

} // namespace
