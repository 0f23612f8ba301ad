// Every page and tool window in Chinese and in English, rendered to
// <build>/screenshots (the English ones to en/) with values read from the
// virtual driver, so anyone can look at them: no text cut in either language,
// every text a person sees translated in English (no Chinese left but the
// language menu's own), and the Chinese texts back as they were.

#include "app/Language.h"
#include "GuiTestSupport.h"
#include "app/AboutDlg.h"
#include "pages/CanOpenList.h"
#include "tools/ConfigTransfer.h"
#include "tools/ObjDictDlg.h"
#include "tools/PdoEditDlg.h"
#include "tools/PlotDlg.h"
#include "tools/RegisterDlg.h"
#include "tools/ScanDlg.h"
#include "tools/SyncEditDlg.h"
#include "tools/TrafficLogDlg.h"

#include "ui_CanOpenList.h"
#include "ui_ObjDictDlg.h"
#include "ui_PdoEditDlg.h"
#include "ui_RegisterDlg.h"
#include "ui_ScanDlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include <fstream>
#include <map>

// Qt is not built with ThreadSanitizer: the image work it hands to its own
// thread pool while painting would be reported as races.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Gui.so\nrace:libQt6Core.so\n";
}

namespace {

bool HasChinese(const QString& s) {
    for (const QChar c : s)
        if ((c.unicode() >= 0x2E80 && c.unicode() <= 0x9FFF) ||
            (c.unicode() >= 0xFF00 && c.unicode() <= 0xFFEF))
            return true;
    return false;
}

// Every text of the window and the windows it owns, shown or not, by where
// it is; values the tool shows (edits, the frames' meaning, the link summary,
// the traffic count, the bus view's round) are left out.
std::map<std::string, QString> Texts(QWidget* root) {
    const QStringList values = {"edtTxFrame", "edtRxFrame", "lblLinkSummary", "lblCount",
                                "lblState"};
    std::map<std::string, QString> out;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (values.contains(w->objectName()))
            continue;
        const std::string at =
            w->objectName().toStdString() + "@" + std::to_string(reinterpret_cast<uintptr_t>(w));
        auto add = [&](const char* what, const QString& text) {
            if (!text.isEmpty())
                out[at + what] = text;
        };
        if (w->isWindow())
            add("title", w->windowTitle());
        add("tip", w->toolTip());
        if (auto* l = qobject_cast<QLabel*>(w))
            add("text", l->text());
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            add("text", b->text());
        if (auto* g = qobject_cast<QGroupBox*>(w))
            add("title", g->title());
        if (auto* t = qobject_cast<QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i)
                add(("tab" + std::to_string(i)).c_str(), t->tabText(i));
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                add(("item" + std::to_string(i)).c_str(), c->itemText(i));
        if (auto* e = qobject_cast<QLineEdit*>(w))
            add("placeholder", e->placeholderText());
        if (auto* v = qobject_cast<QTableView*>(w); v && v->model())
            for (int i = 0; i < v->model()->columnCount(); ++i)
                add(("head" + std::to_string(i)).c_str(),
                    v->model()->headerData(i, Qt::Horizontal).toString());
    }
    // The language menu is in both languages on purpose.
    for (QAction* a : root->findChildren<QAction*>())
        if (a->text() != "语言 / Language" && a->text() != "中文")
            out["action " + a->objectName().toStdString() + "@" +
                std::to_string(reinterpret_cast<uintptr_t>(a))] = a->text();
    return out;
}

class LanguageTest : public CWindowTest {
protected:
    void SetUp() override {
        QStandardPaths::setTestModeEnabled(true); // the language choice is not the user's
        CWindowTest::SetUp();
    }
    void TearDown() override { SetLanguage(ELanguage::Chinese); }

    void Save(QWidget* w, const QString& name) {
        const bool english = CurrentLanguage() == ELanguage::English;
        const QString dir = QString(HALVIK_SCREENSHOT_DIR) + (english ? "/en" : "");
        ASSERT_TRUE(QDir().mkpath(dir));
        QCoreApplication::sendPostedEvents(); // the layouts' requests, as before painting
        // Rendered straight into an image of the window's own format: no
        // conversion (which Qt would spread over worker threads).
        QImage shot(w->size(), QImage::Format_ARGB32_Premultiplied);
        shot.fill(Qt::white);
        w->render(&shot);
        EXPECT_TRUE(shot.save(dir + "/" + name)) << name.toStdString();
        for (const std::string& clipped : ClippedTexts(w))
            ADD_FAILURE() << name.toStdString() << ": " << clipped;
        for (const auto& [at, text] : Texts(w))
            EXPECT_TRUE(!english || !HasChinese(text))
                << name.toStdString() << " " << at << ": " << text.toStdString();
    }

    // Every page and tool window; the first time round each tool reads.
    void Tour(bool read) {
        for (int i = 0; i < Ui().tabPages->count(); ++i) {
            Ui().tabPages->setCurrentIndex(i);
            Save(m_dlg.get(), QString("page%1.png").arg(i));
        }
        CAboutDlg about(m_dlg.get());
        Save(&about, "about.png");
        auto* reg = m_dlg->findChild<CRegisterDlg*>();
        auto* obj = m_dlg->findChild<CObjDictDlg*>();
        if (read) {
            Select(reg->Ui().cmbReadType, 2);
            Type(reg->Ui().edtReadAddr, "00BA");
            Click(reg->Ui().btnRead);
            Type(obj->Ui().edtIndex, "1018");
            Type(obj->Ui().edtSubIndex, "2");
            Click(obj->Ui().btnOperate);
        }
        for (QDialog* tool :
             std::initializer_list<QDialog*>{reg, obj, m_dlg->PlotDlg(), m_dlg->TrafficLogDlg()}) {
            tool->show();
            Save(tool, QString(tool->metaObject()->className()) + ".png");
        }
        auto* list = Page(3)->findChild<CCanOpenList*>();
        const size_t boxes = m_boxes.m_boxes.size();
        Click(list->Ui().btnLoad);
        ASSERT_TRUE(WaitGui([&] { return m_boxes.m_boxes.size() > boxes; }, 20000));
        Ui().tabPages->setCurrentIndex(3);
        Save(m_dlg.get(), "comm_loaded.png");
        // The two editors, opened from the list as a user would.
        QTableWidget* table = list->List();
        table->selectRow(4);
        emit table->cellDoubleClicked(4, 0);
        CPdoEditDlg* pdo = list->PdoEditDlg();
        ASSERT_TRUE(WaitGui([&] { return pdo->Ui().btnConfigure->isEnabled(); }, 20000));
        Save(pdo, "CPdoEditDlg.png");
        pdo->close();
        table->clearSelection();
        table->selectRow(8);
        emit table->cellDoubleClicked(8, 0);
        Save(list->SyncEditDlg(), "CSyncEditDlg.png");
        list->SyncEditDlg()->close();
        CScanDlg scan(m_dlg->Context(), m_dlg->LinkStats(), m_dlg->PanelLines(), kCom, m_dlg.get());
        scan.Ui().spnFirst->setValue(1);
        scan.Ui().spnLast->setValue(3);
        scan.adjustSize();
        scan.OnStart();
        ASSERT_TRUE(WaitGui([&] { return !scan.Scanning(); }, 30000));
        Save(&scan, "CScanDlg.png");

        // The bus view following the driver, the step window, and the
        // comparison of a file before it is loaded.
        QWidget* bus = ShowBusView();
        Save(bus, "CBusViewDlg.png");
        bus->hide();
        QWidget* step = OpenStepWindow();
        Save(step, "CStepDlg.png");
        step->close();
        LookAtComparison(
            ScreenshotPath("compare.json"),
            [&] {
                // Different each time round.
                Drv().SetRegister(0x0050, Drv().GetRegister(0x0050) + 25);
                Drv().SetRegister(0x0100, 77);
                Drv().SetRegisters(0x00C0, {0x4120, 0x0000});
                Drv().SetObject(0x1800, 2, 0xFE);
            },
            [&](QWidget& dlg) { Save(&dlg, "CConfigCompareDlg.png"); });
    }
    static std::string ScreenshotPath(const char* name) {
        return std::string(HALVIK_SCREENSHOT_DIR) + "/" + name;
    }
};

TEST_F(LanguageTest, EveryWindowInBothLanguagesWholeAndChineseUnchanged) {
    Open();
    Click(Ui().btnReadInfo);
    for (QWidget* page : m_dlg->Pages())
        for (auto* b : page->findChildren<QPushButton*>("btnRead"))
            Click(b);
    // One round of live values, then still: the texts are compared below.
    Ui().chkAutoUpdate->click();
    ASSERT_TRUE(WaitGui([&] { return Text(Ui().lblInputVoltage) != "-"; }));
    Ui().chkAutoUpdate->click();
    m_dlg->show();
    Tour(true);
    const std::map<std::string, QString> chinese = Texts(m_dlg.get());
    const QSize chineseSize = m_dlg->size();
    QHeaderView* columns = Page(3)->findChild<CCanOpenList*>()->List()->horizontalHeader();
    std::vector<int> chineseColumns;
    for (int i = 0; i < columns->count(); ++i)
        chineseColumns.push_back(columns->sectionSize(i));

    // Chosen in the help menu, as a user would: it switches and is kept.
    QAction* english = nullptr;
    for (QAction* a : m_dlg->findChildren<QAction*>())
        if (a->text() == "English")
            english = a;
    ASSERT_NE(english, nullptr);
    english->trigger();
    EXPECT_EQ(CurrentLanguage(), ELanguage::English);
    EXPECT_EQ(PreferredLanguage(), ELanguage::English);
    EXPECT_EQ(Ui().tabPages->tabText(1), "Motor parameters");
    for (const auto& [at, text] : Texts(m_dlg.get()))
        EXPECT_FALSE(HasChinese(text)) << at << ": " << text.toStdString();
    // The layout grew where English needs more room.
    EXPECT_GE(m_dlg->width(), chineseSize.width());
    Tour(false);

    // A refusal the bus view words itself.
    QWidget* bus = ShowBusView();
    auto* addresses = bus->findChild<QLineEdit*>();
    addresses->setText("248");
    emit addresses->returnPressed();
    EXPECT_EQ(m_boxes.LastText(), "Addresses: 248 is not an address (1~247)");
    bus->hide();
    // A broken file's problems in English too, not only the box's heading.
    const std::string broken = ScreenshotPath("en/broken.json");
    std::ofstream(broken) << "{\"format\": \"other\", \"version\": 1, \"blocks\": [1,,2]}";
    FileChooser chooser = SetFileChooser([&](bool, const std::string&) { return broken; });
    Menu(Ui().actLoad);
    SetFileChooser(chooser);
    EXPECT_NE(m_boxes.LastText().find("not valid JSON"), std::string::npos) << m_boxes.LastText();
    EXPECT_FALSE(HasChinese(QString::fromStdString(m_boxes.LastText()))) << m_boxes.LastText();

    // And back: the Chinese texts exactly as before.
    SetLanguage(ELanguage::Chinese);
    // The window and the columns as they were, not as wide as English needed.
    EXPECT_EQ(m_dlg->size(), chineseSize);
    for (int i = 0; i < columns->count(); ++i)
        EXPECT_EQ(columns->sectionSize(i), chineseColumns[static_cast<size_t>(i)]) << i;
    const std::map<std::string, QString> again = Texts(m_dlg.get());
    for (const auto& [at, text] : chinese) {
        const auto it = again.find(at);
        ASSERT_NE(it, again.end()) << at;
        EXPECT_EQ(it->second.toStdString(), text.toStdString()) << at;
    }
    EXPECT_EQ(ResultText(kResultTimeout), "通讯超时");
}

} // namespace
