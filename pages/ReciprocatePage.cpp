#include "pages/ReciprocatePage.h"

#include "driver/Catalogue.h"
#include "driver/Format.h"
#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "pages/PageFields.h"

#include "ui_ReciprocatePage.h"

#include <QPushButton>

namespace {

constexpr int kSpeedMode = 1123, kForward = 1121, kReverse = 1122;

// Both groups: the process group (its flags ticked only at 1, speeds in
// whole units or tenths by the speed unit) and the preset group, whose
// speeds follow the speed control mode.
constexpr SFieldCtrl kFields[] = {
    {1090, "reciprocate.homing_mode"},
    {1119, "reciprocate.fine_homing", kFieldDigits, EBind::AtOne},
    {1098, "reciprocate.total_stroke"},
    {1056, "reciprocate.homing_coarse_speed"},
    {1057, "reciprocate.homing_fine_speed"},
    {1058, "reciprocate.speed_after_completion"},
    {1060, "reciprocate.ignore_threshold"},
    {1120, "reciprocate.rehome_after_limit", kFieldDigits, EBind::AtOne},
    {1059, "reciprocate.homing_torque"},
    {kSpeedMode, "preset-speed.speed_control_mode"},
    {1124, "preset-speed.control_mode"},
    {kForward, "preset-speed.forward_speed", kFieldDigits, EBind::Page},
    {kReverse, "preset-speed.reverse_speed", kFieldDigits, EBind::Page},
};

// Values of the speed control mode.
constexpr uint16_t kSpeedModeTorque = 1;
constexpr uint16_t kSpeedModeClosedSpeed = 2, kSpeedModeClosedPosition = 3;

uint16_t Reg(int ctrl) {
    return FieldAddr(BoundField(kFields, ctrl));
}

} // namespace

CtrlValues ReciprocateValuesFromBlock(const ReciprocateBlock& b, bool unitHz) {
    return ShowFields(kFields, unitHz, b);
}

SInputProblem ReciprocateBlockFromValues(const CtrlValues& values, bool unitHz,
                                         ReciprocateBlock& out) {
    ReciprocateBlock b{};
    const SInputProblem problem = TakeFields(values, kFields, unitHz, CPageRegs(b));
    if (!problem.Has())
        out = b;
    return problem;
}

CtrlValues PresetValuesFromBlock(const PresetSpeedBlock& b, bool unitHz) {
    CtrlValues values = ShowFields(kFields, unitHz, b);
    const int decimals = b.At(Reg(kSpeedMode)) == kSpeedModeTorque ? 2 : unitHz ? 0 : 1;
    for (int ctrl : {kForward, kReverse})
        values[ctrl] = FormatScaled(b.At(Reg(ctrl)), decimals);
    return values;
}

SInputProblem PresetBlockFromValues(const CtrlValues& values, bool unitHz, PresetSpeedBlock& out) {
    PresetSpeedBlock b{};
    const CPageRegs regs(b);
    // Written by the mode selected, which the table puts before them: duty
    // cycle counts tenths even where the read showed whole units (the
    // driver's own rule, kept as it is).
    auto speed = [&](const SFieldCtrl& row, SInputProblem& problem) {
        const uint16_t mode = regs.At(Reg(kSpeedMode));
        const bool torque = mode == kSpeedModeTorque;
        const bool closed = mode == kSpeedModeClosedSpeed || mode == kSpeedModeClosedPosition;
        const FieldDef& f = CatalogueField(row.field);
        SNumberRule rule = FieldRule(f, torque ? 2 : closed && unitHz ? 0 : 1);
        if (torque)
            rule.unit = "A";
        int64_t v = 0;
        if (!TakeNumber(values, row.ctrl, rule, v, problem))
            return false;
        regs.At(f.addr) = ToReg16(v);
        return true;
    };
    const SInputProblem problem = TakeFields(values, kFields, unitHz, regs, speed);
    if (!problem.Has())
        out = b;
    return problem;
}

std::vector<int> ReciprocateValueIds() {
    return FieldIds(kFields);
}

CReciprocatePage::CReciprocatePage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CReciprocatePage) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] { m_ui->retranslateUi(this); });
    LimitTypingOnly(this);
    FillLists(this, kFields);
    // What the controls hold before any read: nothing typed or chosen.
    m_values = TakeValues(this, ReciprocateValueIds());

    auto onClick = [this](QPushButton* button, auto fn) {
        connect(button, &QPushButton::clicked, this, fn);
    };
    onClick(m_ui->btnRead, [this] { OnReadReciprocate(); });
    onClick(m_ui->btnConfigure, [this] { OnConfigureReciprocate(); });
    onClick(m_ui->btnReadPreset, [this] { OnReadPreset(); });
    onClick(m_ui->btnConfigurePreset, [this] { OnConfigurePreset(); });
    onClick(m_ui->btnHomeSq2, [this] { OnTestOperation(kTestHomeSq2); });
    onClick(m_ui->btnHomeSq1, [this] { OnTestOperation(kTestHomeSq1); });
    onClick(m_ui->btnMeasure, [this] { OnTestOperation(kTestMeasureStroke); });
    onClick(m_ui->btnCancel, [this] { OnTestOperation(kTestCancel); });

    // Runs for the page's whole life, visible or not.
    connect(&m_timer, &QTimer::timeout, this, &CReciprocatePage::OnMeasureWatch);
    m_timer.start(250);
}

CReciprocatePage::~CReciprocatePage() {
    m_timer.stop();
    delete m_ui;
}

void CReciprocatePage::TakeAll() {
    m_values = TakeValues(this, ReciprocateValueIds());
}

void CReciprocatePage::ShowAll() {
    PutValues(this, m_values);
}

bool CReciprocatePage::UnitHz() const {
    return m_ctx.m_bSpeedUnitHz != 0;
}

void CReciprocatePage::OnReadReciprocate() {
    m_ctx.ReadBlock(this, m_ui->btnRead, &CMotorDriver::ReadReciprocateBlock,
                    [this](const ReciprocateBlock& b) {
                        for (auto& [id, text] : ReciprocateValuesFromBlock(b, UnitHz()))
                            m_values[id] = text;
                        ShowAll();
                        m_ui->btnConfigure->setEnabled(true);
                    });
}

void CReciprocatePage::OnConfigureReciprocate() {
    TakeAll();
    ReciprocateBlock b{};
    if (RefuseInput(this, ReciprocateBlockFromValues(m_values, UnitHz(), b)))
        return;
    m_ctx.WriteBlock(this, m_ui->btnConfigure, &CMotorDriver::WriteReciprocateBlock, b);
}

void CReciprocatePage::OnReadPreset() {
    m_ctx.ReadBlock(this, m_ui->btnReadPreset, &CMotorDriver::ReadPresetSpeedBlock,
                    [this](const PresetSpeedBlock& b) {
                        for (auto& [id, text] : PresetValuesFromBlock(b, UnitHz()))
                            m_values[id] = text;
                        ShowAll();
                        m_ui->btnConfigurePreset->setEnabled(true);
                    });
}

void CReciprocatePage::OnConfigurePreset() {
    TakeAll();
    PresetSpeedBlock b{};
    if (RefuseInput(this, PresetBlockFromValues(m_values, UnitHz(), b)))
        return;
    m_ctx.WriteBlock(this, m_ui->btnConfigurePreset, &CMotorDriver::WritePresetSpeedBlock, b);
}

void CReciprocatePage::OnTestOperation(uint16_t op) {
    m_ctx.Run(
        this,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), op] {
            return drv.WriteRegister(slave, kRegReciprocateCmd, op);
        },
        [this, op](ResultCode rc) {
            if (rc != kResultOk) {
                ShowResult(this, rc);
                return;
            }
            if (op == kTestMeasureStroke)
                m_bMeasuring = 1; // a cancel leaves the watch to see the register drop to 0
        });
}

void CReciprocatePage::OnMeasureWatch() {
    if (!m_bMeasuring || m_bWatchOut)
        return;
    m_bWatchOut = true;
    m_ctx.Run(
        this,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load()] {
            uint8_t reply[2] = {};
            uint16_t size = sizeof reply;
            const ResultCode rc = drv.ReadRegisters(slave, kRegReciprocateCmd, 1, reply, &size);
            return rc == kResultOk && reply[0] == 0 && reply[1] == 0;
        },
        [this](bool ended) {
            m_bWatchOut = false;
            // Failures (the port closed included) are silent: the next tick
            // tries again.
            if (!ended || !m_bMeasuring)
                return;
            m_bMeasuring = 0;
            OnReadReciprocate();
        });
}
