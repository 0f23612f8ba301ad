#pragma once
// 工具 → "实时曲线": the status values against time, from the samples the main
// window's status poll takes (no transactions of its own), and the CSV
// recording of those samples.
//
// GUI thread only. Modeless, created hidden with the main window, hidden on
// close: the history and a running recording go on while it is hidden.

#include "desklogic/StatusSamples.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QCPAxis;
class QCPGraph;
class QCPItemStraightLine;
class QLabel;
class QPushButton;

class CPlotDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPlotDlg(QWidget* parent = nullptr,
                      size_t capacity = CSampleHistory::kDefaultCapacity);
    ~CPlotDlg() override;

    // One poll's outcome (the main window calls it after every poll).
    void AddSample(const StatusSample& s);
    // Whether the main window is polling at all; the window says so when not.
    void SetPolling(bool polling);

    const CSampleHistory& History() const { return m_history; }
    CCsvRecorder& Recorder() { return m_recorder; }
    QCustomPlot* Plot() const { return m_pPlot; }
    bool Paused() const { return m_bPaused; }
    void SetSeriesShown(int series, bool shown);
    void SetNormalised(bool normalised);
    void SetPaused(bool paused);
    // Starts recording to path (tests; the button asks for a file).
    bool StartRecording(const std::string& path);
    void StopRecording();
    // Places the read-out cursor at t seconds; its text.
    void SetCursor(double t);
    QString CursorText() const;
    void Clear();
    // Redraws at once (the window otherwise redraws at most every 100 ms).
    void Redraw();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void OnRecord();
    // Every text in the language in use; the pause and record buttons' texts
    // follow their state.
    void Retranslate();
    void ShowButtonStates();
    void RescaleValues();
    void UpdateStatus();
    void UpdateAxes();

    CSampleHistory m_history;
    CCsvRecorder m_recorder;
    QCustomPlot* m_pPlot = nullptr;
    QCPAxis* m_pNormAxis = nullptr; // the one axis shown when normalised
    std::array<QCPGraph*, kPlotSeriesCount> m_graphs{};
    std::array<QCPAxis*, kPlotSeriesCount> m_axes{};
    std::array<QCheckBox*, kPlotSeriesCount> m_checks{};
    QCPItemStraightLine* m_pCursor = nullptr;
    QComboBox* m_pScale = nullptr;
    QPushButton* m_pPause = nullptr;
    QPushButton* m_pClear = nullptr;
    QLabel* m_pScaleCaption = nullptr;
    QPushButton* m_pRecord = nullptr;
    QLabel* m_pStatus = nullptr;
    QLabel* m_pReadout = nullptr;
    bool m_bPaused = false;
    bool m_bPolling = false;
    double m_dCursorT = -1;
    double m_dSpan = 60; // seconds shown while following the newest sample
};
