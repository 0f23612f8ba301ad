#include "tools/ObjDictDlg.h"

#include "driver/FieldInput.h"
#include "driver/Format.h"
#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"

#include "ui_ObjDictDlg.h"

#include <QComboBox>
#include <QPushButton>

#include <algorithm>
#include <cctype>

namespace {

// The edits the input check names, by control ID.
constexpr int kIndex = 1169, kSubIndex = 1048, kData = 1109, kDecimal = 1110;

// Data bits a command index carries: a read shows its data as 32 bits.
int WidthBits(int commandIndex) {
    return commandIndex >= 1 && commandIndex <= 3 ? 8 * commandIndex : 32;
}

int64_t SignExtend(uint32_t v, int bits) {
    const uint32_t sign = 1u << (bits - 1);
    const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    return static_cast<int64_t>((v & mask) ^ sign) - static_cast<int64_t>(sign);
}

} // namespace

uint8_t ObjDictCommand(int commandIndex) {
    const uint8_t download = SdoDownloadCommand(commandIndex);
    return download != 0 ? download : static_cast<uint8_t>(kSdoUpload);
}

std::string ObjIndexText(std::string_view text) {
    return StrFormat("%04X", static_cast<uint16_t>(ParseLeadingHex(text)));
}

uint8_t ObjSubIndex(std::string_view text) {
    const bool hex = std::any_of(text.begin(), text.end(), [](char c) {
        return std::tolower(static_cast<unsigned char>(c)) == 'x';
    });
    return static_cast<uint8_t>(hex ? ParseLeadingHex(text)
                                    : static_cast<uint32_t>(ParseLeadingInt64(text)));
}

std::string ObjDataToDecimal(std::string_view hex, int commandIndex) {
    return StrFormat(
        "%lld", static_cast<long long>(SignExtend(ParseLeadingHex(hex), WidthBits(commandIndex))));
}

std::string ObjDecimalToData(std::string_view decimal, int commandIndex) {
    const auto v = static_cast<uint32_t>(ParseLeadingInt64(decimal));
    switch (WidthBits(commandIndex)) {
    case 8:
        return StrFormat("%02X", v & 0xFF);
    case 16:
        return StrFormat("%04X", v & 0xFFFF);
    case 24:
        return StrFormat("%06X", v & 0xFFFFFF);
    default:
        return StrFormat("%08X", v);
    }
}

SObjDictRequest ObjDictRequest(int commandIndex, std::string_view indexText,
                               std::string_view subText, std::string_view dataText) {
    SObjDictRequest req;
    req.command = ObjDictCommand(commandIndex);
    req.index = static_cast<uint16_t>(ParseLeadingHex(indexText));
    req.subindex = ObjSubIndex(subText);
    req.data = req.command == kSdoUpload ? 0 : ParseLeadingHex(dataText);
    return req;
}

SInputProblem ObjDictProblem(const CtrlValues& values, int commandIndex) {
    const std::string& index = ValueOf(values, kIndex);
    uint32_t v = 0;
    bool ok = ParseStrictHex(index, v);
    if (!ok || v > 0xFFFF)
        return {kIndex, ValueProblemText(lang::translate("CObjDictDlg", "索引"), index,
                                         ok ? EValueProblem::OutOfRange : EValueProblem::NotHex,
                                         "0000~FFFF")};
    const std::string& sub = ValueOf(values, kSubIndex);
    const bool hex = sub.find_first_of("xX") != std::string::npos;
    int64_t s = 0;
    ok = hex ? ParseStrictHex(sub, v) : ParseStrictInt(sub, s);
    if (hex)
        s = v;
    if (!ok || s < 0 || s > 255)
        return {kSubIndex, ValueProblemText(
                               lang::translate("CObjDictDlg", "子索引"), sub,
                               ok ? EValueProblem::OutOfRange : EValueProblem::NotNumber, "0~255")};
    if (ObjDictCommand(commandIndex) == kSdoUpload)
        return {};
    const int bits = WidthBits(commandIndex);
    const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    const std::string& data = ValueOf(values, kData);
    ok = ParseStrictHex(data, v);
    if (!ok || v > mask)
        return {kData, ValueProblemText(lang::translate("CObjDictDlg", "数据"), data,
                                        ok ? EValueProblem::OutOfRange : EValueProblem::NotHex,
                                        StrFormat("0~%X", mask))};
    const std::string& dec = ValueOf(values, kDecimal);
    if (dec == ObjDataToDecimal(data, commandIndex))
        return {};
    // Either reading of the data's bits, signed or not.
    const int64_t lo = -(int64_t{1} << (bits - 1)), hi = int64_t{mask};
    ok = ParseStrictInt(dec, s);
    if (ok && s >= lo && s <= hi)
        return {};
    return {kDecimal, ValueProblemText(lang::translate("CObjDictDlg", "十进制"), dec,
                                       ok ? EValueProblem::OutOfRange : EValueProblem::NotInteger,
                                       StrFormat("%lld~%lld", static_cast<long long>(lo),
                                                 static_cast<long long>(hi)))};
}

std::string SdoFrameText(uint8_t command, uint16_t index, uint8_t subindex, uint32_t data) {
    return StrFormat("%02X %02X %02X %02X %02X %02X %02X %02X", command, index & 0xFF, index >> 8,
                     subindex, data & 0xFF, (data >> 8) & 0xFF, (data >> 16) & 0xFF, data >> 24);
}

bool DecodeSdoReply(const SdoReply& r, std::string& text) {
    const unsigned i = r.index, s = r.subindex & 0xFF;
    const uint32_t d = r.data;
    // All 16 bits are compared: a command with a high byte is none of these.
    switch (r.command) {
    case kSdoUploadAns1:
        text = StrFormat(
            lang::translate("CObjDictDlg", "索引号:0x%04X 子索引:%u \r\n上传单字节数据：0x%02X(%d)")
                .c_str(),
            i, s, d & 0xFF, static_cast<int>(static_cast<int8_t>(d & 0xFF)));
        return true;
    case kSdoUploadAns2:
        text = StrFormat(
            lang::translate("CObjDictDlg", "索引号:0x%04X 子索引:%u \r\n上传双字节数据：0x%04X(%d)")
                .c_str(),
            i, s, d & 0xFFFF, static_cast<int>(static_cast<int16_t>(d & 0xFFFF)));
        return true;
    case kSdoUploadAns3:
        text = StrFormat(
            lang::translate("CObjDictDlg", "索引号:0x%04X 子索引:%u \r\n上传三字节数据：0x%06X(%u)")
                .c_str(),
            i, s, d & 0xFFFFFF, d & 0xFFFFFF);
        return true;
    case kSdoUploadAns4:
        text = StrFormat(
            lang::translate("CObjDictDlg", "索引号:0x%04X 子索引:%u \r\n上传四字节数据：0x%08X(%d)")
                .c_str(),
            i, s, d, static_cast<int32_t>(d));
        return true;
    case kSdoDownloadAck:
        text = StrFormat(lang::translate("CObjDictDlg", "索引:0x%04X 子索引:%u 写入成功").c_str(),
                         i, s);
        return true;
    case kSdoAbort:
        text = StrFormat(
            lang::translate("CObjDictDlg", "索引号:0x%04X 子索引:%u \r\n传送中断：%s").c_str(), i,
            s, SdoAbortText(d).c_str());
        return true;
    default:
        return false;
    }
}

// --- Window ---------------------------------------------------------------------

CObjDictDlg::CObjDictDlg(CDriverContext& ctx, QWidget* parent)
    : CToolDlg(parent), m_ctx(ctx), m_ui(new Ui::CObjDictDlg) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] {
        m_ui->retranslateUi(this);
        ShowDecoded();
    });
    LimitTypingOnly(this);
    adjustSize(); // its final size from the start, for centring before the first showing
    connect(m_ui->cmbCommand, &QComboBox::currentIndexChanged, this,
            &CObjDictDlg::OnCommandChanged);
    connect(m_ui->btnOperate, &QPushButton::clicked, this, &CObjDictDlg::OnOperate);
    WatchFocusLeave({m_ui->edtIndex, m_ui->edtSubIndex, m_ui->edtData, m_ui->edtDecimal});
    OnCommandChanged();
}

CObjDictDlg::~CObjDictDlg() {
    delete m_ui;
}

int CObjDictDlg::CommandIndex() const {
    return m_ui->cmbCommand->currentIndex();
}

void CObjDictDlg::OnCommandChanged() {
    const bool write = CommandIndex() > 0;
    m_ui->edtData->setEnabled(write);
    m_ui->edtDecimal->setEnabled(write);
}

void CObjDictDlg::OnFocusLeft(QWidget* ctrl) {
    if (ctrl == m_ui->edtIndex)
        SetCtrlValue(ctrl, ObjIndexText(CtrlValue(ctrl)));
    else if (ctrl == m_ui->edtSubIndex)
        SetCtrlValue(ctrl, std::to_string(ObjSubIndex(CtrlValue(ctrl))));
    else if (ctrl == m_ui->edtData) // the typed text stays as it is
        SetCtrlValue(m_ui->edtDecimal, ObjDataToDecimal(CtrlValue(ctrl), CommandIndex()));
    else if (ctrl == m_ui->edtDecimal)
        SetCtrlValue(m_ui->edtData, ObjDecimalToData(CtrlValue(ctrl), CommandIndex()));
}

void CObjDictDlg::OnOperate() {
    if (RefuseInput(this, ObjDictProblem(TakeValues(this, {kIndex, kSubIndex, kData, kDecimal}),
                                         CommandIndex())))
        return;
    const SObjDictRequest req =
        ObjDictRequest(CommandIndex(), CtrlValue(m_ui->edtIndex), CtrlValue(m_ui->edtSubIndex),
                       CtrlValue(m_ui->edtData));
    SetCtrlValue(m_ui->edtSent, SdoFrameText(req.command, req.index, req.subindex, req.data));
    m_ctx.RunFrom(
        m_ui->btnOperate,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), req] {
            SdoReply reply;
            const ResultCode rc =
                drv.SdoAccess(slave, req.command, req.index, req.subindex, req.data, reply);
            return std::pair{rc, reply};
        },
        [this](const std::pair<ResultCode, SdoReply>& r) {
            const SdoReply& reply = r.second;
            if (r.first != kResultOk) {
                ShowResult(this, r.first);
                SetCtrlValue(m_ui->edtSent, "");
                SetCtrlValue(m_ui->edtAnswer, "");
                SetCtrlValue(m_ui->lblDecoded, "");
                m_lastReply.reset();
                return;
            }
            SetCtrlValue(m_ui->edtAnswer,
                         SdoFrameText(static_cast<uint8_t>(reply.command & 0xFF), reply.index,
                                      static_cast<uint8_t>(reply.subindex & 0xFF), reply.data));
            m_lastReply = reply;
            ShowDecoded();
        });
}

void CObjDictDlg::ShowDecoded() {
    std::string decoded;
    if (m_lastReply && DecodeSdoReply(*m_lastReply, decoded)) {
        // Two lines joined by CR LF; a Qt label wants LF alone.
        QString shown = QString::fromStdString(decoded);
        shown.replace("\r\n", "\n");
        m_ui->lblDecoded->setText(shown);
    }
}
