#include "pages/CommParamPage.h"

#include "driver/Catalogue.h"
#include "driver/Format.h"
#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"
#include "pages/CanOpenList.h"
#include "pages/PageFields.h"

#include "ui_CommParamPage.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kBaud = 1155, kParity = 1156, kSlaveAddr = 1145, kNodeId = 1146;

// In the order a configure checks them. The RS-485 baud rate is shown as
// the combo item naming it, the slave address and node ID as "0x%02X".
constexpr SFieldCtrl kFields[] = {
    {kBaud, "comm-a.rs485_baud", kFieldDigits, EBind::Page},
    {kParity, "comm-a.rs485_parity"},
    {1058, "comm-a.no_configuration_under_comm_control"},
    {1057, "comm-a.comm_loss_brake_time"},
    {kSlaveAddr, "comm-b.rs485_slave_address", kFieldDigits, EBind::Page},
    {1157, "comm-b.rs485_default_params_under_port_control"},
    {1073, "canopen.communication_mode"},
    {kNodeId, "canopen.node_id", kFieldDigits, EBind::Page},
    {1003, "canopen.can_baud"},
    {1056, "canopen.canopen_autostart"},
    {1059, "canopen.heartbeat_period"},
};

// The register of a control's field.
uint16_t Reg(int ctrl) {
    return FieldAddr(BoundField(kFields, ctrl));
}

const std::string& ItemAt(const std::vector<std::string>& items, int index) {
    static const std::string none;
    return index >= 0 && index < static_cast<int>(items.size()) ? items[index] : none;
}

// An item's baud rate: the text read as a decimal integer.
uint32_t BaudOfItem(const std::string& text) {
    return static_cast<uint32_t>(ParseLeadingInt(text));
}

std::vector<std::string> ComboTexts(const QComboBox* combo) {
    std::vector<std::string> texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.push_back(combo->itemText(i).toStdString());
    return texts;
}

} // namespace

CtrlValues CommValuesFromBlocks(const SCommBlocks& blocks,
                                const std::vector<std::string>& baudItems) {
    CtrlValues values = ShowFields(kFields, false, blocks.a, blocks.b, blocks.c);
    int baudIndex = 0; // a rate no item names shows the first item
    for (size_t i = 0; i < baudItems.size(); ++i)
        if (BaudOfItem(baudItems[i]) == blocks.a.Get32(Reg(kBaud))) {
            baudIndex = static_cast<int>(i);
            break;
        }
    values[kBaud] = std::to_string(baudIndex);
    values[kSlaveAddr] = StrFormat("0x%02X", blocks.b.At(Reg(kSlaveAddr)));
    values[kNodeId] = StrFormat("0x%02X", blocks.c.At(Reg(kNodeId)));
    return values;
}

SInputProblem CommBlocksFromValues(const CtrlValues& values,
                                   const std::vector<std::string>& baudItems, SCommBlocks& out) {
    SCommBlocks s{}; // registers without a field stay 0
    const CPageRegs regs(s.a, s.b, s.c);
    auto own = [&](const SFieldCtrl& row, SInputProblem& problem) {
        const FieldDef& f = CatalogueField(row.field);
        const std::string& text = ValueOf(values, row.ctrl);
        if (row.ctrl == kBaud) {
            if (text == "-1") {
                problem = {kBaud, NotChosenText(f)};
                return false;
            }
            regs.Set32(f.addr, BaudOfItem(ItemAt(baudItems, ParseLeadingInt(text))));
            return true;
        }
        // A driver moved to address 0 (broadcast) or beyond 8 bits could no
        // longer be reached by any addressed request; node IDs are CiA 301's.
        const SRawRange range = FieldRawRange(f);
        int64_t v = 0;
        const bool isNumber = ParseStrictId(text, v);
        if (isNumber && v >= range.lo && v <= range.hi) {
            regs.At(f.addr) = ToReg16(v);
            return true;
        }
        if (row.ctrl == kSlaveAddr)
            problem = {kSlaveAddr, lang::translate("CCommParamPage", "从站地址无效，应为1~255")};
        else
            problem = {kNodeId, ValueProblemText(
                                    FieldLabelText(f), text,
                                    isNumber ? EValueProblem::OutOfRange : EValueProblem::NotNumber,
                                    StrFormat("%lld~%lld", static_cast<long long>(range.lo),
                                              static_cast<long long>(range.hi)))};
        return false;
    };
    const SInputProblem problem = TakeFields(values, kFields, false, regs, own);
    if (!problem.Has())
        out = s;
    return problem;
}

std::vector<int> CommValueIds() {
    return FieldIds(kFields);
}

std::string CommChangeNote(const SCommBlocks& before, const SCommBlocks& written, bool aWritten,
                           bool bWritten, const std::vector<std::string>& parityItems) {
    const uint16_t baud = Reg(kBaud), parityReg = Reg(kParity), slave = Reg(kSlaveAddr);
    std::string changes;
    if (aWritten && (before.a.Get32(baud) != written.a.Get32(baud) ||
                     before.a.At(parityReg) != written.a.At(parityReg))) {
        const uint16_t parity = written.a.At(parityReg);
        const std::string& name = ItemAt(parityItems, parity);
        changes += StrFormat(
            lang::translate("CCommParamPage", "485口已改为%u波特、%s").c_str(),
            written.a.Get32(baud),
            name.empty()
                ? StrFormat(lang::translate("CCommParamPage", "校验方式%u").c_str(), parity).c_str()
                : name.c_str());
    }
    if (bWritten && before.b.At(slave) != written.b.At(slave))
        changes += (changes.empty() ? std::string() : lang::translate("CCommParamPage", "，")) +
                   StrFormat(lang::translate("CCommParamPage", "从站地址已改为0x%02X").c_str(),
                             written.b.At(slave));
    return changes.empty() ? ""
                           : lang::translate("CCommParamPage", "驱动器") + changes +
                                 lang::translate("CCommParamPage", "，请相应修改连接设置");
}

CCommParamPage::CCommParamPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CCommParamPage) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] { m_ui->retranslateUi(this); });
    // The lower group, the CANopen object list, takes the room below the
    // parameters.
    m_ui->vBoxLayout1->insertWidget(1, new CCanOpenList(ctx, this), 1);
    LimitTypingOnly(this);
    FillLists(this, kFields);
    connect(m_ui->btnRead, &QPushButton::clicked, this, &CCommParamPage::OnRead);
    connect(m_ui->btnConfigure, &QPushButton::clicked, this, &CCommParamPage::OnConfigure);
}

CCommParamPage::~CCommParamPage() {
    delete m_ui;
}

namespace {
struct SCommRead {
    ResultCode rc = kResultOk;
    SCommBlocks s{};
};
struct SCommWrite {
    ResultCode rc = kResultOk;
    bool aWritten = false, bWritten = false;
};
} // namespace

void CCommParamPage::OnRead() {
    m_ctx.RunFrom(
        m_ui->btnRead,
        [&ctx = m_ctx, slave = m_ctx.m_nSlaveAddr.load()] {
            SCommRead r;
            CMotorDriver& drv = ctx.m_driver;
            r.rc = drv.ReadCommBlockA(slave, r.s.a);
            if (r.rc == kResultOk && !ctx.Stopping())
                r.rc = drv.ReadCommBlockB(slave, r.s.b);
            if (r.rc == kResultOk && !ctx.Stopping())
                r.rc = drv.ReadCanOpenBlock(slave, r.s.c);
            return r;
        },
        [this](const SCommRead& r) {
            if (r.rc != kResultOk) {
                ShowResult(this, r.rc);
                return;
            }
            m_known = r.s;
            PutValues(this, CommValuesFromBlocks(r.s, ComboTexts(m_ui->cmbBaud)));
            m_ui->btnConfigure->setEnabled(true);
        });
}

void CCommParamPage::OnConfigure() {
    SCommBlocks s{};
    if (RefuseInput(this, CommBlocksFromValues(TakeValues(this, CommValueIds()),
                                               ComboTexts(m_ui->cmbBaud), s)))
        return;
    m_ctx.RunFrom(
        m_ui->btnConfigure,
        [&ctx = m_ctx, slave = m_ctx.m_nSlaveAddr.load(), s] {
            SCommWrite w;
            CMotorDriver& drv = ctx.m_driver;
            w.rc = drv.WriteCommBlockA(slave, s.a);
            w.aWritten = w.rc == kResultOk;
            if (w.aWritten && !ctx.Stopping())
                w.rc = drv.WriteCommBlockB(slave, s.b);
            w.bWritten = w.aWritten && w.rc == kResultOk;
            if (w.bWritten && !ctx.Stopping())
                w.rc = drv.WriteCanOpenBlock(slave, s.c);
            return w;
        },
        [this, s](const SCommWrite& w) {
            // The tool keeps its own line settings and address: the note
            // tells the user why the driver may no longer answer at them.
            const std::string note =
                CommChangeNote(m_known, s, w.aWritten, w.bWritten, ComboTexts(m_ui->cmbParity));
            if (w.aWritten)
                m_known.a = s.a;
            if (w.bWritten)
                m_known.b = s.b;
            if (w.bWritten && w.rc == kResultOk)
                m_known.c = s.c;
            ShowMessage(this, ResultText(w.rc) + (note.empty() ? "" : "\n" + note));
        });
}
