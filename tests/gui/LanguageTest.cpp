// The tool switched to English and back: every text a person sees is
// translated (no Chinese left but the language menu's own), the Chinese texts
// come back as they were, and every page and tool window is rendered in
// English to <build>/screenshots/en.

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

namespace {

bool HasChinese(const QString& s) {
    for (const QChar c : s)
        if ((c.unicode() >= 0x2E80 && c.unicode() <= 0x9FFF) ||
            (c.unicode() >= 0xFF00 && c.unicode() <= 0xFFEF))
            return true;
    return false;
}

// Every text of the window and the windows it owns, shown or not, by where
// it is; values the tool shows (edits, the link summary) are left out.
std::map<std::string, QString> Texts(QWidget* root) {
    std::map<std::string, QString> out;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        const std::string at =
            w->objectName().toStdString() + "@" + std::to_string(reinterpret_cast<uintptr_t>(w));
        auto add = [&](const char* what, const QString& text) {
            if (!text.isEmpty())
                out[at + what] = text;
        };
        if (w->isWindow())
            add("title", w->windowTitle());
        add("tip", w->toolTip());
        if (auto* l = qobject_cast<QLabel*>(w); l && w->objectName() != "lblLinkSummary")
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
        const QString dir = QString(HALVIK_SCREENSHOT_DIR) + "/en";
        ASSERT_TRUE(QDir().mkpath(dir));
        QImage shot(w->size(), QImage::Format_ARGB32_Premultiplied);
        shot.fill(Qt::white);
        w->render(&shot);
        EXPECT_TRUE(shot.save(dir + "/" + name)) << name.toStdString();
        for (const std::string& clipped : ClippedTexts(w))
            ADD_FAILURE() << name.toStdString() << ": " << clipped;
        for (const auto& [at, text] : Texts(w))
            EXPECT_FALSE(HasChinese(text))
                << name.toStdString() << " " << at << ": " << text.toStdString();
    }
};

TEST_F(LanguageTest, EnglishEverywhereAndChineseUnchanged) {
    Open();
    Click(Ui().btnReadInfo);
    for (QWidget* page : m_dlg->Pages())
        for (auto* b : page->findChildren<QPushButton*>("btnRead"))
            Click(b);
    m_dlg->show();
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

    const std::map<std::string, QString> shown = Texts(m_dlg.get());
    for (const auto& [at, text] : shown)
        EXPECT_FALSE(HasChinese(text)) << at << ": " << text.toStdString();
    // The layout grew where English needs more room.
    EXPECT_GE(m_dlg->width(), chineseSize.width());
    CAboutDlg about(m_dlg.get());

    // The driver's texts below the window: a refused value and a result.
    EXPECT_EQ(ResultText(kResultTimeout), "Time-out");

    // Every page and tool window, for a person to look at.
    for (int i = 0; i < Ui().tabPages->count(); ++i) {
        Ui().tabPages->setCurrentIndex(i);
        Save(m_dlg.get(), QString("page%1.png").arg(i));
    }
    Save(&about, "about.png");
    for (QDialog* tool : std::initializer_list<QDialog*>{
             m_dlg->findChild<CRegisterDlg*>(), m_dlg->findChild<CObjDictDlg*>(), m_dlg->PlotDlg(),
             m_dlg->TrafficLogDlg()}) {
        tool->show();
        Save(tool, QString(tool->metaObject()->className()) + ".png");
    }
    auto* list = Page(3)->findChild<CCanOpenList*>();
    Click(list->Ui().btnLoad);
    ASSERT_TRUE(WaitGui([&] { return m_boxes.LastText() == "Read complete"; }, 20000));
    Ui().tabPages->setCurrentIndex(3);
    Save(m_dlg.get(), "comm_loaded.png");
    list->PdoEditDlg()->adjustSize();
    Save(list->PdoEditDlg(), "CPdoEditDlg.png");
    Save(list->SyncEditDlg(), "CSyncEditDlg.png");
    CScanDlg scan(m_dlg->Context(), m_dlg->LinkStats(), m_dlg->PanelLines(), kCom, m_dlg.get());
    scan.adjustSize();
    Save(&scan, "CScanDlg.png");

    // The bus view following the driver, the step window, and the comparison
    // of a file before it is loaded.
    QWidget* bus = ShowBusView();
    Save(bus, "CBusViewDlg.png");
    auto* addresses = bus->findChild<QLineEdit*>();
    addresses->setText("248");
    emit addresses->returnPressed();
    EXPECT_EQ(m_boxes.LastText(), "Addresses: 248 is not an address (1~247)");
    bus->hide();
    QWidget* step = OpenStepWindow();
    Save(step, "CStepDlg.png");
    step->close();
    LookAtComparison((QString(HALVIK_SCREENSHOT_DIR) + "/en/compare.json").toStdString(),
                     [&] { Drv().SetRegister(0x0050, 25); },
                     [&](QWidget& dlg) { Save(&dlg, "CConfigCompareDlg.png"); });
    // A broken file's problems in English too, not only the box's heading.
    const std::string broken = QString(HALVIK_SCREENSHOT_DIR).toStdString() + "/en/broken.json";
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
