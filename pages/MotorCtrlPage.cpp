#include "pages/MotorCtrlPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"

#include "ui_MotorCtrlPage.h"

#include <QAbstractSlider>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace {

enum : int {
    kPwmSlider = 1039,
    kFreqSlider = 1041,
    kPositionSlider = 1051,
    kPwmLabel = 1081,
    kFreqLabel = 1082,
    kPositionLabel = 1087,
    kRunPwm = 1040,
    kRunFreq = 1042,
    kStop = 1084,
    kMove = 1052,
    kReadRamp = 1062,
    kSetRamp = 1075,
    kFreqLimit = 1083,
    kMoveFreq = 1085,
    kPositionLimit = 1053,
    kStopNormalRadio = 1044,
    kStopEmergencyRadio = 1045,
    kStopFreeRadio = 1046,
    kRelative = 1086,
};

// Ramp edits in register order 0x0050..0x0053.
constexpr int kRampIds[] = {1054, 1055, 1057, 1058};

// n tenths as "%.1f" would show n * 0.1, without binary rounding.
std::string TenthsText(int64_t n) {
    const int64_t a = n < 0 ? -n : n;
    return StrFormat("%s%lld.%lld", n < 0 ? "-" : "", static_cast<long long>(a / 10),
                     static_cast<long long>(a % 10));
}

} // namespace

std::string PwmLabelText(int position) {
    return TenthsText(position) + "%";
}

std::string FreqLabelText(int position, bool unitHz) {
    return unitHz ? StrFormat("%dHz", position) : TenthsText(position) + "Hz";
}

std::string PositionLabelText(int position) {
    return StrFormat("%d", position);
}

SFreqLimit FreqLimitOf(const std::string& text, bool unitHz) {
    // The slider counts register units: at most 32767 either way.
    const int64_t units = std::clamp<int64_t>(ScaleDecimal(text, unitHz ? 0 : 1), 1, 32767);
    SFreqLimit limit;
    limit.range = static_cast<int>(units);
    limit.text = unitHz ? StrFormat("%d", limit.range) : TenthsText(units);
    return limit;
}

int PositionLimitOf(const std::string& text) {
    return std::max(ParseLeadingInt(text), 1);
}

SInputProblem MoveFrequencyOf(const std::string& text, bool unitHz, uint16_t& out) {
    const SNumberRule rule{"换向频率", unitHz ? 0 : 1, 0, 65535, "Hz"};
    SInputProblem problem;
    int64_t v = 0;
    if (TakeNumber({{kMoveFreq, text}}, kMoveFreq, rule, v, problem))
        out = static_cast<uint16_t>(std::max<int64_t>(v, 1));
    return problem;
}

CtrlValues RampValuesFromBlock(const RampBlock& b, bool unitHz) {
    CtrlValues values;
    for (int i = 0; i < 4; ++i) {
        const uint16_t raw = b.m_reg[static_cast<size_t>(i)];
        values[kRampIds[i]] = unitHz ? StrFormat("%u", raw) : TenthsText(raw);
    }
    return values;
}

SInputProblem RampBlockFromValues(const CtrlValues& values, bool unitHz, RampBlock& out) {
    RampBlock b{};
    SInputProblem problem;
    for (int i = 0; i < 4; ++i) {
        const FieldDef& def = CatalogueField(static_cast<uint16_t>(RampBlock::kStart + i));
        int64_t v = 0;
        if (!TakeNumber(values, kRampIds[i], FieldRule(def, unitHz ? 0 : 1), v, problem))
            return problem;
        b.m_reg[static_cast<size_t>(i)] = ToReg16(v);
    }
    out = b;
    return problem;
}

std::vector<int> RampValueIds() {
    return {std::begin(kRampIds), std::end(kRampIds)};
}

// --- Page ---------------------------------------------------------------------

CMotorCtrlPage::CMotorCtrlPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CMotorCtrlPage) {
    m_ui->setupUi(this);
    LimitTypingOnly(this);

    auto onClick = [this](int id, void (CMotorCtrlPage::*fn)()) {
        connect(FindCtrl<QPushButton>(this, id), &QPushButton::clicked, this, fn);
    };
    onClick(kRunPwm, &CMotorCtrlPage::OnRunPwm);
    onClick(kRunFreq, &CMotorCtrlPage::OnRunFreq);
    connect(FindCtrl<QPushButton>(this, kStop), &QPushButton::clicked, this,
            [this] { SendStop(); });
    onClick(kMove, &CMotorCtrlPage::OnMove);
    onClick(kReadRamp, &CMotorCtrlPage::OnReadRamp);
    onClick(kSetRamp, &CMotorCtrlPage::OnSetRamp);
    connect(FindCtrl<QLineEdit>(this, kFreqLimit), &QLineEdit::editingFinished, this,
            &CMotorCtrlPage::ApplyFreqLimit);
    connect(FindCtrl<QLineEdit>(this, kPositionLimit), &QLineEdit::textChanged, this,
            &CMotorCtrlPage::ApplyPositionLimit);

    FindCtrl<QAbstractSlider>(this, kPwmSlider)->setRange(-1000, 1000);
    // The initial limits, in tenths of Hz whatever the unit turns out to be.
    const int freq = ParseLeadingInt(CtrlValue(this, kFreqLimit)) * 10;
    FindCtrl<QAbstractSlider>(this, kFreqSlider)->setRange(-freq, freq);
    const int position = ParseLeadingInt(CtrlValue(this, kPositionLimit));
    FindCtrl<QAbstractSlider>(this, kPositionSlider)->setRange(-position, position);
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

void CMotorCtrlPage::RefreshLabels() {
    auto position = [this](int id) { return FindCtrl<QAbstractSlider>(this, id)->value(); };
    SetCtrlValue(this, kPwmLabel, PwmLabelText(position(kPwmSlider)));
    SetCtrlValue(this, kFreqLabel, FreqLabelText(position(kFreqSlider), UnitHz()));
    SetCtrlValue(this, kPositionLabel, PositionLabelText(position(kPositionSlider)));
}

void CMotorCtrlPage::ApplyFreqLimit() {
    const SFreqLimit limit = FreqLimitOf(CtrlValue(this, kFreqLimit), UnitHz());
    SetCtrlValue(this, kFreqLimit, limit.text);
    FindCtrl<QAbstractSlider>(this, kFreqSlider)->setRange(-limit.range, limit.range);
}

void CMotorCtrlPage::ApplyPositionLimit() {
    const int limit = PositionLimitOf(CtrlValue(this, kPositionLimit));
    const std::string text = StrFormat("%d", limit);
    if (CtrlValue(this, kPositionLimit) != text)
        SetCtrlValue(this, kPositionLimit, text); // comes back here once, unchanged
    FindCtrl<QAbstractSlider>(this, kPositionSlider)->setRange(-limit, limit);
}

uint16_t CMotorCtrlPage::StopMode() const {
    if (FindCtrl<QRadioButton>(this, kStopEmergencyRadio)->isChecked())
        return kStopEmergency;
    if (FindCtrl<QRadioButton>(this, kStopFreeRadio)->isChecked())
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
void CMotorCtrlPage::Command(int button, std::function<ResultCode(CMotorDriver&, uint8_t)> send) {
    m_ctx.RunFrom(
        FindCtrl<QPushButton>(this, button),
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), send = std::move(send)] {
            return send(drv, slave);
        },
        [this](ResultCode rc) {
            if (rc != kResultOk)
                ShowResult(this, rc);
        });
}

void CMotorCtrlPage::OnRunPwm() {
    const auto pwm = static_cast<uint16_t>(FindCtrl<QAbstractSlider>(this, kPwmSlider)->value());
    Command(kRunPwm,
            [pwm](CMotorDriver& drv, uint8_t slave) { return drv.WriteRunCommand(slave, pwm, 0); });
}

void CMotorCtrlPage::OnRunFreq() {
    const auto freq = static_cast<uint16_t>(FindCtrl<QAbstractSlider>(this, kFreqSlider)->value());
    Command(kRunFreq, [freq](CMotorDriver& drv, uint8_t slave) {
        return drv.WriteRunCommand(slave, freq, 1);
    });
}

void CMotorCtrlPage::OnMove() {
    uint16_t freq = 0;
    if (RefuseInput(this, MoveFrequencyOf(CtrlValue(this, kMoveFreq), UnitHz(), freq)))
        return;
    const int32_t target = FindCtrl<QAbstractSlider>(this, kPositionSlider)->value();
    const uint16_t type = FindCtrl<QRadioButton>(this, kRelative)->isChecked() ? 1 : 0;
    Command(kMove, [freq, target, type](CMotorDriver& drv, uint8_t slave) {
        return drv.WritePositionCommand(slave, freq, target, type);
    });
}

void CMotorCtrlPage::OnReadRamp() {
    m_ctx.ReadBlock(
        this, FindCtrl<QPushButton>(this, kReadRamp), &CMotorDriver::ReadRampBlock,
        [this](const RampBlock& b) { PutValues(this, RampValuesFromBlock(b, UnitHz())); });
}

void CMotorCtrlPage::OnSetRamp() {
    RampBlock block{};
    if (RefuseInput(this, RampBlockFromValues(TakeValues(this, RampValueIds()), UnitHz(), block)))
        return;
    m_ctx.WriteBlock(this, FindCtrl<QPushButton>(this, kSetRamp), &CMotorDriver::WriteRampBlock,
                     block);
}
