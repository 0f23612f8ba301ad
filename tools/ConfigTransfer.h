#pragma once
// 文件 → "导出配置" and "载入配置": a driver's whole configuration (parameter
// blocks, the eight PDOs, SYNC) saved to and loaded from the command line's
// configuration file, so files move freely between the two tools.
//
// Device work runs on a worker with the status poll suspended, behind a
// progress dialog; the GUI thread only shows steps and results. A file is
// checked completely before the port is touched, and a load writes only what
// differs, in the command line's order.

#include "driver/BusScan.h"
#include "driver/ConfigFile.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class CDriverContext;
class QWidget;

// --- Flows (GUI thread) ------------------------------------------------------------

// Export and load as the menu commands run them; owner is the main window.
// A load that moved the driver to another address or line setting hands the
// new connection to follow.
using FollowFn = std::function<void(uint8_t slave, const SLineSetting& line)>;
void ExportConfiguration(QWidget* owner, CDriverContext& ctx);
void LoadConfiguration(QWidget* owner, CDriverContext& ctx, const FollowFn& follow);

// Seams for tests, like the message boxes: the file chooser (returns "" for
// cancelled) and the comparison dialog (returns whether to write; includeComm
// comes in as the default and goes out as chosen).
using FileChooser = std::function<std::string(bool save, const std::string& suggested)>;
using CompareHandler = std::function<bool(const std::vector<ConfigDiff>& diffs, bool& includeComm)>;
FileChooser SetFileChooser(FileChooser chooser);
CompareHandler SetCompareHandler(CompareHandler handler);
// The progress dialog of one worker run: Esc and the close box cancel like
// the button, and the dialog stays until the worker has ended.
namespace Ui {
class CConfigProgressDlg;
}
class CConfigProgressDlg : public QDialog {
public:
    explicit CConfigProgressDlg(QWidget* parent = nullptr);
    ~CConfigProgressDlg() override;
    Ui::CConfigProgressDlg& Ui() const { return *m_ui; }
    std::function<void()> m_onCancel;
    void reject() override;

private:
    Ui::CConfigProgressDlg* m_ui;
};
// Called by the flows with the progress dialog of each worker run (tests use it
// to press cancel); the hook runs on the GUI thread.
using ProgressHook = std::function<void(CConfigProgressDlg* progressDialog, int step)>;
ProgressHook SetProgressHook(ProgressHook hook);

// The comparison dialog: every difference, and whether to write the
// communication groups too (their rows are greyed while left out).
namespace Ui {
class CConfigCompareDlg;
}
class CConfigCompareDlg : public QDialog {
public:
    CConfigCompareDlg(const std::vector<ConfigDiff>& diffs, bool includeComm,
                      QWidget* parent = nullptr);
    ~CConfigCompareDlg() override;
    Ui::CConfigCompareDlg& Ui() const { return *m_ui; }
    bool IncludeComm() const;

private:
    void ShowCommRows();
    Ui::CConfigCompareDlg* m_ui;
    std::vector<ConfigDiff> m_diffs;
};
// Shows it (or asks the CompareHandler seam); true to write.
bool ShowCompareDialog(QWidget* owner, const std::vector<ConfigDiff>& diffs, bool& includeComm);
