#include "pages/MotorCtrlPage.h"

#include "driver/Format.h"
#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"

#include "ui_MotorCtrlPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <algorithm>

namespace {

constexpr int kMoveFreq = 1085;

// The ramp edits, in whole units or tenths by the speed unit.
constexpr SFieldCtrl kRamps[] = {
    {1054, "ramp.pwm_rise_buffer"},
    {1055, "ramp.pwm_fall_buffer"},
    {1057, "ramp.acceleration"},
    {1058, "ramp.deceleration"},
};

} // namespace

std::string PwmLabelText(int position) {
    return FormatScaled(position, 1) + "%";
}

std::string FreqLabelText(int position, bool unitHz) {
    return FormatScaled(position, unitHz ? 0 : 1) + "Hz";
}

std::string PositionLabelText(int position) {
    return StrFormat("%d", position);
}

SFreqLimit FreqLimitOf(const std::string& text, bool unitHz) {
    // The slider counts register units: at most 32767 either way.
    const int64_t units = std::clamp<int64_t>(ScaleDecimal(text, unitHz ? 0 : 1), 1, 32767);
    SFreqLimit limit;
    limit.range = static_cast<int>(units);
    limit.text = FormatScaled(units, unitHz ? 0 : 1);
    return limit;
}

int PositionLimitOf(const std::string& text) {
    return std::max(ParseLeadingInt(text), 1);
}

SInputProblem MoveFrequencyOf(const std::string& text, bool unitHz, uint16_t& out) {
    const SNumberRule rule{lang::translate("CMotorCtrlPage", "换向频率"), unitHz ? 0 : 1, 0, 65535,
                           "Hz"};
    SInputProblem problem;
    int64_t v = 0;
    if (TakeNumber({{kMoveFreq, text}}, kMoveFreq, rule, v, problem))
        out = static_cast<uint16_t>(std::max<int64_t>(v, 1));
    return problem;
}

CtrlValues RampValuesFromBlock(const RampBlock& b, bool unitHz) {
    return ShowFields(kRamps, unitHz, b);
}

SInputProblem RampBlockFromValues(const CtrlValues& values, bool unitHz, RampBlock& out) {
    RampBlock b{};
    const SInputProblem problem = TakeFields(values, kRamps, unitHz, CPageRegs(b));
    if (!problem.Has())
        out = b;
    return problem;
}

std::vector<int> RampValueIds() {
    return FieldIds(kRamps);
}

// --- Page ---------------------------------------------------------------------

CMotorCtrlPage::CMotorCtrlPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CMotorCtrlPage) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] {
        m_ui->retranslateUi(this);
        RefreshLabels();
    });
    LimitTypingOnly(this);

    auto onClick = [this](QPushButton* button, void (CMotorCtrlPage::*fn)()) {
        connect(button, &QPushButton::clicked, this, fn);
    };
    onClick(m_ui->btnRunPwm, &CMotorCtrlPage::OnRunPwm);
    onClick(m_ui->btnRunFreq, &CMotorCtrlPage::OnRunFreq);
    connect(m_ui->btnStop, &QPushButton::clicked, this, [this] { SendStop(); });
    onClick(m_ui->btnMove, &CMotorCtrlPage::OnMove);
    onClick(m_ui->btnReadRamp, &CMotorCtrlPage::OnReadRamp);
    onClick(m_ui->btnSetRamp, &CMotorCtrlPage::OnSetRamp);
    connect(m_ui->edtFreqLimit, &QLineEdit::editingFinished, this, &CMotorCtrlPage::ApplyFreqLimit);
    connect(m_ui->edtPositionLimit, &QLineEdit::textChanged, this,
            &CMotorCtrlPage::ApplyPositionLimit);

    m_ui->sldPwm->setRange(-1000, 1000);
    // The initial limits, in tenths of Hz whatever the unit turns out to be.
    const int freq = ParseLeadingInt(m_ui->edtFreqLimit->text().toStdString()) * 10;
    m_ui->sldFreq->setRange(-freq, freq);
    const int position = ParseLeadingInt(m_ui->edtPositionLimit->text().toStdString());
    m_ui->sldPosition->setRange(-position, position);
    RefreshLabels();

    connect(&m_timer, &QTimer::timeout, this, &CMotorCtrlPage::OnTimer);
    m_timer.start(100);
}

CMotorCtrlPage::~CMotorCtrlPage() {
    m_timer.stop();
    delete m_ui;
}

bool CMotorCtrlPage::UnitHz() const {
    return m_ctx.m_bSpeedUnitHz != 0;
}

void CMotorCtrlPage::OnTimer() {
    RefreshLabels();
    if (UnitHz() != m_bUnitHz) {
        ApplyFreqLimit();
        m_bUnitHz = UnitHz();
    }
}

namespace {
void SetText(QLabel* label, const std::string& text) {
    label->setText(QString::fromStdString(text));
}
} // namespace

void CMotorCtrlPage::RefreshLabels() {
    SetText(m_ui->lblPwm, PwmLabelText(m_ui->sldPwm->value()));
    SetText(m_ui->lblFreq, FreqLabelText(m_ui->sldFreq->value(), UnitHz()));
    SetText(m_ui->lblPosition, PositionLabelText(m_ui->sldPosition->value()));
}

void CMotorCtrlPage::ApplyFreqLimit() {
    const SFreqLimit limit = FreqLimitOf(m_ui->edtFreqLimit->text().toStdString(), UnitHz());
    m_ui->edtFreqLimit->setText(QString::fromStdString(limit.text));
    m_ui->sldFreq->setRange(-limit.range, limit.range);
}

void CMotorCtrlPage::ApplyPositionLimit() {
    const int limit = PositionLimitOf(m_ui->edtPositionLimit->text().toStdString());
    const QString text = QString::number(limit);
    if (m_ui->edtPositionLimit->text() != text)
        m_ui->edtPositionLimit->setText(text); // comes back here once, unchanged
    m_ui->sldPosition->setRange(-limit, limit);
}

uint16_t CMotorCtrlPage::StopMode() const {
    if (m_ui->radStopEmergency->isChecked())
        return kStopEmergency;
    if (m_ui->radStopFree->isChecked())
        return kStopFree;
    return kStopNormal;
}

void CMotorCtrlPage::SendStop(std::function<void(ResultCode)> then, bool report) {
    m_ctx.RunFirst(
        this,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), mode = StopMode()] {
            return drv.WriteStopCommand(slave, mode);
        },
        [this, then = std::move(then), report](ResultCode rc) {
            if (rc != kResultOk && report)
                ShowResult(this, rc);
            if (then)
                then(rc);
        });
}

// A command button's transaction; a box only on failure.
void CMotorCtrlPage::Command(QPushButton* button,
                             std::function<ResultCode(CMotorDriver&, uint8_t)> send) {
    m_ctx.RunFrom(
        button,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), send = std::move(send)] {
            return send(drv, slave);
        },
        [this](ResultCode rc) {
            if (rc != kResultOk)
                ShowResult(this, rc);
        });
}

void CMotorCtrlPage::OnRunPwm() {
    const auto pwm = static_cast<uint16_t>(m_ui->sldPwm->value());
    Command(m_ui->btnRunPwm,
            [pwm](CMotorDriver& drv, uint8_t slave) { return drv.WriteRunCommand(slave, pwm, 0); });
}

void CMotorCtrlPage::OnRunFreq() {
    const auto freq = static_cast<uint16_t>(m_ui->sldFreq->value());
    Command(m_ui->btnRunFreq, [freq](CMotorDriver& drv, uint8_t slave) {
        return drv.WriteRunCommand(slave, freq, 1);
    });
}

void CMotorCtrlPage::OnMove() {
    uint16_t freq = 0;
    if (RefuseInput(this, MoveFrequencyOf(m_ui->edtMoveFreq->text().toStdString(), UnitHz(), freq)))
        return;
    const int32_t target = m_ui->sldPosition->value();
    const uint16_t type = m_ui->radRelative->isChecked() ? 1 : 0;
    Command(m_ui->btnMove, [freq, target, type](CMotorDriver& drv, uint8_t slave) {
        return drv.WritePositionCommand(slave, freq, target, type);
    });
}

void CMotorCtrlPage::OnReadRamp() {
    m_ctx.ReadBlock(
        this, m_ui->btnReadRamp, &CMotorDriver::ReadRampBlock,
        [this](const RampBlock& b) { PutValues(this, RampValuesFromBlock(b, UnitHz())); });
}

void CMotorCtrlPage::OnSetRamp() {
    RampBlock block{};
    if (RefuseInput(this, RampBlockFromValues(TakeValues(this, RampValueIds()), UnitHz(), block)))
        return;
    m_ctx.WriteBlock(this, m_ui->btnSetRamp, &CMotorDriver::WriteRampBlock, block);
}
