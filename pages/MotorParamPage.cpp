#include "pages/MotorParamPage.h"

#include "driver/Catalogue.h"
#include "driver/Format.h"
#include "driver/Texts.h"
#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"
#include "pages/PageFields.h"

#include "ui_MotorParamPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace {

constexpr int kPhaseText = 1059, kLearnedCombo = 1111, kSpeedRangeBox = 1056;

// In block order, the phase sequence last; the speed fields in whole units or
// tenths by the speed range. The learned state is a list of bit 0 that writes
// the bit.
constexpr SFieldCtrl kFields[] = {
    {1049, "motor.pwm_start_buffer"},
    {1098, "motor.pwm_deceleration_buffer"},
    {1046, "motor.max_acceleration"},
    {1096, "motor.default_acceleration"},
    {1047, "motor.max_deceleration"},
    {1058, "motor.default_deceleration"},
    {1083, "motor.max_commutation_frequency"},
    {1095, "motor.default_commutation_frequency"},
    {1132, "motor.position_control_algorithm"},
    {1043, "motor.rated_current"},
    {1044, "motor.max_load_current"},
    {1045, "motor.brake_compensation_current"},
    {1131, "motor.steady_speed_algorithm"},
    {1061, "motor.position_tolerance"},
    {1102, "motor.overshoot_correction"},
    {1093, "motor.motor_poles"},
    {1094, "motor.gear_ratio"},
    {kLearnedCombo, "motor.learning_state", kFieldDigits, EBind::BitList},
    {1073, "motor.learning_disabled"},
    {kSpeedRangeBox, "motor.speed_range_x10"},
    {1048, "motor.holding_current"},
    {1135, "motor.overload_multiple"},
    {1134, "motor.overload_duration"},
    {kPhaseText, "motor.phase_sequence", kFieldDigits, EBind::Page},
};

const FieldDef& Field(int ctrl) {
    return CatalogueField(BoundField(kFields, ctrl));
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
    CtrlValues values = ShowFields(kFields, unitHz, b);
    const uint16_t phase = Field(kPhaseText).addr;
    uint16_t bytes[6];
    for (int i = 0; i < 3; ++i) {
        const uint16_t reg = b.At(static_cast<uint16_t>(phase + i));
        bytes[2 * i] = reg >> 8;
        bytes[2 * i + 1] = reg & 0xFF;
    }
    values[kPhaseText] = PhaseSequenceText(bytes);
    return values;
}

SInputProblem MotorParamBlockFromValues(const CtrlValues& values, bool unitHz,
                                        MotorParamBlock& out) {
    MotorParamBlock b{}; // the register without a field stays 0
    const CPageRegs regs(b);
    auto phases = [&](const SFieldCtrl& row, SInputProblem& problem) {
        const FieldDef& f = CatalogueField(row.field);
        const std::string& text = ValueOf(values, row.ctrl);
        uint16_t packed[3];
        if (!PackPhaseSequence(text, packed)) {
            problem = {row.ctrl,
                       FieldLabelText(f) + ": " + text +
                           lang::translate("CMotorParamPage", " 应为6个十六进制字节 (00~FF)")};
            return false;
        }
        for (int i = 0; i < 3; ++i)
            regs.At(static_cast<uint16_t>(f.addr + i)) = packed[i];
        return true;
    };
    const SInputProblem problem = TakeFields(values, kFields, unitHz, regs, phases);
    if (!problem.Has())
        out = b;
    return problem;
}

std::vector<int> MotorParamValueIds() {
    return FieldIds(kFields);
}

// --- Page ---------------------------------------------------------------------

CMotorParamPage::CMotorParamPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CMotorParamPage) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] {
        m_ui->retranslateUi(this);
        if (m_bLearning)
            m_ui->btnLearn->setText(tr("正在学习"));
    });
    LimitTypingOnly(this);
    FillLists(this, kFields);
    connect(m_ui->btnRead, &QPushButton::clicked, this, &CMotorParamPage::OnRead);
    connect(m_ui->btnConfigure, &QPushButton::clicked, this, &CMotorParamPage::OnConfigure);
    connect(m_ui->btnLearn, &QPushButton::clicked, this, &CMotorParamPage::OnStartLearning);
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
    m_ctx.ReadBlock(this, m_ui->btnRead, &CMotorDriver::ReadMotorParamBlock,
                    [this](const MotorParamBlock& b) {
                        // The unit first: the speed fields are shown in the unit just read.
                        const bool unitHz = (b.At(Field(kSpeedRangeBox).addr) & 1) != 0;
                        m_ctx.m_bSpeedUnitHz = unitHz ? 1 : 0;
                        PutValues(this, MotorParamValuesFromBlock(b, unitHz));
                        m_ui->btnConfigure->setEnabled(true);
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
    const bool unitHz = m_ui->chkSpeedRange->isChecked();
    MotorParamBlock block{};
    // Checked before the first transaction, and again should the driver
    // force the speed range off: nothing of a refused configure is sent.
    if (RefuseInput(this, MotorParamBlockFromValues(values, unitHz, block)))
        return;
    m_ctx.RunFrom(
        m_ui->btnConfigure,
        [&ctx = m_ctx, slave = m_ctx.m_nSlaveAddr.load(), values, unitHz] {
            SMotorConfigure c;
            CMotorDriver& driver = ctx.m_driver;
            DeviceInfoBlock info{};
            if ((c.infoRc = driver.ReadDeviceInfoBlock(slave, info)) != kResultOk)
                return c;
            // The device information says whether this driver has the whole-Hz range.
            bool hz = unitHz;
            CtrlValues typed = values;
            if (info.At(FieldAddr("device-info.speed_range_gate")) != 0) {
                c.unitWritten = driver.WriteRegister(slave, Field(kSpeedRangeBox).addr,
                                                     hz ? 1 : 0) == kResultOk;
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
                m_ui->chkSpeedRange->setChecked(false);
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
    m_ui->btnLearn->setEnabled(false);
    m_ui->btnLearn->setText(tr("正在学习"));
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
        outcome = CatalogueText(LearnOutcomeText(ELearnState::Succeeded));
        onGui([this, phases = LearnedPhaseText(run.last)] {
            m_ui->edtPhases->setText(QString::fromStdString(phases));
            m_ui->cmbLearned->setCurrentIndex(1);
        });
        break;
    case ELearnEnd::Failed:
        outcome = CatalogueText(LearnOutcomeText(ELearnState::Failed));
        onGui([this] { m_ui->cmbLearned->setCurrentIndex(0); });
        break;
    case ELearnEnd::Aborted:
        outcome = CatalogueText(LearnOutcomeText(ELearnState::Aborted));
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
    m_ui->btnLearn->setText(tr("开始学习"));
    m_ui->btnLearn->setEnabled(true);
    m_bLearning = false;
}
