#include "tools/RegisterDlg.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "driver/FieldInput.h"
#include "driver/Format.h"

#include "ui_RegisterDlg.h"

#include <QComboBox>
#include <QPushButton>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// Write pane, read pane.
constexpr int kWriteAddr = 1146, kWriteType = 1151, kWriteHex = 1147, kWriteDec = 1150;
constexpr int kWriteButton = 1063;
constexpr int kReadAddr = 1148, kReadType = 1152, kReadHex = 1149, kReadDec = 1153;
constexpr int kReadButton = 1062;

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
    return {ctrl, StrFormat("起始地址: %s %s (0000~%04X)", text.c_str(),
                            isHex ? "超出范围" : "不是十六进制数", last)};
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
        return {kWriteHex, StrFormat("寄存器值: %s %s (%s)", hex.c_str(),
                                     isHex ? "超出范围" : "不是十六进制数",
                                     wide ? "00000000~FFFFFFFF" : "0000~FFFF")};
    const std::string& dec = ValueOf(values, kWriteDec);
    if (dec == RegHexToDecimal(hex, type))
        return {};
    if (type == kRegFloat) {
        float f = 0;
        std::string problem = CheckFloat("十进制", dec, f);
        return {problem.empty() ? 0 : kWriteDec, problem};
    }
    // Either reading of the register's bits, signed or not.
    const int64_t lo = wide ? INT32_MIN : INT16_MIN, hi = wide ? UINT32_MAX : UINT16_MAX;
    int64_t v = 0;
    const bool isInt = ParseStrictInt(dec, v);
    if (isInt && v >= lo && v <= hi)
        return {};
    return {kWriteDec,
            StrFormat("十进制: %s %s (%lld~%lld)", dec.c_str(), isInt ? "超出范围" : "不是整数",
                      static_cast<long long>(lo), static_cast<long long>(hi))};
}

SInputProblem RegReadProblem(const CtrlValues& values, int type) {
    return AddressProblem(values, kReadAddr, type);
}

// --- Window ---------------------------------------------------------------------

CRegisterDlg::CRegisterDlg(CDriverContext& ctx, QWidget* parent)
    : CToolDlg(parent), m_ctx(ctx), m_ui(new Ui::CRegisterDlg) {
    m_ui->setupUi(this);
    LimitTypingOnly(this);
    adjustSize(); // its final size from the start, for centring before the first showing
    connect(FindCtrl<QPushButton>(this, kWriteButton), &QPushButton::clicked, this,
            &CRegisterDlg::OnWrite);
    connect(FindCtrl<QPushButton>(this, kReadButton), &QPushButton::clicked, this,
            &CRegisterDlg::OnRead);
    // A new type reinterprets the decimal text, not the bit pattern.
    connect(FindCtrl<QComboBox>(this, kWriteType), &QComboBox::currentIndexChanged, this, [this] {
        SetCtrlValue(this, kWriteHex, RegDecimalToHex(Value(kWriteDec), WriteType()));
    });
    WatchFocusLeave({kWriteAddr, kWriteHex, kWriteDec, kReadAddr});
}

CRegisterDlg::~CRegisterDlg() {
    delete m_ui;
}

std::string CRegisterDlg::Value(int id) const {
    return CtrlValue(this, id);
}

int CRegisterDlg::WriteType() const {
    return FindCtrl<QComboBox>(this, kWriteType)->currentIndex();
}

void CRegisterDlg::OnFocusLeft(int id) {
    switch (id) {
    case kWriteAddr:
    case kReadAddr:
        SetCtrlValue(this, id, RegAddressText(Value(id)));
        break;
    case kWriteHex:
        SetCtrlValue(this, kWriteDec, RegHexToDecimal(Value(kWriteHex), WriteType()));
        break;
    case kWriteDec:
        SetCtrlValue(this, kWriteHex, RegDecimalToHex(Value(kWriteDec), WriteType()));
        break;
    default:
        break;
    }
}

void CRegisterDlg::OnWrite() {
    // The hex edit is what is written; the decimal edit reaches it only
    // through its own conversion.
    if (RefuseInput(this, RegWriteProblem(TakeValues(this, {kWriteAddr, kWriteHex, kWriteDec}),
                                          WriteType())))
        return;
    const uint16_t addr = RegAddress(Value(kWriteAddr));
    const SRegWrite req = RegWriteRequest(Value(kWriteHex), WriteType());
    m_ctx.RunFrom(
        FindCtrl<QPushButton>(this, kWriteButton),
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
    const int type = FindCtrl<QComboBox>(this, kReadType)->currentIndex();
    if (RefuseInput(this, RegReadProblem(TakeValues(this, {kReadAddr}), type)))
        return;
    const uint16_t addr = RegAddress(Value(kReadAddr));
    m_ctx.RunFrom(
        FindCtrl<QPushButton>(this, kReadButton),
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
            PutValues(this, {{kReadHex, texts.hex}, {kReadDec, texts.decimal}});
        });
}
