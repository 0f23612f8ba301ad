#pragma once
// 工具 → "总线视图": the drivers of a list on one line, live: each one's
// summary and the health of its link, read in turn on a worker of the
// window's own, between the main window's own transactions. A driver that
// stops answering is marked and tried at a slower pace, never dropped. A row
// clicked (or Enter) makes that driver the addressed one; "全部停止" (F12
// while the window has the focus) stops every listed driver, each by its own
// address, with the stop mode chosen on "电机控制".

#include "driver/BusWatch.h"
#include "guikit/DriverContext.h"
#include "guikit/GuiThread.h"

#include <QDialog>

#include <atomic>
#include <map>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;
class QTableWidget;

// --- Window logic ----------------------------------------------------------------

// The texts of a driver's row: address, model, supply voltage, commutation
// frequency, phase current, temperature, error state, updates per second,
// round trip, time-outs. A driver not answering keeps its last values and
// says so in its state.
std::vector<std::string> BusRowTexts(uint8_t slave, const std::string& model,
                                     const SWatchUpdate& update);
// What "全部停止" did: "全部停止: 3台已停止" or the drivers that did not confirm.
std::string StopAllText(const std::vector<SStopResult>& results);

// --- Window ----------------------------------------------------------------------

class CBusViewDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBusViewDlg(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CBusViewDlg() override;

    // The drivers to watch, with the models a scan found (others are read).
    void SetSlaves(const std::vector<uint8_t>& slaves,
                   const std::map<uint8_t, std::string>& models = {});
    const std::vector<uint8_t>& Slaves() const { return m_slaves; }
    // Stops every listed driver; the outcome in one box.
    void StopAllDrivers();
    QTableWidget* Table() const { return m_pTable; }
    // Updates shown so far (all rows).
    size_t UpdatesShown() const { return m_nUpdates; }

signals:
    void SlaveChosen(uint8_t slave);

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void StartWatch();
    void StopWatch();
    void OnUpdate(const SWatchUpdate& u);
    void OnApplyList();

    CDriverContext& m_ctx;
    QLineEdit* m_pList;
    QTableWidget* m_pTable;
    QPushButton* m_pStopAll;
    QShortcut* m_pF12;
    QLabel* m_pState;
    // What the state line tells: kNotOpen, kReading, or the round shown.
    static constexpr int64_t kNotOpen = -2, kReading = -1;
    int64_t m_nState = kReading;
    void ShowState();
    std::vector<uint8_t> m_slaves;
    std::map<uint8_t, std::string> m_models;
    size_t m_nUpdates = 0;
    CGuiWorker m_worker;
    std::atomic<bool> m_bStop{false};
};
