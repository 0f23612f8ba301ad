#include "pages/SafetyPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"

#include "ui_SafetyPage.h"

#include <QPushButton>

namespace {

constexpr int kReadButton = 1143;
constexpr int kConfigureButton = 1144;

// One edit bound to one catalogue field; the scale and sign come from the
// catalogue, how many digits the page shows is the page's own rule.
struct SSafetyField {
    int ctrl;
    uint16_t reg;
    int shown; // decimals on screen
};
constexpr SSafetyField kFields[] = {
    {1135, 0x0100, 0}, // over-temperature shutdown
    {1136, 0x0101, 0}, // over-temperature current limit
    {1140, 0x0102, 1}, // over-voltage
    {1141, 0x0103, 1}, // under-voltage
    {1139, 0x0104, 1}, // over-current: hundredths, shown to 0.1
    {1142, 0x0105, 0}, // Hall error delay
    {1137, 0x010A, 4}, // temperature factor k
    {1138, 0x010B, 1}, // temperature offset b
    {1145, 0x010C, 4}, // voltage factor k
    {1146, 0x010D, 1}, // voltage offset b
};

// Check box ID and its 0/1 register.
struct SSafetyOption {
    int ctrl;
    uint16_t reg;
};
constexpr SSafetyOption kOptions[] = {
    {1056, 0x0106}, // current-loop PID dynamic adjustment
    {1057, 0x0108}, // clear the over-temperature alarm when cooled down
};

constexpr double kFactor[] = {1.0, 0.1, 0.01, 0.001, 0.0001};

} // namespace

CtrlValues SafetyValuesFromBlock(const SafetyBlock& b) {
    CtrlValues values;
    for (const SSafetyField& f : kFields) {
        const FieldDef& def = CatalogueField(f.reg);
        const int raw = FieldIsSigned(def) ? b.Signed(f.reg) : b.At(f.reg);
        values[f.ctrl] = def.decimals == 0
                             ? StrFormat("%d", raw)
                             : StrFormat("%.*f", f.shown, raw * kFactor[def.decimals]);
    }
    for (const SSafetyOption& o : kOptions)
        values[o.ctrl] = b.At(o.reg) ? "1" : "0";
    return values;
}

SInputProblem SafetyBlockFromValues(const CtrlValues& values, SafetyBlock& out) {
    SafetyBlock b{}; // 0x0107 and 0x0109 stay 0
    SInputProblem problem;
    for (const SSafetyField& f : kFields) {
        int64_t raw = 0;
        if (!TakeNumber(values, f.ctrl, FieldRule(CatalogueField(f.reg)), raw, problem))
            return problem;
        b.At(f.reg) = ToReg16(raw);
    }
    for (const SSafetyOption& o : kOptions)
        b.At(o.reg) = ValueOf(values, o.ctrl) == "1" ? 1 : 0;
    const std::vector<uint16_t> regs(b.m_reg.begin(), b.m_reg.end());
    if (SInputProblem order = PageOrderProblem(SafetyBlock::kStart, regs, kFields); order.Has())
        return order;
    out = b;
    return problem;
}

std::vector<int> SafetyValueIds() {
    std::vector<int> ids;
    for (const SSafetyField& f : kFields)
        ids.push_back(f.ctrl);
    for (const SSafetyOption& o : kOptions)
        ids.push_back(o.ctrl);
    return ids;
}

CSafetyPage::CSafetyPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CSafetyPage) {
    m_ui->setupUi(this);
    LimitTypingOnly(this);
    connect(FindCtrl<QPushButton>(this, kReadButton), &QPushButton::clicked, this,
            &CSafetyPage::OnRead);
    connect(FindCtrl<QPushButton>(this, kConfigureButton), &QPushButton::clicked, this,
            &CSafetyPage::OnConfigure);
}

CSafetyPage::~CSafetyPage() {
    delete m_ui;
}

void CSafetyPage::OnRead() {
    m_ctx.ReadBlock(this, FindCtrl<QPushButton>(this, kReadButton), &CMotorDriver::ReadSafetyBlock,
                    [this](const SafetyBlock& b) {
                        PutValues(this, SafetyValuesFromBlock(b));
                        FindCtrl<QPushButton>(this, kConfigureButton)->setEnabled(true);
                    });
}

void CSafetyPage::OnConfigure() {
    SafetyBlock block{};
    if (RefuseInput(this, SafetyBlockFromValues(TakeValues(this, SafetyValueIds()), block)))
        return;
    m_ctx.WriteBlock(this, FindCtrl<QPushButton>(this, kConfigureButton),
                     &CMotorDriver::WriteSafetyBlock, block);
}
