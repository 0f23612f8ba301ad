#include "tools/RegisterDlg.h"

#include "driver/FieldInput.h"
#include "driver/Format.h"
#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"

#include "ui_RegisterDlg.h"

#include <QComboBox>
#include <QPushButton>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// The edits the input checks name, by control ID.
constexpr int kWriteAddr = 1146, kWriteHex = 1147, kWriteDec = 1150, kReadAddr = 1148;

float FloatOfBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

uint32_t BitsOfFloat(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

} // namespace

int RegCount(int type) {
    return type == kRegLong || type == kRegFloat ? 2 : 1;
}

uint16_t RegAddress(std::string_view text) {
    return static_cast<uint16_t>(ParseLeadingHex(text));
}

std::string RegAddressText(std::string_view text) {
    return StrFormat("%04X", RegAddress(text));
}

std::string RegHexToDecimal(std::string_view hex, int type) {
    const uint32_t v = ParseLeadingHex(hex);
    switch (type) {
    case kRegLong:
        return StrFormat("%d", static_cast<int32_t>(v));
    case kRegFloat:
        return StrFormat("%f", static_cast<double>(FloatOfBits(v)));
    default:
        return StrFormat("%d", static_cast<int16_t>(v & 0xFFFF));
    }
}

std::string RegDecimalToHex(std::string_view decimal, int type) {
    switch (type) {
    case kRegLong:
        return StrFormat("%08X", static_cast<uint32_t>(ParseLeadingInt64(decimal)));
    case kRegFloat:
        return StrFormat("%08X", BitsOfFloat(ToFloat(ParseDouble(decimal))));
    default:
        return StrFormat("%04X", ToReg16(ParseLeadingInt64(decimal)));
    }
}

SRegWrite RegWriteRequest(std::string_view hex, int type) {
    const uint32_t v = ParseLeadingHex(hex);
    if (RegCount(type) == 1)
        return {6, {static_cast<uint16_t>(v & 0xFFFF)}};
    return {16, {static_cast<uint16_t>(v >> 16), static_cast<uint16_t>(v & 0xFFFF)}};
}

SRegReadTexts RegReadTexts(const uint16_t* regs, int type) {
    if (RegCount(type) == 1)
        return {StrFormat("%04X", regs[0]), StrFormat("%d", static_cast<int16_t>(regs[0]))};
    const uint32_t v = static_cast<uint32_t>(regs[0]) << 16 | regs[1];
    if (type == kRegFloat)
        return {StrFormat("%08X", v), StrFormat("%f", static_cast<double>(FloatOfBits(v)))};
    return {StrFormat("%08X", v), StrFormat("%d", static_cast<int32_t>(v))};
}

namespace {

SInputProblem AddressProblem(const CtrlValues& values, int ctrl, int type) {
    const std::string& text = ValueOf(values, ctrl);
    const uint32_t last = 0x10000u - static_cast<uint32_t>(RegCount(type));
    uint32_t addr = 0;
    const bool isHex = ParseStrictHex(text, addr);
    if (isHex && addr <= last)
        return {};
    return {ctrl, ValueProblemText(lang::translate("CRegisterDlg", "起始地址"), text,
                                   isHex ? EValueProblem::OutOfRange : EValueProblem::NotHex,
                                   StrFormat("0000~%04X", last))};
}

} // namespace

SInputProblem RegWriteProblem(const CtrlValues& values, int type) {
    if (SInputProblem p = AddressProblem(values, kWriteAddr, type); p.Has())
        return p;
    const std::string& hex = ValueOf(values, kWriteHex);
    const bool wide = RegCount(type) == 2;
    uint32_t bits = 0;
    const bool isHex = ParseStrictHex(hex, bits);
    if (!isHex || (!wide && bits > 0xFFFF))
        return {kWriteHex,
                ValueProblemText(lang::translate("CRegisterDlg", "寄存器值"), hex,
                                 isHex ? EValueProblem::OutOfRange : EValueProblem::NotHex,
                                 wide ? "00000000~FFFFFFFF" : "0000~FFFF")};
    const std::string& dec = ValueOf(values, kWriteDec);
    if (dec == RegHexToDecimal(hex, type))
        return {};
    if (type == kRegFloat) {
        float f = 0;
        std::string problem = CheckFloat(lang::translate("CRegisterDlg", "十进制"), dec, f);
        return {problem.empty() ? 0 : kWriteDec, problem};
    }
    // Either reading of the register's bits, signed or not.
    const int64_t lo = wide ? INT32_MIN : INT16_MIN, hi = wide ? UINT32_MAX : UINT16_MAX;
    int64_t v = 0;
    const bool isInt = ParseStrictInt(dec, v);
    if (isInt && v >= lo && v <= hi)
        return {};
    return {kWriteDec,
            ValueProblemText(
                lang::translate("CRegisterDlg", "十进制"), dec,
                isInt ? EValueProblem::OutOfRange : EValueProblem::NotInteger,
                StrFormat("%lld~%lld", static_cast<long long>(lo), static_cast<long long>(hi)))};
}

SInputProblem RegReadProblem(const CtrlValues& values, int type) {
    return AddressProblem(values, kReadAddr, type);
}

// --- Window ---------------------------------------------------------------------

CRegisterDlg::CRegisterDlg(CDriverContext& ctx, QWidget* parent)
    : CToolDlg(parent), m_ctx(ctx), m_ui(new Ui::CRegisterDlg) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] { m_ui->retranslateUi(this); });
    LimitTypingOnly(this);
    adjustSize(); // its final size from the start, for centring before the first showing
    connect(m_ui->btnWrite, &QPushButton::clicked, this, &CRegisterDlg::OnWrite);
    connect(m_ui->btnRead, &QPushButton::clicked, this, &CRegisterDlg::OnRead);
    // A new type reinterprets the decimal text, not the bit pattern.
    connect(m_ui->cmbWriteType, &QComboBox::currentIndexChanged, this, [this] {
        SetCtrlValue(m_ui->edtWriteHex, RegDecimalToHex(CtrlValue(m_ui->edtWriteDec), WriteType()));
    });
    WatchFocusLeave({m_ui->edtWriteAddr, m_ui->edtWriteHex, m_ui->edtWriteDec, m_ui->edtReadAddr});
}

CRegisterDlg::~CRegisterDlg() {
    delete m_ui;
}

int CRegisterDlg::WriteType() const {
    return m_ui->cmbWriteType->currentIndex();
}

void CRegisterDlg::OnFocusLeft(QWidget* ctrl) {
    if (ctrl == m_ui->edtWriteAddr || ctrl == m_ui->edtReadAddr)
        SetCtrlValue(ctrl, RegAddressText(CtrlValue(ctrl)));
    else if (ctrl == m_ui->edtWriteHex)
        SetCtrlValue(m_ui->edtWriteDec, RegHexToDecimal(CtrlValue(ctrl), WriteType()));
    else if (ctrl == m_ui->edtWriteDec)
        SetCtrlValue(m_ui->edtWriteHex, RegDecimalToHex(CtrlValue(ctrl), WriteType()));
}

void CRegisterDlg::OnWrite() {
    // The hex edit is what is written; the decimal edit reaches it only
    // through its own conversion.
    if (RefuseInput(this, RegWriteProblem(TakeValues(this, {kWriteAddr, kWriteHex, kWriteDec}),
                                          WriteType())))
        return;
    const uint16_t addr = RegAddress(CtrlValue(m_ui->edtWriteAddr));
    const SRegWrite req = RegWriteRequest(CtrlValue(m_ui->edtWriteHex), WriteType());
    m_ctx.RunFrom(
        m_ui->btnWrite,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), addr, req] {
            return req.function == 6 ? drv.WriteRegister(slave, addr, req.regs[0])
                                     : drv.WriteRegisters(slave, addr, req.regs.data(),
                                                          static_cast<uint16_t>(req.regs.size()));
        },
        [this](ResultCode rc) {
            if (rc != kResultOk)
                ShowResult(this, rc);
        });
}

void CRegisterDlg::OnRead() {
    const int type = m_ui->cmbReadType->currentIndex();
    if (RefuseInput(this, RegReadProblem(TakeValues(this, {kReadAddr}), type)))
        return;
    const uint16_t addr = RegAddress(CtrlValue(m_ui->edtReadAddr));
    m_ctx.RunFrom(
        m_ui->btnRead,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), addr, type] {
            std::array<uint16_t, 2> regs{};
            const ResultCode rc =
                drv.ReadBlock(slave, addr, static_cast<uint16_t>(RegCount(type)), regs.data());
            return std::pair{rc, regs};
        },
        [this, type](const std::pair<ResultCode, std::array<uint16_t, 2>>& r) {
            if (r.first != kResultOk) {
                ShowResult(this, r.first);
                return;
            }
            const SRegReadTexts texts = RegReadTexts(r.second.data(), type);
            SetCtrlValue(m_ui->edtReadHex, texts.hex);
            SetCtrlValue(m_ui->edtReadDec, texts.decimal);
        });
}
