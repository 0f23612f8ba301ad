#include "pages/ReciprocatePage.h"

#include "app/CtrlUtil.h"
#include "app/MainDlg.h"
#include "app/MessageBox.h"
#include "app/PageLogic.h"
#include "driver/Format.h"
#include "pages/PageFields.h"

#include "ui_ReciprocatePage.h"

#include <QPushButton>

#include <cctype>

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

// The leading decimal integer in 32 bits, as "%u" reads it ("-1" is
// 0xFFFFFFFF); beyond 32 bits it stays at the largest value.
uint32_t ParseLeadingU32(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i])))
        ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        neg = t[i++] == '-';
    uint64_t v = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        v = v * 10 + static_cast<uint64_t>(t[i++] - '0');
        if (v > UINT32_MAX)
            return UINT32_MAX;
    }
    return static_cast<uint32_t>(neg ? 0 - v : v);
}

int Index(const CtrlValues& values, int id) {
    return ParseLeadingInt(ValueOf(values, id));
}

} // namespace

std::string SpeedText(uint16_t raw, bool unitHz) {
    return unitHz ? std::to_string(raw) : StrFormat("%.1f", raw * 0.1);
}

uint16_t SpeedFromText(std::string_view text, bool unitHz) {
    return unitHz ? ToReg16(ParseLeadingInt(text)) : ToReg16(ScaleDecimal(text, 1));
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

ReciprocateBlock ReciprocateBlockFromValues(const CtrlValues& values, bool unitHz) {
    auto ticked = [&](int id) -> uint16_t { return ValueOf(values, id) == "1" ? 1 : 0; };
    ReciprocateBlock b{};
    b.At(0x00A0) = ToReg16(Index(values, kHomingMode));
    b.At(0x00A1) = ticked(kFineHoming);
    b.Set32(kReciprocatePair, ParseLeadingU32(ValueOf(values, kStroke)));
    b.At(0x00A4) = SpeedFromText(ValueOf(values, kCoarseSpeed), unitHz);
    b.At(0x00A5) = SpeedFromText(ValueOf(values, kFineSpeed), unitHz);
    b.At(0x00A6) = SpeedFromText(ValueOf(values, kAfterSpeed), unitHz);
    b.At(0x00A7) = ScaledFromText(0x00A7, ValueOf(values, kThreshold));
    b.At(0x00A8) = ticked(kRehome);
    b.At(0x00A9) = ScaledFromText(0x00A9, ValueOf(values, kTorque));
    return b;
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

PresetSpeedBlock PresetBlockFromValues(const CtrlValues& values, bool unitHz) {
    const int mode = Index(values, kSpeedMode);
    auto speed = [&](int id) -> uint16_t {
        const std::string& text = ValueOf(values, id);
        if (mode == kSpeedModeTorque)
            return ToReg16(ScaleDecimal(text, 2));
        if ((mode == kSpeedModeClosedSpeed || mode == kSpeedModeClosedPosition) && unitHz)
            return ToReg16(ParseLeadingInt(text));
        // Duty cycle (or no mode) counts tenths even where the read showed
        // whole units: the driver's own rule, kept as it is.
        return ToReg16(ScaleDecimal(text, 1));
    };
    PresetSpeedBlock b{};
    b.At(0x00B0) = ToReg16(mode);
    b.At(0x00B1) = ToReg16(Index(values, kControlMode));
    b.At(0x00B2) = speed(kForward);
    b.At(0x00B3) = speed(kReverse);
    return b;
}

std::vector<int> ReciprocateValueIds() {
    return {std::begin(kPageIds), std::end(kPageIds)};
}

CReciprocatePage::CReciprocatePage(QWidget* parent)
    : QWidget(parent), m_ui(new Ui::CReciprocatePage) {
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

void CReciprocatePage::OnReadReciprocate() {
    ReciprocateBlock b{};
    const ResultCode rc = g_pMainDlg->m_driver.ReadReciprocateBlock(g_pMainDlg->m_nSlaveAddr, b);
    if (rc != kResultOk) {
        ShowResult(this, rc);
        return;
    }
    for (auto& [id, text] : ReciprocateValuesFromBlock(b, g_pMainDlg->m_bSpeedUnitHz != 0))
        m_values[id] = text;
    ShowAll();
    FindCtrl<QPushButton>(this, kConfigureProcess)->setEnabled(true);
}

void CReciprocatePage::OnConfigureReciprocate() {
    TakeAll();
    const ReciprocateBlock b =
        ReciprocateBlockFromValues(m_values, g_pMainDlg->m_bSpeedUnitHz != 0);
    ShowResult(this, g_pMainDlg->m_driver.WriteReciprocateBlock(g_pMainDlg->m_nSlaveAddr, b));
}

void CReciprocatePage::OnReadPreset() {
    PresetSpeedBlock b{};
    const ResultCode rc = g_pMainDlg->m_driver.ReadPresetSpeedBlock(g_pMainDlg->m_nSlaveAddr, b);
    if (rc != kResultOk) {
        ShowResult(this, rc);
        return;
    }
    for (auto& [id, text] : PresetValuesFromBlock(b, g_pMainDlg->m_bSpeedUnitHz != 0))
        m_values[id] = text;
    ShowAll();
    FindCtrl<QPushButton>(this, kConfigurePreset)->setEnabled(true);
}

void CReciprocatePage::OnConfigurePreset() {
    TakeAll();
    const PresetSpeedBlock b = PresetBlockFromValues(m_values, g_pMainDlg->m_bSpeedUnitHz != 0);
    ShowResult(this, g_pMainDlg->m_driver.WritePresetSpeedBlock(g_pMainDlg->m_nSlaveAddr, b));
}

void CReciprocatePage::OnTestOperation(uint16_t op) {
    const ResultCode rc =
        g_pMainDlg->m_driver.WriteRegister(g_pMainDlg->m_nSlaveAddr, kRegReciprocateCmd, op);
    if (rc != kResultOk) {
        ShowResult(this, rc);
        return;
    }
    if (op == kTestMeasureStroke)
        m_bMeasuring = 1; // a cancel leaves the watch to see the register drop to 0
}

void CReciprocatePage::OnMeasureWatch() {
    if (!m_bMeasuring)
        return;
    uint8_t reply[2] = {};
    uint16_t size = sizeof reply;
    const ResultCode rc = g_pMainDlg->m_driver.ReadRegisters(g_pMainDlg->m_nSlaveAddr,
                                                             kRegReciprocateCmd, 1, reply, &size);
    // Failures (the port closed included) are silent: the next tick tries again.
    if (rc != kResultOk || reply[0] != 0 || reply[1] != 0)
        return;
    m_bMeasuring = 0;
    OnReadReciprocate();
}
