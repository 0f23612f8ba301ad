#include "pages/SysParamPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "pages/PageFields.h"

#include "ui_SysParamPage.h"

#include <QComboBox>
#include <QPushButton>

namespace {

constexpr int kAnalogLow = 1106, kAnalogHigh = 1107, kLogicThreshold = 1108;

// The lists first (a list without a selection is the first refusal), then
// the edits: fixed point with all the field's digits, single precision "%f".
constexpr SFieldCtrl kFields[] = {
    {1067, "system-a.limit_trigger_polarity"},
    {1068, "system-a.digital_signal_polarity"},
    {1074, "system-a.potentiometer_use"},
    {1073, "system-a.pulse_signal_type"},
    {1069, "system-a.analog_signal_type"},
    {1070, "system-a.logic_level_type"},
    {1075, "system-b.port_input_type"},
    {1076, "system-b.port_control_type"},
    {1112, "system-a.potentiometer_range_low"},
    {1113, "system-a.potentiometer_range_high"},
    {kAnalogLow, "system-a.analog_range_low"},
    {kAnalogHigh, "system-a.analog_range_high"},
    {kLogicThreshold, "system-a.logic_threshold"},
    {1114, "system-a.comparison_dead_band"},
    {1109, "system-a.pulse_ratio", 6},
    {1048, "system-a.stall_stop_time"},
    {1110, "system-b.analog_adjust_k", 6},
    {1111, "system-b.analog_adjust_b"},
    {1120, "system-b.buzzer_alarm_disabled"},
};

} // namespace

CtrlValues SysValuesFromBlocks(const SystemBlockA& a, const SystemBlockB& b) {
    return ShowFields(kFields, false, a, b);
}

SInputProblem SysBlocksFromValues(const CtrlValues& values, SystemBlockA& outA,
                                  SystemBlockB& outB) {
    SystemBlockA a{}; // the register without a field stays 0
    SystemBlockB b{};
    const SInputProblem problem = TakeFields(values, kFields, false, CPageRegs(a, b));
    if (!problem.Has()) {
        outA = a;
        outB = b;
    }
    return problem;
}

std::vector<int> SysValueIds() {
    return FieldIds(kFields);
}

CtrlValues AnalogRangeDefaults(int analogType) {
    // Single-ended 0-10 V, differential 0-3.3 V, two single-ended inputs
    // independent 0-10 V or cooperating 0-5 V.
    static const char* const kHigh[] = {"10.000", "3.300", "10.000", "5.000"};
    if (analogType < 0 || analogType >= 4)
        return {};
    return {{kAnalogLow, "0.000"}, {kAnalogHigh, kHigh[analogType]}};
}

CtrlValues LogicThresholdDefault(int logicLevel) {
    // Switch contact, 0/3.3 V, 0/5 V, 0/12 V or 0/24 V.
    static const char* const kThreshold[] = {"2.000", "2.000", "3.000", "5.000"};
    if (logicLevel < 0 || logicLevel >= 4)
        return {};
    return {{kLogicThreshold, kThreshold[logicLevel]}};
}

CSysParamPage::CSysParamPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CSysParamPage) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] { m_ui->retranslateUi(this); });
    LimitTypingOnly(this);
    FillLists(this, kFields);
    connect(m_ui->btnRead, &QPushButton::clicked, this, &CSysParamPage::OnRead);
    connect(m_ui->btnConfigure, &QPushButton::clicked, this, &CSysParamPage::OnConfigure);
    // Only the user's choice puts defaults in (a read sets the lists too);
    // every other edit keeps what was typed.
    connect(m_ui->cmbAnalogType, &QComboBox::activated, this,
            [this](int index) { PutValues(this, AnalogRangeDefaults(index)); });
    connect(m_ui->cmbLogicLevel, &QComboBox::activated, this,
            [this](int index) { PutValues(this, LogicThresholdDefault(index)); });
}

CSysParamPage::~CSysParamPage() {
    delete m_ui;
}

namespace {
struct SSysRead {
    ResultCode rc = kResultOk;
    SystemBlockA a{};
    SystemBlockB b{};
};
} // namespace

void CSysParamPage::OnRead() {
    m_ctx.RunFrom(
        m_ui->btnRead,
        [&ctx = m_ctx, slave = m_ctx.m_nSlaveAddr.load()] {
            SSysRead r;
            r.rc = ctx.m_driver.ReadSystemBlockA(slave, r.a);
            if (r.rc == kResultOk && !ctx.Stopping())
                r.rc = ctx.m_driver.ReadSystemBlockB(slave, r.b);
            return r;
        },
        [this](const SSysRead& r) {
            if (r.rc != kResultOk) {
                ShowResult(this, r.rc); // nothing changes unless both blocks arrived
                return;
            }
            PutValues(this, SysValuesFromBlocks(r.a, r.b));
            m_ui->btnConfigure->setEnabled(true);
        });
}

void CSysParamPage::OnConfigure() {
    SystemBlockA a{};
    SystemBlockB b{};
    if (RefuseInput(this, SysBlocksFromValues(TakeValues(this, SysValueIds()), a, b)))
        return;
    m_ctx.RunFrom(
        m_ui->btnConfigure,
        [&ctx = m_ctx, slave = m_ctx.m_nSlaveAddr.load(), a, b] {
            ResultCode rc = ctx.m_driver.WriteSystemBlockA(slave, a);
            if (rc == kResultOk && !ctx.Stopping())
                rc = ctx.m_driver.WriteSystemBlockB(slave, b);
            return rc;
        },
        [this](ResultCode rc) { ShowResult(this, rc); });
}
