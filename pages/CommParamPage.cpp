#include "pages/CommParamPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"
#include "pages/CanOpenList.h"
#include "pages/PageFields.h"

#include "ui_CommParamPage.h"

#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>

namespace {

constexpr int kReadButton = 1158;
constexpr int kConfigureButton = 1159;

constexpr int kBaud = 1155;              // 0x0090 (high word) and 0x0091
constexpr int kParity = 1156;            // 0x0092, index
constexpr int kNoConfigUnderComm = 1058; // 0x0094, bit 0
constexpr int kBrakeTime = 1057;         // 0x0095, tenths of a second
constexpr int kSlaveAddr = 1145;         // 0x009C
constexpr int kPortDefaults = 1157;      // 0x009D, ticked when 0
constexpr int kCommMode = 1073;          // 0x0120, bit 0
constexpr int kNodeId = 1146;            // 0x0121
constexpr int kCanBaud = 1003;           // 0x0122, index
constexpr int kAutoStart = 1056;         // 0x0128
constexpr int kHeartbeat = 1059;         // 0x0129, ms

constexpr uint16_t kRegBaud = 0x0090;
constexpr uint16_t kRegParity = 0x0092;

constexpr SListCtrl kLists[] = {
    {kBaud, kRegBaud}, {kParity, kRegParity}, {kCommMode, 0x0120}, {kCanBaud, 0x0122}};

const std::string& ItemAt(const std::vector<std::string>& items, int index) {
    static const std::string none;
    return index >= 0 && index < static_cast<int>(items.size()) ? items[index] : none;
}

// An item's baud rate: the text read as a decimal integer.
uint32_t BaudOfItem(const std::string& text) {
    return static_cast<uint32_t>(ParseLeadingInt(text));
}

std::vector<std::string> ComboTexts(const QWidget* page, int id) {
    std::vector<std::string> texts;
    if (const auto* combo = FindCtrl<QComboBox>(page, id))
        for (int i = 0; i < combo->count(); ++i)
            texts.push_back(combo->itemText(i).toStdString());
    return texts;
}

} // namespace

CtrlValues CommValuesFromBlocks(const SCommBlocks& blocks,
                                const std::vector<std::string>& baudItems) {
    const CommBlockA& a = blocks.a;
    const CommBlockB& b = blocks.b;
    const CanOpenBlock& c = blocks.c;
    int baudIndex = 0; // a rate no item names shows the first item
    for (size_t i = 0; i < baudItems.size(); ++i)
        if (BaudOfItem(baudItems[i]) == a.Get32(kRegBaud)) {
            baudIndex = static_cast<int>(i);
            break;
        }
    return {
        {kBaud, std::to_string(baudIndex)},
        {kParity, std::to_string(a.At(kRegParity))},
        {kNoConfigUnderComm, (a.At(0x0094) & 1) ? "1" : "0"},
        {kBrakeTime, ScaledText(0x0095, a.At(0x0095))},
        {kSlaveAddr, StrFormat("0x%02X", b.At(0x009C))},
        {kPortDefaults, b.At(0x009D) == 0 ? "1" : "0"},
        {kCommMode, std::to_string(c.At(0x0120) & 1)},
        {kNodeId, StrFormat("0x%02X", c.At(0x0121))},
        {kCanBaud, std::to_string(c.At(0x0122))},
        {kAutoStart, c.At(0x0128) != 0 ? "1" : "0"},
        {kHeartbeat, StrFormat("%d", c.At(0x0129))},
    };
}

SInputProblem CommBlocksFromValues(const CtrlValues& values,
                                   const std::vector<std::string>& baudItems, SCommBlocks& out) {
    auto ticked = [&](int id) -> uint16_t { return ValueOf(values, id) == "1" ? 1 : 0; };
    SCommBlocks s{}; // 0x0093 and 0x0123..0x0127 stay 0
    SInputProblem problem;
    int64_t v = 0;
    auto list = [&](int id, uint16_t reg, auto& blk) {
        if (!TakeListIndex(values, id, CatalogueField(reg), v, problem))
            return false;
        blk.At(reg) = ToReg16(v);
        return true;
    };
    const std::string& baud = ValueOf(values, kBaud);
    if (baud == "-1")
        return {kBaud, FieldLabelText(CatalogueField(kRegBaud)) + ": 未选择"};
    s.a.Set32(kRegBaud, BaudOfItem(ItemAt(baudItems, ParseLeadingInt(baud))));
    if (!list(kParity, kRegParity, s.a))
        return problem;
    s.a.At(0x0094) = ticked(kNoConfigUnderComm);
    if (!TakeNumber(values, kBrakeTime, FieldRule(CatalogueField(0x0095)), v, problem))
        return problem;
    s.a.At(0x0095) = ToReg16(v);
    // A driver moved to address 0 (broadcast) or beyond 8 bits could no
    // longer be reached by any addressed request.
    const SRawRange slaves = FieldRawRange(CatalogueField(0x009C));
    if (!ParseStrictId(ValueOf(values, kSlaveAddr), v) || v < slaves.lo || v > slaves.hi)
        return {kSlaveAddr, "从站地址无效，应为1~255"};
    s.b.At(0x009C) = ToReg16(v);
    s.b.At(0x009D) = ticked(kPortDefaults) ? 0 : 1;
    if (!list(kCommMode, 0x0120, s.c))
        return problem;
    const FieldDef& node = CatalogueField(0x0121);
    const SRawRange nodes = FieldRawRange(node);
    const std::string& nodeText = ValueOf(values, kNodeId);
    const bool isNumber = ParseStrictId(nodeText, v);
    if (!isNumber || v < nodes.lo || v > nodes.hi)
        return {kNodeId,
                StrFormat("%s: %s %s (%lld~%lld)", FieldLabelText(node).c_str(), nodeText.c_str(),
                          isNumber ? "超出范围" : "不是数字", static_cast<long long>(nodes.lo),
                          static_cast<long long>(nodes.hi))};
    s.c.At(0x0121) = ToReg16(v);
    if (!list(kCanBaud, 0x0122, s.c))
        return problem;
    s.c.At(0x0128) = ticked(kAutoStart);
    if (!TakeNumber(values, kHeartbeat, FieldRule(CatalogueField(0x0129)), v, problem))
        return problem;
    s.c.At(0x0129) = ToReg16(v);
    out = s;
    return problem;
}

std::vector<int> CommValueIds() {
    return {kBaud,     kParity, kNoConfigUnderComm, kBrakeTime, kSlaveAddr, kPortDefaults,
            kCommMode, kNodeId, kCanBaud,           kAutoStart, kHeartbeat};
}

std::string CommChangeNote(const SCommBlocks& before, const SCommBlocks& written, bool aWritten,
                           bool bWritten, const std::vector<std::string>& parityItems) {
    std::string changes;
    if (aWritten && (before.a.Get32(kRegBaud) != written.a.Get32(kRegBaud) ||
                     before.a.At(kRegParity) != written.a.At(kRegParity))) {
        const uint16_t parity = written.a.At(kRegParity);
        const std::string& name = ItemAt(parityItems, parity);
        changes += StrFormat("485口已改为%u波特、%s", written.a.Get32(kRegBaud),
                             name.empty() ? StrFormat("校验方式%u", parity).c_str() : name.c_str());
    }
    if (bWritten && before.b.At(0x009C) != written.b.At(0x009C))
        changes +=
            (changes.empty() ? "" : "，") + StrFormat("从站地址已改为0x%02X", written.b.At(0x009C));
    return changes.empty() ? "" : "驱动器" + changes + "，请相应修改连接设置";
}

CCommParamPage::CCommParamPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CCommParamPage) {
    m_ui->setupUi(this);
    // The lower group, the CANopen object list, takes the room below the
    // parameters.
    m_ui->vBoxLayout1->insertWidget(1, new CCanOpenList(ctx, this), 1);
    LimitTypingOnly(this);
    FillLists(this, kLists);
    connect(FindCtrl<QPushButton>(this, kReadButton), &QPushButton::clicked, this,
            &CCommParamPage::OnRead);
    connect(FindCtrl<QPushButton>(this, kConfigureButton), &QPushButton::clicked, this,
            &CCommParamPage::OnConfigure);
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
        FindCtrl<QPushButton>(this, kReadButton),
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
            PutValues(this, CommValuesFromBlocks(r.s, ComboTexts(this, kBaud)));
            FindCtrl<QPushButton>(this, kConfigureButton)->setEnabled(true);
        });
}

void CCommParamPage::OnConfigure() {
    SCommBlocks s{};
    if (RefuseInput(this, CommBlocksFromValues(TakeValues(this, CommValueIds()),
                                               ComboTexts(this, kBaud), s)))
        return;
    m_ctx.RunFrom(
        FindCtrl<QPushButton>(this, kConfigureButton),
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
                CommChangeNote(m_known, s, w.aWritten, w.bWritten, ComboTexts(this, kParity));
            if (w.aWritten)
                m_known.a = s.a;
            if (w.bWritten)
                m_known.b = s.b;
            if (w.bWritten && w.rc == kResultOk)
                m_known.c = s.c;
            ShowMessage(this, ResultText(w.rc) + (note.empty() ? "" : "\n" + note));
        });
}
