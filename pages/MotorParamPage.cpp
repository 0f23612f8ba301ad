#include "pages/MotorParamPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"

#include "ui_MotorParamPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace {

enum : int {
    kReadButton = 1097,
    kConfigureButton = 1063,
    kLearnButton = 1110,
    kPhaseText = 1059,
    kLearnedCombo = 1111,
    kSpeedRangeBox = 1056,
};

// Each control and the register it shows; scales, list texts and how a
// field is stored come from the block catalogue.
struct SField {
    int ctrl;
    uint16_t reg;
};
constexpr SField kFields[] = {
    {1049, 0x0060}, {1098, 0x0061}, {1046, 0x0062}, {1096, 0x0063}, {1047, 0x0064}, {1058, 0x0065},
    {1083, 0x0066}, {1095, 0x0067}, {1132, 0x0069}, {1043, 0x006A}, {1044, 0x006B}, {1045, 0x006C},
    {1131, 0x0070}, {1061, 0x0071}, {1102, 0x0072}, {1093, 0x0073}, {1094, 0x0074}, {1111, 0x0075},
    {1073, 0x0076}, {1056, 0x0077}, {1048, 0x0078}, {1135, 0x0079}, {1134, 0x007A},
};
// Selection lists: combo and register.
constexpr SField kLists[] = {{1131, 0x0070}, {1132, 0x0069}, {1111, 0x0075}};

bool IsSpeed(const FieldDef& def) {
    return def.type == EField::MotorSpeed || def.type == EField::Speed;
}
// Decimals on screen: the speed fields follow the speed range.
int DecimalsOf(const FieldDef& def, bool unitHz) {
    return IsSpeed(def) ? (unitHz ? 0 : 1) : def.decimals;
}
bool IsNumber(const FieldDef& def) {
    return IsSpeed(def) || def.type == EField::U16;
}

constexpr uint16_t kRegPhase = 0x006D; // three registers

// n units of 10^-decimals as "%.*f" shows them, without binary rounding.
std::string FixedText(int64_t n, int decimals) {
    if (decimals == 0)
        return StrFormat("%lld", static_cast<long long>(n));
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const int64_t a = n < 0 ? -n : n;
    return StrFormat("%s%lld.%0*lld", n < 0 ? "-" : "", static_cast<long long>(a / scale), decimals,
                     static_cast<long long>(a % scale));
}

} // namespace

std::string PhaseSequenceText(const uint16_t (&bytes)[6]) {
    return StrFormat("%02X %02X %02X %02X %02X %02X", bytes[0], bytes[1], bytes[2], bytes[3],
                     bytes[4], bytes[5]);
}

bool PackPhaseSequence(const std::string& text, uint16_t (&regs)[3]) {
    // Six blank-separated bytes, each one or two hex digits after an
    // optional 0x; anything else would put other bytes on the wire.
    uint32_t b[6] = {};
    size_t i = 0;
    auto blanks = [&] {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
    };
    for (uint32_t& value : b) {
        blanks();
        if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
            i += 2;
        const size_t start = i;
        while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
            value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
            ++i;
        }
        if (i == start || i - start > 2 ||
            (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))))
            return false;
    }
    blanks();
    if (i != text.size())
        return false;
    for (int r = 0; r < 3; ++r)
        regs[r] = static_cast<uint16_t>(b[2 * r] * 256 + b[2 * r + 1]);
    return true;
}

CtrlValues MotorParamValuesFromBlock(const MotorParamBlock& b, bool unitHz) {
    CtrlValues values;
    for (const SField& f : kFields) {
        const FieldDef& def = CatalogueField(f.reg);
        const uint16_t raw = b.At(f.reg);
        if (IsNumber(def))
            values[f.ctrl] = FixedText(raw, DecimalsOf(def, unitHz));
        else if (def.type == EField::Enum)
            values[f.ctrl] = StrFormat("%d", raw);
        else // bit 0: check boxes and the learned-state list
            values[f.ctrl] = (raw & 1) ? "1" : "0";
    }
    uint16_t bytes[6];
    for (int i = 0; i < 3; ++i) {
        const uint16_t reg = b.At(static_cast<uint16_t>(kRegPhase + i));
        bytes[2 * i] = reg >> 8;
        bytes[2 * i + 1] = reg & 0xFF;
    }
    values[kPhaseText] = PhaseSequenceText(bytes);
    return values;
}

SInputProblem MotorParamBlockFromValues(const CtrlValues& values, bool unitHz,
                                        MotorParamBlock& out) {
    MotorParamBlock b{}; // 0x0068 stays 0
    SInputProblem problem;
    for (const SField& f : kFields) {
        const FieldDef& def = CatalogueField(f.reg);
        int64_t raw = 0;
        if (def.type == EField::Enum) {
            if (!TakeListIndex(values, f.ctrl, def, raw, problem))
                return problem;
        } else if (IsNumber(def)) {
            if (!TakeNumber(values, f.ctrl, FieldRule(def, DecimalsOf(def, unitHz)), raw, problem))
                return problem;
        } else { // bit 0: check boxes and the learned-state list
            raw = ValueOf(values, f.ctrl) == "1" ? 1 : 0;
        }
        b.At(f.reg) = ToReg16(raw);
    }
    uint16_t phase[3];
    const std::string& phaseText = ValueOf(values, kPhaseText);
    if (!PackPhaseSequence(phaseText, phase))
        return {kPhaseText, FieldLabelText(CatalogueField(kRegPhase)) + ": " + phaseText +
                                " 应为6个十六进制字节 (00~FF)"};
    for (int i = 0; i < 3; ++i)
        b.At(static_cast<uint16_t>(kRegPhase + i)) = phase[i];
    const std::vector<uint16_t> regs(b.m_reg.begin(), b.m_reg.end());
    if (SInputProblem order = PageOrderProblem(MotorParamBlock::kStart, regs, kFields); order.Has())
        return order;
    out = b;
    return problem;
}

std::vector<int> MotorParamValueIds() {
    std::vector<int> ids;
    for (const SField& f : kFields)
        ids.push_back(f.ctrl);
    ids.push_back(kPhaseText);
    return ids;
}

// --- Page ---------------------------------------------------------------------

CMotorParamPage::CMotorParamPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CMotorParamPage) {
    m_ui->setupUi(this);
    LimitTypingOnly(this);
    for (const SField& list : kLists)
        FillComboFromField(this, list.ctrl, list.reg);
    connect(FindCtrl<QPushButton>(this, kReadButton), &QPushButton::clicked, this,
            &CMotorParamPage::OnRead);
    connect(FindCtrl<QPushButton>(this, kConfigureButton), &QPushButton::clicked, this,
            &CMotorParamPage::OnConfigure);
    connect(FindCtrl<QPushButton>(this, kLearnButton), &QPushButton::clicked, this,
            &CMotorParamPage::OnStartLearning);
}

CMotorParamPage::~CMotorParamPage() {
    {
        std::lock_guard lk(m_stopLock);
        m_bStop = true;
    }
    m_stopSignal.notify_all();
    m_worker.Join(); // runs what the worker hands over meanwhile
    delete m_ui;
}

void CMotorParamPage::OnRead() {
    m_ctx.ReadBlock(this, FindCtrl<QPushButton>(this, kReadButton),
                    &CMotorDriver::ReadMotorParamBlock, [this](const MotorParamBlock& b) {
                        // The unit first: the speed fields are shown in the unit just read.
                        const bool unitHz = (b.At(kRegSpeedRange) & 1) != 0;
                        m_ctx.m_bSpeedUnitHz = unitHz ? 1 : 0;
                        PutValues(this, MotorParamValuesFromBlock(b, unitHz));
                        FindCtrl<QPushButton>(this, kConfigureButton)->setEnabled(true);
                    });
}

namespace {
// What a configure did: the device information's answer, whether the speed
// range was written or forced off, the block checked again in the unit
// that holds, and the block's write.
struct SMotorConfigure {
    ResultCode infoRc = kResultOk;
    bool unitWritten = false, unitForcedOff = false;
    SInputProblem problem;
    ResultCode rc = kResultOk;
};
} // namespace

void CMotorParamPage::OnConfigure() {
    const CtrlValues values = TakeValues(this, MotorParamValueIds());
    const bool unitHz = ValueOf(values, kSpeedRangeBox) == "1";
    MotorParamBlock block{};
    // Checked before the first transaction, and again should the driver
    // force the speed range off: nothing of a refused configure is sent.
    if (RefuseInput(this, MotorParamBlockFromValues(values, unitHz, block)))
        return;
    m_ctx.RunFrom(
        FindCtrl<QPushButton>(this, kConfigureButton),
        [&ctx = m_ctx, slave = m_ctx.m_nSlaveAddr.load(), values, unitHz] {
            SMotorConfigure c;
            CMotorDriver& driver = ctx.m_driver;
            DeviceInfoBlock info{};
            if ((c.infoRc = driver.ReadDeviceInfoBlock(slave, info)) != kResultOk)
                return c;
            // Register 0x000E says whether this driver has the whole-Hz range.
            bool hz = unitHz;
            CtrlValues typed = values;
            if (info.At(0x000E) != 0) {
                c.unitWritten =
                    driver.WriteRegister(slave, kRegSpeedRange, hz ? 1 : 0) == kResultOk;
            } else {
                hz = false;
                c.unitForcedOff = true;
                typed[kSpeedRangeBox] = "0";
            }
            MotorParamBlock b{};
            c.problem = MotorParamBlockFromValues(typed, hz, b);
            if (!c.problem.Has() && !ctx.Stopping())
                c.rc = driver.WriteMotorParamBlock(slave, b);
            return c;
        },
        [this, unitHz](const SMotorConfigure& c) {
            if (c.infoRc != kResultOk) {
                ShowResult(this, c.infoRc);
                return;
            }
            if (c.unitWritten)
                m_ctx.m_bSpeedUnitHz = unitHz ? 1 : 0;
            if (c.unitForcedOff) {
                m_ctx.m_bSpeedUnitHz = 0;
                SetCtrlValue(this, kSpeedRangeBox, "0");
            }
            if (RefuseInput(this, c.problem))
                return;
            ShowResult(this, c.rc);
        });
}

void CMotorParamPage::OnStartLearning() {
    if (m_bLearning)
        return;
    m_worker.Join(); // the last run has handed back and is ending
    m_bLearning = true;
    auto* button = FindCtrl<QPushButton>(this, kLearnButton);
    button->setEnabled(false);
    button->setText("正在学习");
    m_bStop = false;
    const uint8_t slave = m_ctx.m_nSlaveAddr;
    m_worker.Start([this, slave] { RunLearning(slave); });
}

// Widgets and boxes are reached only through RunOnGui, and each handed-over
// call checks the stop flag on the GUI thread: the destructor sets it before
// it waits, so nothing touches a page that is going away.
void CMotorParamPage::RunLearning(uint8_t slave) {
    auto onGui = [this](std::function<void()> fn) {
        RunOnGui([this, &fn] {
            if (!m_bStop)
                fn();
        });
    };
    SLearnHooks hooks;
    hooks.waitUntil = [this](LearnClock::time_point t) {
        std::unique_lock lk(m_stopLock);
        return !m_stopSignal.wait_until(lk, t, [this] { return m_bStop.load(); });
    };
    const SLearnOutcome run = RunMotorLearning(m_ctx.m_driver, slave, hooks);
    if (run.end == ELearnEnd::StartRefused) {
        onGui([this, rc = run.rc] {
            ShowResult(this, rc);
            EndLearning();
        });
        return;
    }
    if (m_bStop)
        return;
    std::string outcome;
    switch (run.end) {
    case ELearnEnd::Succeeded:
        outcome = LearnOutcomeText(ELearnState::Succeeded);
        onGui([this, phases = LearnedPhaseText(run.last)] {
            SetCtrlValue(this, kPhaseText, phases);
            SetCtrlValue(this, kLearnedCombo, "1");
        });
        break;
    case ELearnEnd::Failed:
        outcome = LearnOutcomeText(ELearnState::Failed);
        onGui([this] { SetCtrlValue(this, kLearnedCombo, "0"); });
        break;
    case ELearnEnd::Aborted:
        outcome = LearnOutcomeText(ELearnState::Aborted);
        break;
    case ELearnEnd::ReadFailed:
        outcome = ResultText(run.rc);
        break;
    default:
        break;
    }
    onGui([this, outcome] {
        if (!outcome.empty())
            ShowMessage(this, outcome);
        EndLearning();
    });
}

void CMotorParamPage::EndLearning() {
    auto* button = FindCtrl<QPushButton>(this, kLearnButton);
    button->setText("开始学习");
    button->setEnabled(true);
    m_bLearning = false;
}
