// Renders the main window offscreen to PNG files under the build folder, with
// live values from the virtual driver, so anyone can look at it.

#include "GuiTestSupport.h"
#include "app/AboutDlg.h"
#include "pages/CanOpenList.h"
#include "pages/CommParamPage.h"
#include "pages/MotorCtrlPage.h"
#include "pages/MotorParamPage.h"
#include "pages/PidPage.h"
#include "pages/ReciprocatePage.h"
#include "pages/SafetyPage.h"
#include "pages/SysParamPage.h"
#include "tools/ConfigTransfer.h"
#include "tools/ObjDictDlg.h"
#include "tools/PdoEditDlg.h"
#include "tools/PlotDlg.h"
#include "tools/RegisterDlg.h"
#include "tools/ScanDlg.h"
#include "tools/SyncEditDlg.h"
#include "tools/TrafficLogDlg.h"

#include "ui_CanOpenList.h"
#include "ui_CommParamPage.h"
#include "ui_MotorCtrlPage.h"
#include "ui_MotorParamPage.h"
#include "ui_ObjDictDlg.h"
#include "ui_PdoEditDlg.h"
#include "ui_PidPage.h"
#include "ui_ReciprocatePage.h"
#include "ui_RegisterDlg.h"
#include "ui_SafetyPage.h"
#include "ui_ScanDlg.h"
#include "ui_SysParamPage.h"

#include <QAbstractSlider>
#include <QAction>
#include <QDir>
#include <QImage>
#include <QTableView>
#include <QTableWidget>

// Qt is not built with ThreadSanitizer: the image work it hands to its own
// thread pool while painting would be reported as races.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Gui.so\nrace:libQt6Core.so\n";
}

namespace {

class ScreenshotTest : public CWindowTest {
protected:
    template <class P> P* PageOf(size_t index) { return static_cast<P*>(Page(index)); }
};

TEST_F(ScreenshotTest, MainWindowWithLiveValues) {
    const QString dir = HALVIK_SCREENSHOT_DIR;
    ASSERT_TRUE(QDir().mkpath(dir));
    Open();
    Click(Ui().btnReadInfo);
    Ui().chkAutoUpdate->click();
    ASSERT_TRUE(
        WaitGui([&] { return Text(Ui().lblInputVoltage) != "-" && Text(Ui().edtRxFrame) != ""; }));

    auto saveWidget = [&](QWidget* w, const char* name) {
        // Rendered straight into an image of the window's own format: no
        // conversion (which Qt would spread over worker threads).
        QImage shot(w->size(), QImage::Format_ARGB32_Premultiplied);
        shot.fill(Qt::transparent);
        w->render(&shot);
        EXPECT_TRUE(shot.save(dir + "/" + name)) << name;
        for (const std::string& clipped : ClippedTexts(w))
            ADD_FAILURE() << name << ": " << clipped;
    };
    auto save = [&](const char* name) { saveWidget(m_dlg.get(), name); };
    save("main.png");
    QTabWidget* tabs = Ui().tabPages;
    tabs->setCurrentIndex(2);
    Click(PageOf<CSysParamPage>(2)->Ui().btnRead);
    save("system.png");
    tabs->setCurrentIndex(3);
    Click(PageOf<CCommParamPage>(3)->Ui().btnRead); // shown with its list below
    tabs->setCurrentIndex(4);
    Click(PageOf<CPidPage>(4)->Ui().btnRead);
    save("pid.png");
    tabs->setCurrentIndex(5);
    Click(PageOf<CReciprocatePage>(5)->Ui().btnRead);
    Click(PageOf<CReciprocatePage>(5)->Ui().btnReadPreset);
    save("reciprocate.png");
    tabs->setCurrentIndex(6);
    const Ui::CSafetyPage& safety = PageOf<CSafetyPage>(6)->Ui();
    Click(safety.btnRead);
    save("safety.png");
    // A typo refused: the edit marked until it is changed.
    Type(safety.edtOverVoltage, "12x");
    Click(safety.btnConfigure);
    EXPECT_TRUE(IsMarkedRefused(Page(6), CtrlIdOf(safety.edtOverVoltage)));
    save("safety_refused.png");
    m_boxes.m_boxes.clear();
    Click(safety.btnRead); // read anew: the mark goes with the typo
    EXPECT_FALSE(IsMarkedRefused(Page(6), CtrlIdOf(safety.edtOverVoltage)));
    tabs->setCurrentIndex(0);
    const Ui::CMotorCtrlPage& motor = PageOf<CMotorCtrlPage>(0)->Ui();
    motor.sldPwm->setValue(500);
    Click(motor.btnReadRamp);
    WaitGui([&] { return Text(motor.lblPwm) == "50.0%"; }); // the page's next tick
    save("motor_ctrl.png");
    tabs->setCurrentIndex(1);
    Click(PageOf<CMotorParamPage>(1)->Ui().btnRead);
    save("motor_param.png");

    // The bus scan dialog with the virtual driver found.
    CScanDlg scan(m_dlg->Context(), m_dlg->LinkStats(), m_dlg->PanelLines(), kCom, m_dlg.get());
    scan.Ui().spnFirst->setValue(1);
    scan.Ui().spnLast->setValue(3);
    scan.adjustSize();
    scan.OnStart();
    ASSERT_TRUE(WaitGui([&] { return !scan.Scanning(); }, 30000));
    saveWidget(&scan, "scan.png");

    // The comparison dialog of 载入配置, after a few settings were changed.
    LookAtComparison((dir + "/compare.json").toStdString(),
                     [&] {
                         Drv().SetRegister(0x0050, 25);
                         Drv().SetRegister(0x0100, 77);
                         Drv().SetRegisters(0x00C0, {0x4120, 0x0000});
                         Drv().SetRegister(0x0095, 12);
                         Drv().SetObject(0x1800, 2, 0xFE);
                     },
                     [&](QWidget& dlg) { saveWidget(&dlg, "compare.png"); });
    ASSERT_FALSE(m_boxes.m_boxes.empty());
    m_boxes.m_boxes.erase(m_boxes.m_boxes.begin()); // the export's "操作成功"
    // The tool windows after a read each.
    auto* reg = m_dlg->findChild<CRegisterDlg*>();
    Menu(Ui().actRegister);
    Select(reg->Ui().cmbReadType, 2);
    Type(reg->Ui().edtReadAddr, "00BA");
    Click(reg->Ui().btnRead);
    saveWidget(reg, "register.png");
    auto* obj = m_dlg->findChild<CObjDictDlg*>();
    Menu(Ui().actObjDict);
    Type(obj->Ui().edtIndex, "1018");
    Type(obj->Ui().edtSubIndex, "2");
    Click(obj->Ui().btnOperate);
    saveWidget(obj, "objdict.png");
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();

    // The CANopen object list, loaded, and its two editors.
    tabs->setCurrentIndex(3);
    auto* list = Page(3)->findChild<CCanOpenList*>();
    ASSERT_NE(list, nullptr);
    Click(list->Ui().btnLoad);
    ASSERT_TRUE(WaitGui([&] { return m_boxes.LastText() == "读取完毕"; }, 20000));
    save("comm.png");
    QTableWidget* table = list->List();
    table->selectRow(4);
    emit table->cellDoubleClicked(4, 0);
    CPdoEditDlg* pdo = list->PdoEditDlg();
    ASSERT_TRUE(WaitGui([&] { return pdo->Ui().btnConfigure->isEnabled(); }, 20000));
    saveWidget(pdo, "pdo.png");
    table->clearSelection();
    table->selectRow(8);
    emit table->cellDoubleClicked(8, 0);
    saveWidget(list->SyncEditDlg(), "sync.png");

    // The about box, the bus view and the step window.
    CAboutDlg about(m_dlg.get());
    saveWidget(&about, "about.png");
    QWidget* bus = ShowBusView();
    saveWidget(bus, "busview.png");
    bus->hide();
    QWidget* step = OpenStepWindow();
    saveWidget(step, "step.png");
    step->close();

    // The live plot following a run command, fed by the poll still running.
    CPlotDlg* plot = m_dlg->PlotDlg();
    plot->SetSeriesShown(kSeriesCommFrequency, true);
    plot->resize(1000, 600);
    const size_t start = plot->History().Size();
    auto samples = [&] { return plot->History().Size() - start; };
    ASSERT_TRUE(WaitGui([&] { return samples() >= 5; }, 20000));
    Drv().SetRegister(0x0075, 1); // learned, so the motor may run
    ASSERT_EQ(m_dlg->m_driver.WriteRunCommand(1, 800, 1), kResultOk); // 80.0 Hz
    ASSERT_TRUE(WaitGui([&] { return samples() >= 45; }, 30000));
    ASSERT_EQ(m_dlg->m_driver.WriteStopCommand(1, 0), kResultOk);
    ASSERT_TRUE(WaitGui([&] { return samples() >= 70; }, 30000));
    plot->SetPaused(true);
    plot->SetCursor(plot->History().At(plot->History().Size() - 40).t);
    plot->Redraw();
    QImage shot(plot->size(), QImage::Format_ARGB32_Premultiplied);
    shot.fill(Qt::white);
    plot->render(&shot);
    EXPECT_TRUE(shot.save(dir + "/plot.png"));

    // The traffic log of all this, in the driver's words, a read selected.
    CTrafficLogDlg* traffic = m_dlg->TrafficLogDlg();
    traffic->show();
    traffic->Refresh();
    const std::vector<STransaction>& meant = traffic->Meanings();
    ASSERT_FALSE(meant.empty());
    auto* view = traffic->findChild<QTableView*>();
    for (size_t i = 0; i < meant.size(); ++i)
        if (meant[i].block == "pid")
            view->selectRow(static_cast<int>(i));
    saveWidget(traffic, "traffic.png");
}

} // namespace
