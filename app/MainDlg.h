#pragma once
// The main window: connection panel, traffic box, device information, live
// status and the tab pages. It owns the one CMotorDriver for the whole run.
//
// Pages and tool windows get what they share with it from its driver context
// (DriverContext.h), handed to each when it is made. Everything else here is
// GUI-thread only.

#include "desklogic/TrafficLog.h"
#include "driver/BusScan.h"
#include "driver/MotorDriver.h"
#include "guikit/DriverContext.h"
#include "modbus/LinkStats.h"

#include <QDialog>
#include <QTimer>

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class CStatusPoller;
class QCheckBox;

namespace Ui {
class CMainDlg;
}
class CStopKeyFilter;
class CPlotDlg;
struct SPanelLines;
class CTrafficLogDlg;
class CBusViewDlg;

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;
    Ui::CMainDlg& Ui() const { return *m_ui; }

    CMotorDriver m_driver;
    // What the pages and tool windows are handed: the driver, the slave
    // address, the speed unit, holds on the poll and their worker.
    CDriverContext m_ctx{m_driver};
    CDriverContext& Context() { return m_ctx; }
    std::atomic<uint8_t>& m_nSlaveAddr = m_ctx.m_nSlaveAddr;
    std::atomic<int>& m_bSpeedUnitHz = m_ctx.m_bSpeedUnitHz;

    // Appends a tab with this text for the page; returns its index.
    int AddPage(QWidget* page, const QString& tabText);
    // Shows the page at index (the others are hidden).
    void ShowPage(int index);
    const std::vector<QWidget*>& Pages() const { return m_pages; }
    // The window as large as every page and tab of the language in use needs.
    void FitToTexts();

    // One tick of the 100 ms timer: traffic box, then the status poll.
    void OnTimer();
    // A status read runs on the poll worker; the next tick starts none.
    bool PollInFlight() const { return m_bPollInFlight; }
    // The stop of the F12 key and the status area's button: the motor
    // control page's stop mode.
    void OnStopMotor();

    // Sets the connection panel to a driver's address, baud rate and parity
    // (one the bus scan found, or where a loaded configuration moved it); an
    // open port takes the line settings at once, as it does when the user
    // picks another baud rate or parity.
    void SetConnection(uint8_t slave, const SLineSetting& line);
    // The line settings the connection panel offers and the ones selected.
    SPanelLines PanelLines() const;
    // The live plot and the traffic log (工具 menu), hidden until asked for.
    CPlotDlg* PlotDlg() const { return m_pPlotDlg; }
    CTrafficLogDlg* TrafficLogDlg() const { return m_pTrafficDlg; }
    CBusViewDlg* BusViewDlg() const { return m_pBusDlg; }
    // Every exchange since the port was opened, from every thread.
    CTrafficLog m_trafficLog;
    // What the link summary under the status group sums up.
    CLinkStats& LinkStats() { return m_linkStats; }

public slots:
    // Enter does nothing.
    void accept() override {}
    // Esc, the close box and "退出(&Q)": with the motor running (as the last
    // good poll saw it) the user chooses first to stop it, leave it running
    // or stay.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnOpenClose();
    // The address check boxes "1" to "7": bits 0 to 6.
    std::array<QCheckBox*, 7> AddressBoxes() const;
    void CloseLostPort();
    void UpdateAddressFromBits();
    void UpdateBitsFromAddress();
    // The baud and parity combos show the line, without applying it.
    void SelectLine(const SLineSetting& line);
    // An open port takes the line; one it refuses is reported and the
    // combos go back to the port's present line.
    void ApplyLine(const SLineSetting& line);
    // force: the tips anew though the frames are the same (a new language).
    void UpdateTrafficBox(bool force = false);
    void MakeBusView();
    void UpdatePortDevices(bool allItems);
    void ReadRealtimeStatus();
    void ShowStatus(unsigned epoch, ResultCode rc, const RealtimeStatusBlock& block);
    // The status fields from a poll's outcome, in the language in use.
    void PutStatus(ResultCode rc, const RealtimeStatusBlock& block);
    void UpdateLinkSummary();
    // Hands one poll's outcome to the live plot (and its recording).
    void OnStatusSample(ResultCode rc, const RealtimeStatusBlock& block);
    // What the status fields stand for: the last poll (all live), a failed
    // poll (its text in the eight fields, the others kept), or nothing any
    // more (port closed, auto update off). Kept values are shown greyed.
    enum class EStatusShown { Live, Failed, Stale };
    void MarkStatus(EStatusShown shown);
    // The device information and status follow the port, whoever opened or
    // closed it.
    void ShowPortState();
    // False when the window is to stay open.
    bool MayClose();
    void OnReadInfo();
    void OnOemInfo();
    void OnClearPosition();
    void OnAbout();
    void OnScan();
    void ShowToolDialog(QDialog* dlg);

    Ui::CMainDlg* m_ui;
    std::vector<QWidget*> m_pages;
    // Tool dialogs: created hidden, shown centred by the Tools menu, hidden
    // on close; children of this window, which deletes them.
    QDialog* m_pRegisterDlg = nullptr;
    QDialog* m_pObjDictDlg = nullptr;
    CPlotDlg* m_pPlotDlg = nullptr;
    CTrafficLogDlg* m_pTrafficDlg = nullptr;
    CBusViewDlg* m_pBusDlg = nullptr;
    QTimer m_timer;
    int m_nTicks = 0;
    // The status poll: its worker, whether a read is out, and which opening of
    // the port it belongs to (a result from before a close is dropped).
    std::unique_ptr<CStatusPoller> m_pPoller;
    bool m_bPollInFlight = false;
    unsigned m_nPortEpoch = 0;
    CLinkStats m_linkStats;          // every transaction of m_driver since the port opened
    bool m_bMotorRunning = false;    // as the last successful poll saw it
    bool m_bStoppedForClose = false; // the close question's stop succeeded
    EStatusShown m_statusShown = EStatusShown::Live;
    // The last poll shown, told again in a new language.
    std::optional<std::pair<ResultCode, RealtimeStatusBlock>> m_lastStatus;
    CStopKeyFilter* m_pStopKey = nullptr;
    QString m_strSummaryTip; // what the link summary's parts mean
};
