#pragma once
// 工具 → "通讯记录": every exchange on the line since the port was opened,
// newest last, with its time, bytes, result and round trip; filtered by
// result and exported to a text or CSV file.
//
// GUI thread only; the log it shows is filled from the transactions' own
// threads (TrafficLog.h). Modeless, created hidden, hidden on close.

#include "desklogic/TrafficLog.h"

#include <QDialog>
#include <QTimer>

#include <vector>

class QComboBox;
class QLabel;
class QTableView;
class CTrafficModel;

class CTrafficLogDlg : public QDialog {
    Q_OBJECT
public:
    CTrafficLogDlg(CTrafficLog& log, QWidget* parent = nullptr);
    ~CTrafficLogDlg() override;

    // Takes what the log gained since the last look (the window does so
    // every 200 ms while shown).
    void Refresh();
    void SetFilter(ETrafficFilter f);
    // Rows shown, oldest first.
    const std::vector<TrafficEntry>& Shown() const;
    bool ExportTo(const std::string& path);

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void OnExport();
    void OnClear();

    CTrafficLog& m_log;
    CTrafficModel* m_pModel;
    QTableView* m_pView;
    QComboBox* m_pFilter;
    QLabel* m_pCount;
    QTimer m_timer;
};
