#pragma once
// 工具 → "通讯记录": every exchange on the line since the port was opened,
// newest last, with its time, round trip, result, meaning in the driver's
// words and bytes; every field of the selected one below; filtered by result
// and by a field name or text; exported to a text or CSV file.
//
// GUI thread only; the log it shows is filled from the transactions' own
// threads (TrafficLog.h). Modeless, created hidden, hidden on close.

#include "desklogic/TrafficLog.h"

#include <QDialog>
#include <QTimer>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
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
    // Keeps the rows whose meaning holds the text ("" keeps all).
    void SetFind(const std::string& text);
    // Rows shown, oldest first, and what each means.
    const std::vector<TrafficEntry>& Shown() const;
    const std::vector<STransaction>& Meanings() const;
    bool ExportTo(const std::string& path);

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void OnExport();
    void OnClear();
    void Reload();
    void ShowDetail(int row);
    // "n 条": the rows shown.
    void ShowCount();

    CTrafficLog& m_log;
    CTrafficModel* m_pModel;
    QTableView* m_pView;
    QComboBox* m_pFilter;
    QLineEdit* m_pFind;
    QPlainTextEdit* m_pDetail;
    QLabel* m_pCount;
    QTimer m_timer;
};
