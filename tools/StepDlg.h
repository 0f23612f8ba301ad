#pragma once
// "阶跃响应" (from the PID page): a step of the speed loop (the commutation
// frequency from where it is to a target) or of the position loop (a move),
// sampled as fast as the line allows with the status poll held off, and
// judged by its figures. Each run is kept with the gains it ran with; the
// selected runs (the last two unless others are chosen) are overlaid on one
// plot with their figures side by side. The motor is stopped at the end, on
// any failed read, on "停止" and on F12, with the stop mode chosen on
// "电机控制". The run is on a worker; the window keeps answering.

#include "driver/StepRun.h"
#include "guikit/DriverContext.h"
#include "guikit/GuiThread.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;
class QSpinBox;
class QTableWidget;

// --- Window logic ----------------------------------------------------------------

// One run's column of the figures table: gains, then each figure ("-" when
// never reached), then the sample rate.
std::vector<std::string> StepFigureTexts(const SStepResult& r, EStepLoop loop);
// Samples and figures as CSV (UTF-8 with a byte-order mark).
std::string StepCsv(const SStepResult& r, EStepLoop loop);
// Why a run ended, for people: "" for a completed run with its figures,
// why there are none for one without.
std::string StepEndText(const SStepResult& r);

// --- Window ----------------------------------------------------------------------

class CStepDlg : public QDialog {
    Q_OBJECT
public:
    explicit CStepDlg(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CStepDlg() override;

    struct SRun {
        EStepLoop loop = EStepLoop::Speed;
        SStepResult result;
    };
    const std::vector<SRun>& Runs() const { return m_runs; }
    bool Running() const { return m_worker.Running(); }
    void OnStart();
    void OnStop();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void OnFinished(EStepLoop loop, const SStepResult& r);
    void ShowRuns();
    void OnExportCsv();
    void OnExportPng();
    void SetRunning(bool running);

    CDriverContext& m_ctx;
    QComboBox* m_pLoop;
    QLineEdit* m_pTarget;
    QLabel* m_pUnit;
    QCheckBox* m_pRelative;
    QCheckBox* m_pFromRunning;
    QSpinBox* m_pDuration;
    QPushButton* m_pStart;
    QPushButton* m_pStop;
    QShortcut* m_pF12;
    QCustomPlot* m_pPlot;
    QTableWidget* m_pFigures;
    QLabel* m_pState;
    std::vector<SRun> m_runs;
    std::vector<int> m_shown; // indexes of the runs overlaid
    CGuiWorker m_worker;
    std::atomic<bool> m_bStop{false};
};
