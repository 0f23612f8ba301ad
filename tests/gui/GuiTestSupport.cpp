#include "GuiTestSupport.h"

#include "pages/PidPage.h"
#include "tests/support/SimHarness.h"
#include "tools/BusViewDlg.h"
#include "tools/ConfigTransfer.h"
#include "tools/StepDlg.h"

#include "ui_PidPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>

#include <chrono>
#include <clocale>
#include <fstream>
#include <sstream>
#include <thread>

QApplication* GuiApp() {
    static int argc = 1;
    static char name[] = "gui_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        UsePrivatePortFolder();
        auto* a = new QApplication(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        return a;
    }();
    return app;
}

bool WaitGui(const std::function<bool()>& pred, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<std::string> ClippedTexts(QWidget* root) {
    std::vector<std::string> clipped;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        // Hidden ones and those the layout may cut on purpose (elided
        // summaries with the whole text in their tooltip) are left out.
        if ((w != root && !w->isVisibleTo(root)) ||
            w->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)
            continue;
        const QFontMetrics fm = w->fontMetrics();
        auto advance = [&](QString text) {
            return fm.horizontalAdvance(text.replace("&&", "\x01").remove('&'));
        };
        QString text;
        int need = 0;
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            text = b->text();
            const QStyle* s = b->style();
            need = advance(text) + s->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) +
                   2 * s->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b) +
                   (b->icon().isNull() ? 0 : b->iconSize().width() + 4);
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
            text = static_cast<QAbstractButton*>(w)->text();
            need = w->sizeHint().width();
        } else if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap()) {
            text = l->text();
            need = text.isEmpty() ? 0 : l->sizeHint().width();
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            text = g->title();
            need = g->minimumSizeHint().width();
        } else if (auto* c = qobject_cast<QComboBox*>(w); c && c->count() > 0) {
            // Any item may be chosen and then shown in the box.
            int widest = 0;
            for (int i = 0; i < c->count(); ++i)
                if (advance(c->itemText(i)) > widest) {
                    widest = advance(c->itemText(i));
                    text = c->itemText(i);
                }
            // The box shows its text in its edit field less a pixel each side.
            QStyleOptionComboBox opt;
            opt.initFrom(c);
            opt.editable = c->isEditable();
            const int field =
                c->style()
                    ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c)
                    .width();
            need = c->width() - field + 2 + widest;
        } else if (auto* t = qobject_cast<QTabWidget*>(w)) {
            text = "tabs";
            need = t->tabBar()->sizeHint().width();
        } else if (auto* h = qobject_cast<QHeaderView*>(w);
                   h && h->model() && h->orientation() == Qt::Horizontal) {
            // A column's heading, while the view is wide enough to show it.
            for (int i = 0; i < h->count(); ++i) {
                const int x = h->sectionViewportPosition(i);
                if (h->isSectionHidden(i) || x < 0 ||
                    x + h->sectionSize(i) > h->viewport()->width())
                    continue;
                const QString heading = h->model()->headerData(i, h->orientation()).toString();
                if (h->sectionSize(i) + 1 < h->sectionSizeHint(i))
                    clipped.push_back(w->objectName().toStdString() + " \"" +
                                      heading.toStdString() + "\" " +
                                      std::to_string(h->sectionSize(i)) + " < " +
                                      std::to_string(h->sectionSizeHint(i)));
            }
        }
        if (w->width() + 1 < need)
            clipped.push_back(w->objectName().toStdString() + " \"" + text.toStdString() + "\" " +
                              std::to_string(w->width()) + " < " + std::to_string(need));
    }
    return clipped;
}

CMessageRecorder::CMessageRecorder(bool defaultAnswer) : m_bDefaultAnswer(defaultAnswer) {
    m_previous = SetMessageHandler([this](const SMessageRequest& req) {
        m_boxes.push_back(req);
        if (!req.question)
            return 1;
        if (m_answers.empty())
            return req.choices.empty() ? int{m_bDefaultAnswer}
                                       : static_cast<int>(req.choices.size()) - 1;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    });
}

CMessageRecorder::~CMessageRecorder() {
    SetMessageHandler(m_previous);
}

QWidget* CWindowTest::ShowBusView() {
    CBusViewDlg* bus = m_dlg->BusViewDlg();
    bus->SetSlaves({1});
    bus->show();
    EXPECT_TRUE(WaitGui(
        [&] {
            const QTableWidgetItem* model = bus->Table()->item(0, 1);
            return model && model->text() == "HVK-BLD4810";
        },
        20000));
    return bus;
}

QWidget* CWindowTest::OpenStepWindow() {
    Click(static_cast<CPidPage*>(Page(4))->Ui().btnStepResponse);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* step = qobject_cast<CStepDlg*>(w))
            return step;
    ADD_FAILURE() << "no step window";
    return m_dlg.get();
}

void CWindowTest::LookAtComparison(const std::string& file, const std::function<void()>& change,
                                   const std::function<void(QWidget&)>& look) {
    FileChooser chooser = SetFileChooser([&](bool, const std::string&) { return file; });
    Menu(Ui().actExport);
    change();
    bool compared = false;
    CompareHandler compare =
        SetCompareHandler([&](const std::vector<ConfigDiff>& diffs, bool& includeComm) {
            CConfigCompareDlg dlg(diffs, includeComm, m_dlg.get());
            dlg.adjustSize();
            look(dlg);
            compared = true;
            return false;
        });
    Menu(Ui().actLoad);
    SetCompareHandler(compare);
    SetFileChooser(chooser);
    EXPECT_TRUE(compared);
}
