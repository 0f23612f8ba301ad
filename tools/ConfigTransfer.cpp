#include "tools/ConfigTransfer.h"

#include "app/CtrlUtil.h"
#include "app/GuiThread.h"
#include "app/MainDlg.h"
#include "app/MessageBox.h"
#include "driver/DeviceIo.h"
#include "driver/FileIo.h"
#include "driver/Format.h"

#include "ui_ConfigCompareDlg.h"
#include "ui_ConfigProgressDlg.h"

#include <QBrush>
#include <QCheckBox>
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

namespace {

// A field edited in the file shows the file's value with this mark.
constexpr const char* kEditedInFile = " (文件中已修改)";

std::string FileShown(const ConfigDiff& d) {
    return d.file.shown + (d.edited ? kEditedInFile : "");
}

// A failed read for a message box: "读取电机参数 (motor)失败\n通讯超时"; the
// device information step is named as the flow calls it.
std::string ReadFailureText(const ConfigRead& r, const std::string& verb,
                            const std::string& deviceInfo) {
    const bool info = r.step.kind == ConfigReadStep::EKind::DeviceInfo;
    return verb + (info ? deviceInfo : r.step.text) + "失败\n" + r.Reason(false);
}

} // namespace

// --- Dialogs -----------------------------------------------------------------------

namespace {

enum : int {
    kStepLabel = 2101,
    kStepBar = 2102,
    kStepCancel = 2103,
    kCompareSummary = 2201,
    kCompareTable = 2202,
    kCompareComm = 2203,
    kCompareWrite = 2204,
    kCompareCancel = 2205,
};

std::mutex g_seamLock;
FileChooser g_chooser;
CompareHandler g_compare;
ProgressHook g_progressHook;

template <class T> T Seam(const T& seam) {
    std::lock_guard lk(g_seamLock);
    return seam;
}

// The progress dialog of one worker run: Esc and the close box cancel like
// the button, and the dialog stays until the worker has ended.
class CProgressDlg : public QDialog {
public:
    explicit CProgressDlg(QWidget* parent) : QDialog(parent) {
        m_ui.setupUi(this);
        setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    }
    std::function<void()> m_onCancel;
    void reject() override {
        if (m_onCancel)
            m_onCancel();
    }

private:
    Ui::CConfigProgressDlg m_ui;
};

// Reports one step of a worker's run; false once the user has cancelled.
using StepFn = std::function<bool(int step, const std::string& text)>;

// Runs work on a worker behind a modal progress dialog with the status poll
// suspended, and returns when the worker has ended: false when cancelled.
bool RunWithProgress(QWidget* owner, const std::string& title, int total, bool cancellable,
                     const std::function<void(const StepFn&)>& work) {
    CProgressDlg dlg(owner);
    dlg.setWindowTitle(QString::fromStdString(title));
    auto* bar = FindCtrl<QProgressBar>(&dlg, kStepBar);
    bar->setRange(0, total);
    bar->setValue(0);
    auto* cancel = FindCtrl<QPushButton>(&dlg, kStepCancel);
    cancel->setVisible(cancellable);
    std::atomic<bool> stop{false};
    dlg.m_onCancel = [&] {
        if (!cancellable || stop)
            return;
        stop = true;
        cancel->setEnabled(false);
        SetCtrlValue(&dlg, kStepLabel, "正在取消…");
    };
    QObject::connect(cancel, &QPushButton::clicked, &dlg, [&] { dlg.m_onCancel(); });

    // A count, not a flag: a CANopen list load may hold the poll off too and
    // end while this runs.
    g_pMainDlg->SuspendPoll();
    QPointer<QDialog> pd(&dlg);
    const std::atomic<bool>* stopped = &stop;
    CGuiWorker worker;
    worker.Start([&work, pd, stopped] {
        work([pd, stopped](int step, const std::string& text) {
            PostToGui([pd, stopped, step, text] {
                if (!pd)
                    return; // the run is over; stopped is gone with it
                FindCtrl<QProgressBar>(pd, kStepBar)->setValue(step);
                if (!*stopped)
                    SetCtrlValue(pd, kStepLabel, text);
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
    g_pMainDlg->ResumePoll();
    return !stop;
}

std::string ChooseFile(QWidget* owner, bool save, const std::string& suggested) {
    if (FileChooser chooser = Seam(g_chooser))
        return chooser(save, suggested);
    const QString filter = "配置文件 (*.json);;所有文件 (*)";
    const QString path = save ? QFileDialog::getSaveFileName(
                                    owner, "导出配置", QString::fromStdString(suggested), filter)
                              : QFileDialog::getOpenFileName(owner, "载入配置", QString(), filter);
    return path.toStdString();
}

// A list of problems under a heading; very long lists are cut with a count.
std::string ProblemsText(const std::string& heading, const std::vector<std::string>& problems) {
    constexpr size_t kShown = 40;
    std::string text = heading;
    for (size_t i = 0; i < problems.size() && i < kShown; ++i)
        text += "\n" + problems[i];
    if (problems.size() > kShown)
        text += StrFormat("\n… 共 %zu 处问题", problems.size());
    return text;
}

std::string DiffsText(const std::vector<ConfigDiff>& diffs) {
    std::string text;
    for (const ConfigDiff& d : diffs)
        text +=
            "\n" + d.page + " - " + d.label + ": 设备 " + d.device.shown + ", 文件 " + FileShown(d);
    return text;
}

// The line the port runs at, as slave address, baud rate and parity choice.
ConfigLine PresentLine(CMotorDriver& drv, uint8_t slave) {
    const std::string s = drv.LineSettingsText(); // "9600,n,8,2"
    ConfigLine line;
    line.slave = slave;
    line.baud = ParseLeadingInt(s);
    const size_t comma = s.find(',');
    const char parity = comma + 1 < s.size() ? s[comma + 1] : 'n';
    line.framing = parity == 'o' ? 1 : parity == 'e' ? 2 : s.size() >= 1 && s.back() == '1' ? 3 : 0;
    return line;
}

const char* const kPressReadNote = "各页显示的数值没有改变，请按“读取”查看新的数值。";

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
    SetCtrlValue(this, kCompareSummary,
                 StrFormat("设备与文件有 %zu 处不同%s:", diffs.size(),
                           comm ? StrFormat(" (其中通讯参数 %zu 处)", comm).c_str() : ""));
    auto* table = FindCtrl<QTableWidget>(this, kCompareTable);
    table->verticalHeader()->setVisible(false);
    table->setRowCount(static_cast<int>(diffs.size()));
    for (size_t r = 0; r < diffs.size(); ++r) {
        const ConfigDiff& d = diffs[r];
        const std::string cells[] = {d.page, d.label, d.device.shown, FileShown(d)};
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
    auto* box = FindCtrl<QCheckBox>(this, kCompareComm);
    box->setChecked(includeComm && comm);
    box->setEnabled(comm > 0);
    connect(box, &QCheckBox::toggled, this, [this] { ShowCommRows(); });
    ShowCommRows();
    connect(FindCtrl<QPushButton>(this, kCompareWrite), &QPushButton::clicked, this,
            &QDialog::accept);
    connect(FindCtrl<QPushButton>(this, kCompareCancel), &QPushButton::clicked, this,
            &QDialog::reject);
}

CConfigCompareDlg::~CConfigCompareDlg() {
    delete m_ui;
}

bool CConfigCompareDlg::IncludeComm() const {
    return FindCtrl<QCheckBox>(this, kCompareComm)->isChecked();
}

// Rows left out are shown greyed, so the user sees what will not be written.
void CConfigCompareDlg::ShowCommRows() {
    const bool include = IncludeComm();
    auto* table = FindCtrl<QTableWidget>(this, kCompareTable);
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

void ExportConfiguration(QWidget* owner) {
    CMotorDriver& drv = g_pMainDlg->m_driver;
    const uint8_t slave = g_pMainDlg->m_nSlaveAddr;
    const ConfigReadRequest req{nullptr, true, true, true};
    ConfigImage img;
    ConfigRead read;
    RunWithProgress(
        owner, "导出配置", static_cast<int>(ConfigReadStepCount(req)), true,
        [&](const StepFn& step) {
            read = ReadConfiguration(
                drv, slave, req,
                [&](int i, const std::string& name) { return step(i, "正在读取: " + name); }, img);
        });
    if (read.end == ConfigRead::EEnd::Failed) {
        ShowMessage(owner, ReadFailureText(read, "读取", "设备信息"));
        return;
    }
    if (read.end == ConfigRead::EEnd::Cancelled)
        return; // nothing is written
    // Informational: a driver without it (or with an empty one) still exports.
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
        ShowMessage(owner, "保存文件失败: " + path + "\n" + FileErrorText(err));
        return;
    }
    ShowMessage(owner, "操作成功\n配置已保存到 " + path);
}

void LoadConfiguration(QWidget* owner) {
    const std::string path = ChooseFile(owner, false, "");
    if (path.empty())
        return;
    // The whole file is checked before the port is touched.
    std::string text;
    if (const int err = ReadBoundedFile(path, kMaxConfigFileBytes, text)) {
        ShowMessage(owner, "无法读取文件: " + path + "\n" +
                               (err == EFBIG ? std::string("文件太大，不是配置文件")
                                             : std::string(std::strerror(err))));
        return;
    }
    ConfigImage file;
    std::vector<std::string> errors;
    if (ParseConfigText(text, file, errors) != EConfigParse::Ok) {
        ShowMessage(owner, ProblemsText("配置文件有错误，没有写入任何内容:", errors));
        return;
    }

    CMotorDriver& drv = g_pMainDlg->m_driver;
    const uint8_t slave = g_pMainDlg->m_nSlaveAddr;
    const ConfigReadRequest req{&file, false, true};
    ConfigImage dev;
    ConfigRead read;
    RunWithProgress(
        owner, "载入配置", static_cast<int>(ConfigReadStepCount(req)), true,
        [&](const StepFn& step) {
            read = ReadConfiguration(
                drv, slave, req,
                [&](int i, const std::string& name) { return step(i, "正在读取: " + name); }, dev);
        });
    if (read.end == ConfigRead::EEnd::Failed) {
        ShowMessage(owner, ReadFailureText(read, "读取", "设备") + "\n没有写入任何内容");
        return;
    }
    if (read.end == ConfigRead::EEnd::Cancelled)
        return;
    const DecodeContext ctx = read.ctx;
    const std::vector<std::string> problems = CheckAgainstDevice(file, dev);
    if (!problems.empty()) {
        ShowMessage(owner, ProblemsText("配置文件与此设备不符，没有写入任何内容:", problems));
        return;
    }
    const std::vector<ConfigDiff> diffs = CompareImages(file, dev, ctx);
    if (diffs.empty()) {
        ShowMessage(owner, "设备的配置与文件相同，没有需要写入的内容");
        return;
    }
    // The communication groups are left out unless the user asks for them:
    // they can move the driver to another address or line setting.
    bool includeComm = false;
    if (!ShowCompareDialog(owner, diffs, includeComm))
        return;

    const ConfigImage used = includeComm ? file : WithoutCommBlocks(file);
    const ConfigWritePlan plan = PlanConfigWrite(used, dev);
    const ConfigImage rest = WithoutCommBlocks(used);
    const ConfigImage commOnly = CommBlocksOnly(used);
    const ConfigReadRequest backReq{&rest};
    const int total = static_cast<int>(plan.blocks.size() + plan.pdos.size() + (plan.sync ? 1 : 0) +
                                       ConfigReadStepCount(backReq) + plan.commBlocks.size() + 1);
    const ConfigLine before = PresentLine(drv, slave);
    ConfigLine now = before;
    std::vector<ConfigDiff> after;
    std::vector<std::string> written;
    std::string failure, note;
    RunWithProgress(owner, "载入配置", total, false, [&](const StepFn& step) {
        int n = 0;
        auto onWritten = [&](const std::string& name) {
            written.push_back(name);
            step(++n, "已写入: " + name);
        };
        std::string what, error;
        if (!WriteConfigPart(drv, slave, used, dev, plan, EWritePart::Main, onWritten, what,
                             error)) {
            failure = "写入" + what + "失败\n" + error;
            return;
        }
        // Checked while the line is surely as it was.
        ConfigImage back;
        const ConfigRead r = ReadConfiguration(
            drv, slave, backReq,
            [&](int, const std::string& name) {
                step(++n, "正在读回: " + name);
                return true;
            },
            back);
        if (r.end != ConfigRead::EEnd::Done) {
            failure = ReadFailureText(r, "读回", "");
            return;
        }
        after = CompareImages(rest, back, ctx);
        if (plan.commBlocks.empty())
            return;
        if (!WriteConfigPart(drv, slave, used, dev, plan, EWritePart::Comm, onWritten, what,
                             error)) {
            failure = "写入" + what + "失败\n" + error;
            return;
        }
        step(++n, "正在读回: 通讯参数");
        ConfigImage got;
        ResultCode rc = ReadBlocks(drv, slave, commOnly, got);
        const ConfigLine next = ConfigLineOf(used, before);
        if ((rc == kResultTimeout || rc == kResultBadReply) && !(next == before)) {
            // The driver may already answer at its new settings.
            const std::string old = drv.LineSettingsText();
            const std::string settings = CMotorDriver::SettingsString(next.baud, next.framing);
            if (drv.SetLineSettings(settings)) {
                rc = ReadBlocks(drv, static_cast<uint8_t>(next.slave), commOnly, got);
                if (rc == kResultOk)
                    now = next;
                else
                    drv.SetLineSettings(old);
            }
        }
        if (rc != kResultOk) {
            failure = "读回通讯参数失败\n" + ResultText(rc);
            return;
        }
        const auto commDiffs = CompareImages(commOnly, got, ctx);
        after.insert(after.end(), commDiffs.begin(), commDiffs.end());
    });
    if (!(now == before)) {
        // The tool follows the driver, so the pages keep working.
        g_pMainDlg->SetConnection(static_cast<uint8_t>(now.slave), {now.baud, now.framing});
        note = StrFormat("\n设备现在的通讯设置: 地址 %d, 波特率 %d, 已设到通讯设置中。", now.slave,
                         now.baud);
    }
    if (!includeComm) {
        size_t left = 0;
        for (const ConfigDiff& d : diffs)
            left += d.comm;
        if (left)
            note += StrFormat("\n通讯参数 (%zu 处不同) 没有写入。", left);
    }
    if (!failure.empty()) {
        std::string done;
        for (const std::string& w : written)
            done += (done.empty() ? "" : ", ") + w;
        ShowMessage(owner, failure + "\n已写入: " + (done.empty() ? "无" : done) + note);
        return;
    }
    if (after.empty()) {
        ShowMessage(owner, "操作成功" + note + "\n" + kPressReadNote);
        return;
    }
    ShowMessage(owner, StrFormat("写入后仍有 %zu 处不同:", after.size()) + DiffsText(after) + note +
                           "\n" + kPressReadNote);
}
