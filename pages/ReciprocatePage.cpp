#include "pages/ReciprocatePage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"
#include "pages/PageFields.h"

#include "ui_ReciprocatePage.h"

#include <QPushButton>

#include <utility>

namespace {

// Process group.
constexpr int kHomingMode = 1090;  // 0x00A0
constexpr int kFineHoming = 1119;  // 0x00A1
constexpr int kStroke = 1098;      // 0x00A2-0x00A3
constexpr int kCoarseSpeed = 1056; // 0x00A4
constexpr int kFineSpeed = 1057;   // 0x00A5
constexpr int kAfterSpeed = 1058;  // 0x00A6
constexpr int kThreshold = 1060;   // 0x00A7, 0.1 %
constexpr int kRehome = 1120;      // 0x00A8
constexpr int kTorque = 1059;      // 0x00A9, 0.01 A
constexpr int kReadProcess = 1099, kConfigureProcess = 1100;

// Preset group.
constexpr int kSpeedMode = 1123;   // 0x00B0
constexpr int kControlMode = 1124; // 0x00B1
constexpr int kForward = 1121;     // 0x00B2
constexpr int kReverse = 1122;     // 0x00B3
constexpr int kReadPreset = 1102, kConfigurePreset = 1103;

constexpr uint16_t kSpeedModeTorque = 1;
constexpr uint16_t kSpeedModeClosedSpeed = 2, kSpeedModeClosedPosition = 3;

constexpr SListCtrl kLists[] = {
    {kHomingMode, 0x00A0}, {kSpeedMode, 0x00B0}, {kControlMode, 0x00B1}};

constexpr int kPageIds[] = {kHomingMode, kCoarseSpeed, kFineSpeed, kStroke,  kFineHoming,
                            kSpeedMode,  kControlMode, kReverse,   kForward, kAfterSpeed,
                            kThreshold,  kRehome,      kTorque};

// A typed number of one of the page's fields at the decimals in effect.
bool TakeField(const CtrlValues& values, int ctrl, uint16_t reg, int decimals, int64_t& raw,
               SInputProblem& problem) {
    return TakeNumber(values, ctrl, FieldRule(CatalogueField(reg), decimals), raw, problem);
}

} // namespace

std::string SpeedText(uint16_t raw, bool unitHz) {
    return unitHz ? std::to_string(raw) : StrFormat("%.1f", raw * 0.1);
}

CtrlValues ReciprocateValuesFromBlock(const ReciprocateBlock& b, bool unitHz) {
    return {
        {kStroke, std::to_string(b.Get32(kReciprocatePair))},
        {kCoarseSpeed, SpeedText(b.At(0x00A4), unitHz)},
        {kFineSpeed, SpeedText(b.At(0x00A5), unitHz)},
        {kAfterSpeed, SpeedText(b.At(0x00A6), unitHz)},
        {kThreshold, ScaledText(0x00A7, b.At(0x00A7))},
        {kTorque, ScaledText(0x00A9, b.At(0x00A9))},
        {kHomingMode, std::to_string(b.At(0x00A0))},
        {kRehome, b.At(0x00A8) == 1 ? "1" : "0"},
        {kFineHoming, b.At(0x00A1) == 1 ? "1" : "0"},
    };
}

SInputProblem ReciprocateBlockFromValues(const CtrlValues& values, bool unitHz,
                                         ReciprocateBlock& out) {
    auto ticked = [&](int id) -> uint16_t { return ValueOf(values, id) == "1" ? 1 : 0; };
    ReciprocateBlock b{};
    SInputProblem problem;
    int64_t v = 0;
    if (!TakeListIndex(values, kHomingMode, CatalogueField(0x00A0), v, problem))
        return problem;
    b.At(0x00A0) = ToReg16(v);
    b.At(0x00A1) = ticked(kFineHoming);
    if (!TakeField(values, kStroke, kReciprocatePair, 0, v, problem))
        return problem;
    b.Set32(kReciprocatePair, static_cast<uint32_t>(v));
    const int speedDecimals = unitHz ? 0 : 1;
    for (const auto& [ctrl, reg] :
         {std::pair{kCoarseSpeed, 0x00A4}, {kFineSpeed, 0x00A5}, {kAfterSpeed, 0x00A6}}) {
        const uint16_t addr = static_cast<uint16_t>(reg);
        if (!TakeField(values, ctrl, addr, speedDecimals, v, problem))
            return problem;
        b.At(addr) = ToReg16(v);
    }
    if (!TakeField(values, kThreshold, 0x00A7, CatalogueField(0x00A7).decimals, v, problem))
        return problem;
    b.At(0x00A7) = ToReg16(v);
    b.At(0x00A8) = ticked(kRehome);
    if (!TakeField(values, kTorque, 0x00A9, CatalogueField(0x00A9).decimals, v, problem))
        return problem;
    b.At(0x00A9) = ToReg16(v);
    out = b;
    return problem;
}

CtrlValues PresetValuesFromBlock(const PresetSpeedBlock& b, bool unitHz) {
    const bool torque = b.At(0x00B0) == kSpeedModeTorque;
    auto speed = [&](uint16_t raw) {
        return torque ? StrFormat("%.2f", raw * 0.01) : SpeedText(raw, unitHz);
    };
    return {
        {kReverse, speed(b.At(0x00B3))},
        {kForward, speed(b.At(0x00B2))},
        {kSpeedMode, std::to_string(b.At(0x00B0))},
        {kControlMode, std::to_string(b.At(0x00B1))},
    };
}

SInputProblem PresetBlockFromValues(const CtrlValues& values, bool unitHz, PresetSpeedBlock& out) {
    PresetSpeedBlock b{};
    SInputProblem problem;
    int64_t mode = 0, control = 0;
    if (!TakeListIndex(values, kSpeedMode, CatalogueField(0x00B0), mode, problem) ||
        !TakeListIndex(values, kControlMode, CatalogueField(0x00B1), control, problem))
        return problem;
    // Duty cycle counts tenths even where the read showed whole units: the
    // driver's own rule, kept as it is.
    const bool torque = mode == kSpeedModeTorque;
    const bool closed = mode == kSpeedModeClosedSpeed || mode == kSpeedModeClosedPosition;
    const int decimals = torque ? 2 : closed && unitHz ? 0 : 1;
    b.At(0x00B0) = ToReg16(mode);
    b.At(0x00B1) = ToReg16(control);
    for (const auto& [ctrl, reg] : {std::pair{kForward, 0x00B2}, {kReverse, 0x00B3}}) {
        const uint16_t addr = static_cast<uint16_t>(reg);
        SNumberRule rule = FieldRule(CatalogueField(addr), decimals);
        if (torque)
            rule.unit = "A";
        int64_t v = 0;
        if (!TakeNumber(values, ctrl, rule, v, problem))
            return problem;
        b.At(addr) = ToReg16(v);
    }
    out = b;
    return problem;
}

std::vector<int> ReciprocateValueIds() {
    return {std::begin(kPageIds), std::end(kPageIds)};
}

CReciprocatePage::CReciprocatePage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CReciprocatePage) {
    m_ui->setupUi(this);
    LimitTypingOnly(this);
    FillLists(this, kLists);
    for (int id : kPageIds)
        m_values[id] = "";
    for (int id : {kHomingMode, kSpeedMode, kControlMode})
        m_values[id] = "-1";
    for (int id : {kFineHoming, kRehome})
        m_values[id] = "0";

    auto onClick = [this](int id, auto fn) {
        connect(FindCtrl<QPushButton>(this, id), &QPushButton::clicked, this, fn);
    };
    onClick(kReadProcess, [this] { OnReadReciprocate(); });
    onClick(kConfigureProcess, [this] { OnConfigureReciprocate(); });
    onClick(kReadPreset, [this] { OnReadPreset(); });
    onClick(kConfigurePreset, [this] { OnConfigurePreset(); });
    onClick(1062, [this] { OnTestOperation(kTestHomeSq2); });
    onClick(1063, [this] { OnTestOperation(kTestHomeSq1); });
    onClick(1101, [this] { OnTestOperation(kTestMeasureStroke); });
    onClick(1064, [this] { OnTestOperation(kTestCancel); });

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
    m_ctx.ReadBlock(this, FindCtrl<QPushButton>(this, kReadProcess),
                    &CMotorDriver::ReadReciprocateBlock, [this](const ReciprocateBlock& b) {
                        for (auto& [id, text] : ReciprocateValuesFromBlock(b, UnitHz()))
                            m_values[id] = text;
                        ShowAll();
                        FindCtrl<QPushButton>(this, kConfigureProcess)->setEnabled(true);
                    });
}

void CReciprocatePage::OnConfigureReciprocate() {
    TakeAll();
    ReciprocateBlock b{};
    if (RefuseInput(this, ReciprocateBlockFromValues(m_values, UnitHz(), b)))
        return;
    m_ctx.WriteBlock(this, FindCtrl<QPushButton>(this, kConfigureProcess),
                     &CMotorDriver::WriteReciprocateBlock, b);
}

void CReciprocatePage::OnReadPreset() {
    m_ctx.ReadBlock(this, FindCtrl<QPushButton>(this, kReadPreset),
                    &CMotorDriver::ReadPresetSpeedBlock, [this](const PresetSpeedBlock& b) {
                        for (auto& [id, text] : PresetValuesFromBlock(b, UnitHz()))
                            m_values[id] = text;
                        ShowAll();
                        FindCtrl<QPushButton>(this, kConfigurePreset)->setEnabled(true);
                    });
}

void CReciprocatePage::OnConfigurePreset() {
    TakeAll();
    PresetSpeedBlock b{};
    if (RefuseInput(this, PresetBlockFromValues(m_values, UnitHz(), b)))
        return;
    m_ctx.WriteBlock(this, FindCtrl<QPushButton>(this, kConfigurePreset),
                     &CMotorDriver::WritePresetSpeedBlock, b);
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
