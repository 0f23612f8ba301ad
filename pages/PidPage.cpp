#include "pages/PidPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "tools/StepDlg.h"

#include "ui_PidPage.h"

#include <QPushButton>

namespace {

// Each gain's edit, in block order (self-locking, speed, position; Kp, Ki,
// Kd each), shown "%g".
constexpr SFieldCtrl kFields[] = {
    {1057, "pid.holding_kp"},  {1061, "pid.holding_ki"},  {1062, "pid.holding_kd"},
    {1052, "pid.speed_kp"},    {1053, "pid.speed_ki"},    {1054, "pid.speed_kd"},
    {1056, "pid.position_kp"}, {1059, "pid.position_ki"}, {1060, "pid.position_kd"},
};

} // namespace

CtrlValues PidValuesFromBlock(const PidBlock& b) {
    return ShowFields(kFields, false, b);
}

SInputProblem PidBlockFromValues(const CtrlValues& values, PidBlock& out) {
    PidBlock b{};
    const SInputProblem problem = TakeFields(values, kFields, false, CPageRegs(b));
    if (!problem.Has())
        out = b;
    return problem;
}

std::vector<int> PidValueIds() {
    return FieldIds(kFields);
}

CPidPage::CPidPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CPidPage) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] { m_ui->retranslateUi(this); });
    LimitTypingOnly(this);
    connect(m_ui->btnRead, &QPushButton::clicked, this, &CPidPage::OnRead);
    connect(m_ui->btnConfigure, &QPushButton::clicked, this, &CPidPage::OnConfigure);
    // The gains' effect measured: a window of its own beside the plot.
    connect(m_ui->btnStepResponse, &QPushButton::clicked, this, [this] {
        if (!m_pStepDlg)
            m_pStepDlg = new CStepDlg(m_ctx, window());
        m_pStepDlg->show();
        m_pStepDlg->raise();
        m_pStepDlg->activateWindow();
    });
}

CPidPage::~CPidPage() {
    delete m_ui;
}

void CPidPage::OnRead() {
    m_ctx.ReadBlock(this, m_ui->btnRead, &CMotorDriver::ReadPidBlock, [this](const PidBlock& b) {
        PutValues(this, PidValuesFromBlock(b));
        m_ui->btnConfigure->setEnabled(true);
    });
}

void CPidPage::OnConfigure() {
    PidBlock block{};
    if (RefuseInput(this, PidBlockFromValues(TakeValues(this, PidValueIds()), block)))
        return;
    m_ctx.WriteBlock(this, m_ui->btnConfigure, &CMotorDriver::WritePidBlock, block);
}
