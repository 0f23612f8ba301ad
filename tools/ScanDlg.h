#pragma once
// "扫描设备": looks for drivers on the bus at the connection panel's port,
// at its selected line settings or at every one it offers, and hands the
// driver the user picks back to the panel.
//
// The scan runs on a worker with the main window's status poll suspended;
// the worker never touches widgets (its steps and finds are posted to the GUI
// thread). Stop, Close and the dialog's destruction end it within one probe.
// Its exchanges are left out of the main window's link summary.

#include "driver/BusScan.h"
#include "guikit/DriverContext.h"
#include "guikit/GuiThread.h"
#include "modbus/LinkStats.h"

#include <QDialog>

class QPushButton;

#include <atomic>
#include <optional>
#include <string>
#include <vector>

// --- Dialog logic ---------------------------------------------------------------

// What the connection panel offers and has selected: the items of the baud
// and parity combos and the selected indexes.
struct SPanelLines {
    std::vector<std::string> bauds, parities;
    int baudIndex = 0, parityIndex = 0;
};
// The panel's selected setting, and every one it offers.
SLineSetting SelectedLine(const SPanelLines& panel);
std::vector<SLineSetting> PanelLineSettings(const SPanelLines& panel);
// "9600, 无+2停止位".
std::string LineText(const SLineSetting& line, const SPanelLines& panel);
// The row of a found driver: address, baud rate, parity, identifier, model
// (or, for a driver that answered with an exception, that answer).
std::vector<std::string> ScanHitRow(const SScanHit& hit, const SPanelLines& panel);
// "正在扫描 9600, 无+2停止位, 地址 37 (0x25)".
std::string ScanStepText(const SScanStep& step, const SPanelLines& panel);

// --- Dialog ---------------------------------------------------------------------

namespace Ui {
class CScanDlg;
}

class CScanDlg : public QDialog {
    Q_OBJECT
public:
    // portNumber: the COM number the panel has selected.
    // link: the main window's link statistics, which the scan's probes stay
    // out of.
    CScanDlg(CDriverContext& ctx, CLinkStats& link, const SPanelLines& panel, int portNumber,
             QWidget* parent = nullptr);
    ~CScanDlg() override;
    Ui::CScanDlg& Ui() const { return *m_ui; }

    // The driver the user chose (set when the dialog is accepted).
    const std::optional<SScanHit>& Chosen() const { return m_chosen; }
    // Every driver found, and whether "总线视图" closed the dialog to watch
    // them all.
    const std::vector<SScanHit>& Hits() const { return m_hits; }
    bool WantsBusView() const { return m_bBusView; }
    bool Scanning() const { return m_worker.Running() || m_bBusy; }

    void OnStart();
    void OnStop();

public slots:
    void reject() override; // Esc, close box and "关闭" end a running scan first

private:
    void OnStep(const SScanStep& step);
    void OnHit(const SScanHit& hit);
    void OnFinished(const SScanOutcome& out);
    // Joins the worker and gives back what the scan took (poll, port).
    void EndScan();
    void OnUse();
    void SetRunning(bool running);

    CDriverContext& m_ctx;
    CLinkStats& m_link;
    Ui::CScanDlg* m_ui;
    SPanelLines m_panel;
    int m_nPort;
    std::vector<SScanHit> m_hits; // in table order
    std::optional<SScanHit> m_chosen;
    CGuiWorker m_worker;
    std::atomic<bool> m_bStop{false};
    bool m_bBusy = false;       // from start until EndScan
    bool m_bEnding = false;     // EndScan is joining the worker
    bool m_bOpenedHere = false; // the scan opened the port and closes it
    bool m_bBusView = false;
    QPushButton* m_pBusView = nullptr;
    CDriverContext::CPollHold m_pollHold; // while the scan runs
};
