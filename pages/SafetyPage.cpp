#include "pages/SafetyPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"

#include "ui_SafetyPage.h"

#include <QPushButton>

namespace {

// The edits with the digits each shows, then the two options' check boxes.
constexpr SFieldCtrl kFields[] = {
    {1135, "safety.over_temperature_shutdown", 0},
    {1136, "safety.over_temperature_current_limit", 0},
    {1140, "safety.over_voltage_shutdown", 1},
    {1141, "safety.under_voltage_shutdown", 1},
    {1139, "safety.over_current_shutdown", 1}, // hundredths, shown to 0.1
    {1142, "safety.hall_error_delay", 0},
    {1137, "safety.temperature_calibration_k", 4},
    {1138, "safety.temperature_calibration_b", 1},
    {1145, "safety.voltage_calibration_k", 4},
    {1146, "safety.voltage_calibration_b", 1},
    {1056, "safety.current_loop_pid_dynamic"},
    {1057, "safety.clear_over_temperature_alarm"},
};

} // namespace

CtrlValues SafetyValuesFromBlock(const SafetyBlock& b) {
    return ShowFields(kFields, false, b);
}

SInputProblem SafetyBlockFromValues(const CtrlValues& values, SafetyBlock& out) {
    SafetyBlock b{}; // the two registers without a field stay 0
    const SInputProblem problem = TakeFields(values, kFields, false, CPageRegs(b));
    if (!problem.Has())
        out = b;
    return problem;
}

std::vector<int> SafetyValueIds() {
    return FieldIds(kFields);
}

CSafetyPage::CSafetyPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CSafetyPage) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] { m_ui->retranslateUi(this); });
    LimitTypingOnly(this);
    connect(m_ui->btnRead, &QPushButton::clicked, this, &CSafetyPage::OnRead);
    connect(m_ui->btnConfigure, &QPushButton::clicked, this, &CSafetyPage::OnConfigure);
}

CSafetyPage::~CSafetyPage() {
    delete m_ui;
}

void CSafetyPage::OnRead() {
    m_ctx.ReadBlock(this, m_ui->btnRead, &CMotorDriver::ReadSafetyBlock,
                    [this](const SafetyBlock& b) {
                        PutValues(this, SafetyValuesFromBlock(b));
                        m_ui->btnConfigure->setEnabled(true);
                    });
}

void CSafetyPage::OnConfigure() {
    SafetyBlock block{};
    if (RefuseInput(this, SafetyBlockFromValues(TakeValues(this, SafetyValueIds()), block)))
        return;
    m_ctx.WriteBlock(this, m_ui->btnConfigure, &CMotorDriver::WriteSafetyBlock, block);
}
