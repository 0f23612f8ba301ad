#include "tools/ConfigTransfer.h"

#include "desklogic/ConfigTransferLogic.h"
#include "driver/FileIo.h"
#include "driver/Format.h"
#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/GuiThread.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"

#include "ui_ConfigCompareDlg.h"
#include "ui_ConfigProgressDlg.h"

#include <QBrush>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

// --- Dialogs -----------------------------------------------------------------------

CConfigProgressDlg::CConfigProgressDlg(QWidget* parent)
    : QDialog(parent), m_ui(new Ui::CConfigProgressDlg) {
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

CConfigProgressDlg::~CConfigProgressDlg() {
    delete m_ui;
}

void CConfigProgressDlg::reject() {
    if (m_onCancel)
        m_onCancel();
}

namespace {

std::mutex g_seamLock;
FileChooser g_chooser;
CompareHandler g_compare;
ProgressHook g_progressHook;

template <class T> T Seam(const T& seam) {
    std::lock_guard lk(g_seamLock);
    return seam;
}

// Reports one step of a worker's run; false once the user has cancelled.
using StepFn = std::function<bool(int step, const std::string& text)>;

// Runs work on a worker behind a modal progress dialog with the status poll
// suspended, and returns when the worker has ended: false when cancelled.
bool RunWithProgress(CDriverContext& ctx, QWidget* owner, const std::string& title, int total,
                     bool cancellable, const std::function<void(const StepFn&)>& work) {
    CConfigProgressDlg dlg(owner);
    dlg.setWindowTitle(QString::fromStdString(title));
    dlg.Ui().barSteps->setRange(0, total);
    dlg.Ui().barSteps->setValue(0);
    QPushButton* cancel = dlg.Ui().btnCancel;
    cancel->setVisible(cancellable);
    std::atomic<bool> stop{false};
    dlg.m_onCancel = [&] {
        if (!cancellable || stop)
            return;
        stop = true;
        cancel->setEnabled(false);
        SetCtrlValue(dlg.Ui().lblStep, lang::translate("CConfigTransfer", "正在取消…"));
    };
    QObject::connect(cancel, &QPushButton::clicked, &dlg, [&] { dlg.m_onCancel(); });

    // A hold of its own: a CANopen list load may hold the poll off too and end
    // while this runs.
    const CDriverContext::CPollHold hold = ctx.HoldPoll();
    QPointer<CConfigProgressDlg> pd(&dlg);
    const std::atomic<bool>* stopped = &stop;
    CGuiWorker worker;
    worker.Start([&work, pd, stopped] {
        work([pd, stopped](int step, const std::string& text) {
            PostToGui([pd, stopped, step, text] {
                if (!pd)
                    return; // the run is over; stopped is gone with it
                pd->Ui().barSteps->setValue(step);
                if (!*stopped)
                    SetCtrlValue(pd->Ui().lblStep, text);
                if (ProgressHook hook = Seam(g_progressHook))
                    hook(pd, step);
            });
            return !*stopped;
        });
        PostToGui([pd] {
            if (pd)
                pd->done(QDialog::Accepted);
        });
    });
    dlg.exec();
    worker.Join();
    return !stop;
}

// Reads what req asks for on the worker, each step shown as "正在读取: …";
// the user may cancel.
ConfigRead ReadWithProgress(CDriverContext& ctx, QWidget* owner, const char* title,
                            const ConfigReadRequest& req, ConfigImage& img) {
    CMotorDriver& drv = ctx.m_driver;
    const uint8_t slave = ctx.m_nSlaveAddr;
    ConfigRead read;
    RunWithProgress(ctx, owner, title, static_cast<int>(ConfigReadStepCount(req)), true,
                    [&](const StepFn& step) {
                        read = ReadConfiguration(
                            drv, slave, req,
                            [&](int i, const std::string& name) {
                                return step(i, lang::translate("CConfigTransfer", "正在读取: ") +
                                                   name);
                            },
                            img);
                    });
    return read;
}

std::string ChooseFile(QWidget* owner, bool save, const std::string& suggested) {
    if (FileChooser chooser = Seam(g_chooser))
        return chooser(save, suggested);
    const QString filter =
        QCoreApplication::translate("CConfigTransfer", "配置文件 (*.json);;所有文件 (*)");
    const QString path =
        save ? QFileDialog::getSaveFileName(
                   owner, QCoreApplication::translate("CConfigTransfer", "导出配置"),
                   QString::fromStdString(suggested), filter)
             : QFileDialog::getOpenFileName(
                   owner, QCoreApplication::translate("CConfigTransfer", "载入配置"), QString(),
                   filter);
    return path.toStdString();
}

} // namespace

FileChooser SetFileChooser(FileChooser chooser) {
    std::lock_guard lk(g_seamLock);
    std::swap(g_chooser, chooser);
    return chooser;
}

CompareHandler SetCompareHandler(CompareHandler handler) {
    std::lock_guard lk(g_seamLock);
    std::swap(g_compare, handler);
    return handler;
}

ProgressHook SetProgressHook(ProgressHook hook) {
    std::lock_guard lk(g_seamLock);
    std::swap(g_progressHook, hook);
    return hook;
}

CConfigCompareDlg::CConfigCompareDlg(const std::vector<ConfigDiff>& diffs, bool includeComm,
                                     QWidget* parent)
    : QDialog(parent), m_ui(new Ui::CConfigCompareDlg), m_diffs(diffs) {
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    size_t comm = 0;
    for (const ConfigDiff& d : diffs)
        comm += d.comm;
    SetCtrlValue(
        m_ui->lblSummary,
        StrFormat(
            lang::translate("CConfigTransfer", "设备与文件有 %zu 处不同%s:").c_str(), diffs.size(),
            comm ? StrFormat(lang::translate("CConfigTransfer", " (其中通讯参数 %zu 处)").c_str(),
                             comm)
                       .c_str()
                 : ""));
    QTableWidget* table = m_ui->tblDiffs;
    table->verticalHeader()->setVisible(false);
    table->setRowCount(static_cast<int>(diffs.size()));
    for (size_t r = 0; r < diffs.size(); ++r) {
        const ConfigDiff& d = diffs[r];
        const std::string cells[] = {d.page, d.label, d.device.shown, FileShownText(d)};
        for (int c = 0; c < 4; ++c)
            table->setItem(static_cast<int>(r), c,
                           new QTableWidgetItem(QString::fromStdString(cells[c])));
    }
    // Group and field as wide as their texts; the two values share the rest.
    auto* header = table->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    header->setSectionResizeMode(3, QHeaderView::Stretch);
    QCheckBox* box = m_ui->chkComm;
    box->setChecked(includeComm && comm);
    box->setEnabled(comm > 0);
    connect(box, &QCheckBox::toggled, this, [this] { ShowCommRows(); });
    ShowCommRows();
    connect(m_ui->btnWrite, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

CConfigCompareDlg::~CConfigCompareDlg() {
    delete m_ui;
}

bool CConfigCompareDlg::IncludeComm() const {
    return m_ui->chkComm->isChecked();
}

// Rows left out are shown greyed, so the user sees what will not be written.
void CConfigCompareDlg::ShowCommRows() {
    const bool include = IncludeComm();
    QTableWidget* table = m_ui->tblDiffs;
    const QBrush grey(palette().color(QPalette::Disabled, QPalette::Text));
    const QBrush normal(palette().color(QPalette::Active, QPalette::Text));
    for (size_t r = 0; r < m_diffs.size(); ++r)
        for (int c = 0; c < 4; ++c)
            if (QTableWidgetItem* item = table->item(static_cast<int>(r), c))
                item->setForeground(m_diffs[r].comm && !include ? grey : normal);
}

bool ShowCompareDialog(QWidget* owner, const std::vector<ConfigDiff>& diffs, bool& includeComm) {
    if (CompareHandler handler = Seam(g_compare))
        return handler(diffs, includeComm);
    CConfigCompareDlg dlg(diffs, includeComm, owner);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    includeComm = dlg.IncludeComm();
    return true;
}

// --- Flows -------------------------------------------------------------------------

void ExportConfiguration(QWidget* owner, CDriverContext& ctx) {
    const uint8_t slave = ctx.m_nSlaveAddr;
    ConfigImage img;
    const ConfigRead read =
        ReadWithProgress(ctx, owner, lang::translate("CConfigTransfer", "导出配置").c_str(),
                         {nullptr, true, true, true}, img);
    if (read.end == ConfigRead::EEnd::Failed) {
        ShowMessage(owner, ReadFailureText(read, lang::translate("CConfigTransfer", "读取"),
                                           lang::translate("CConfigTransfer", "设备信息")));
        return;
    }
    if (read.end == ConfigRead::EEnd::Cancelled)
        return; // nothing is written
    // An empty identification text is left out of the file, like a missing one.
    img.device.hasIdentification = !img.device.identification.empty();
    img.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();

    const std::string suggested =
        QDir::home()
            .filePath(QString::fromStdString(
                StrFormat("halvik-%s-%u.json",
                          img.device.model.empty() ? "config" : img.device.model.c_str(), slave)))
            .toStdString();
    std::string path = ChooseFile(owner, true, suggested);
    if (path.empty())
        return;
    if (QFileInfo(QString::fromStdString(path)).suffix().isEmpty())
        path += ".json";
    if (const int err = WriteFileAtomically(path, BuildConfigText(img, read.ctx))) {
        ShowMessage(owner, lang::translate("CConfigTransfer", "保存文件失败: ") + path + "\n" +
                               FileErrorText(err));
        return;
    }
    ShowMessage(owner, lang::translate("CConfigTransfer", "操作成功\n配置已保存到 ") + path);
}

void LoadConfiguration(QWidget* owner, CDriverContext& ctx, const FollowFn& follow) {
    const std::string path = ChooseFile(owner, false, "");
    if (path.empty())
        return;
    // The whole file is checked before the port is touched.
    std::string text;
    if (const int err = ReadBoundedFile(path, kMaxConfigFileBytes, text)) {
        ShowMessage(owner,
                    lang::translate("CConfigTransfer", "无法读取文件: ") + path + "\n" +
                        (err == EFBIG ? lang::translate("CConfigTransfer", "文件太大，不是配置文件")
                                      : FileErrorText(err)));
        return;
    }
    ConfigImage file;
    std::vector<std::string> errors;
    if (ParseConfigText(text, file, errors) != EConfigParse::Ok) {
        ShowMessage(owner, ProblemsText(lang::translate("CConfigTransfer",
                                                        "配置文件有错误，没有写入任何内容:"),
                                        errors));
        return;
    }

    ConfigImage dev;
    const ConfigRead read =
        ReadWithProgress(ctx, owner, lang::translate("CConfigTransfer", "载入配置").c_str(),
                         {&file, false, true}, dev);
    if (read.end == ConfigRead::EEnd::Failed) {
        ShowMessage(owner, ReadFailureText(read, lang::translate("CConfigTransfer", "读取"),
                                           lang::translate("CConfigTransfer", "设备")) +
                               lang::translate("CConfigTransfer", "\n没有写入任何内容"));
        return;
    }
    if (read.end == ConfigRead::EEnd::Cancelled)
        return;
    const DecodeContext dc = read.ctx;
    const std::vector<std::string> problems = CheckAgainstDevice(file, dev);
    if (!problems.empty()) {
        ShowMessage(owner, ProblemsText(lang::translate("CConfigTransfer",
                                                        "配置文件与此设备不符，没有写入任何内容:"),
                                        problems));
        return;
    }
    const std::vector<ConfigDiff> diffs = CompareImages(file, dev, dc);
    if (diffs.empty()) {
        ShowMessage(owner,
                    lang::translate("CConfigTransfer", "设备的配置与文件相同，没有需要写入的内容"));
        return;
    }
    // The communication groups are left out unless the user asks for them:
    // they can move the driver to another address or line setting.
    bool includeComm = false;
    if (!ShowCompareDialog(owner, diffs, includeComm))
        return;

    const ConfigImage used = includeComm ? file : WithoutCommBlocks(file);
    const ConfigWritePlan plan = PlanConfigWrite(used, dev);
    CMotorDriver& drv = ctx.m_driver;
    const uint8_t slave = ctx.m_nSlaveAddr;
    const ConfigLine before = PresentLine(drv, slave);
    SLoadResult result;
    RunWithProgress(ctx, owner, lang::translate("CConfigTransfer", "载入配置"),
                    WriteLoadSteps(used, plan), false, [&](const StepFn& step) {
                        int n = 0;
                        result = WriteLoad(drv, slave, used, dev, plan, dc, before,
                                           [&](const std::string& what) { step(++n, what); });
                    });
    // The tool follows the driver, so the pages keep working.
    if (!(result.now == before))
        follow(static_cast<uint8_t>(result.now.slave), {result.now.baud, result.now.framing});
    ShowMessage(owner, LoadResultText(result, before, diffs, includeComm));
}
