#pragma once
// Shared by the window tests: one offscreen application per process, a wait
// that keeps the event loop running, and a stand-in for the message boxes.

#include "app/MainDlg.h"
#include "guikit/CtrlUtil.h"
#include "guikit/MessageBox.h"
#include "tests/core/TestBytes.h"
#include "tests/support/SimHarness.h"

#include "ui_MainDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QApplication;

// Creates the application on first use: offscreen platform, C numerics, and
// COM links in a private folder of this process.
QApplication* GuiApp();

// Runs the event loop until pred holds or timeoutMs passes; returns pred().
bool WaitGui(const std::function<bool()>& pred, int timeoutMs = 5000);

// Every text of the window and its children that does not fit where it is
// shown (a label, button, box title, list item or tab squeezed below its
// text's width), one line each; empty when all can be read whole.
std::vector<std::string> ClippedTexts(QWidget* root);

// Replaces the message boxes while it lives: records every request and
// answers the questions from a queue (then with the default answer, or for a
// question with choices its last one, as Esc would).
class CMessageRecorder {
public:
    explicit CMessageRecorder(bool defaultAnswer = false);
    ~CMessageRecorder();

    std::vector<SMessageRequest> m_boxes;
    std::deque<int> m_answers; // Yes/No as true/false, choices by index
    bool m_bDefaultAnswer;

    std::string LastText() const { return m_boxes.empty() ? "" : m_boxes.back().text; }

private:
    MessageHandler m_previous;
};

// The main window with the virtual driver linked as COM kCom.
class CWindowTest : public ::testing::Test {
public:
    static constexpr int kCom = 3;

protected:
    static void SetUpTestSuite() { GuiApp(); }

    void SetUp() override {
        m_sim = std::make_unique<CSimHarness>(1, kCom);
        ASSERT_TRUE(m_sim->Ok());
        m_dlg = std::make_unique<CMainDlg>();
        m_dlg->m_driver.SetTimeout(kReplyMs);
    }

    // The driver stops answering; a short reply time-out keeps these cases
    // quick, a long one elsewhere keeps a loaded machine from failing them.
    void Silence() {
        m_dlg->m_driver.SetTimeout(kSilentMs);
        m_sim->Server().InjectFault(EFault::Silent, 0, -1);
    }
    void Unsilence() {
        m_sim->Server().ClearFaults();
        m_dlg->m_driver.SetTimeout(kReplyMs);
    }
    static constexpr uint32_t kReplyMs = 3000, kSilentMs = 200;

    // Clicks and waits until the operations it started on the driver
    // context's worker have shown their outcome.
    void Click(QAbstractButton* b) {
        b->click();
        Settle();
    }
    void Settle() { EXPECT_TRUE(m_dlg->Context().WaitIdle(20000)); }
    // A click while the driver is silent shows the time-out.
    void ClickUnanswered(QAbstractButton* b) {
        Silence();
        Click(b);
        EXPECT_EQ(m_boxes.LastText(), ResultText(kResultTimeout)) << b->objectName().toStdString();
        Unsilence();
    }
    size_t Boxes() const { return m_boxes.m_boxes.size(); }
    CVirtualDriver& Drv() { return m_sim->Driver(); }
    std::vector<uint16_t> Wire(uint16_t start, uint16_t count) {
        return m_sim->Driver().GetRegisters(start, count);
    }
    QWidget* Page(size_t index) { return m_dlg->Pages().at(index); }

    // Controls by the windows' uic members.
    Ui::CMainDlg& Ui() { return m_dlg->Ui(); }
    static std::string Text(const QWidget* w) { return CtrlValue(w); }
    static void Type(QLineEdit* edit, const char* text) { edit->setText(text); }
    static void Select(QComboBox* combo, int index) { combo->setCurrentIndex(index); }
    static void Menu(QAction* action) { action->trigger(); }
    static void ExpectShown(std::initializer_list<std::pair<const QWidget*, const char*>> shown) {
        for (const auto& [w, text] : shown)
            EXPECT_EQ(Text(w), text) << w->objectName().toStdString();
    }

    // The bus view on the one driver, once its row has been read.
    QWidget* ShowBusView();
    // The step window, as the PID page's button opens it.
    QWidget* OpenStepWindow();
    // Exports the settings to file, lets change alter the driver, and loads
    // the file again: look sees the comparison dialog, which then declines.
    void LookAtComparison(const std::string& file, const std::function<void()>& change,
                          const std::function<void(QWidget&)>& look);

    // Picks the virtual driver's COM port and opens it.
    void Open() {
        Select(Ui().cmbComPort, kCom - 1);
        Click(Ui().btnOpenPort);
        ASSERT_TRUE(m_dlg->m_driver.IsOpen());
    }
    // The boxes are replaced before the window exists and restored after it.
    CMessageRecorder m_boxes;
    std::unique_ptr<CSimHarness> m_sim;
    std::unique_ptr<CMainDlg> m_dlg;
};
