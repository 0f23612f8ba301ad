#include "pages/SysParamPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"
#include "pages/PageFields.h"

#include "ui_SysParamPage.h"

#include <QComboBox>
#include <QPushButton>

namespace {

constexpr int kReadButton = 1066;
constexpr int kConfigureButton = 1072;
constexpr int kAnalogType = 1069, kLogicLevel = 1070;
constexpr int kAnalogLow = 1106, kAnalogHigh = 1107, kLogicThreshold = 1108;

constexpr SListCtrl kLists[] = {
    {1067, 0x0080}, // limit trigger polarity
    {1068, 0x0081}, // digital signal polarity
    {1074, 0x0082}, // potentiometer use
    {1073, 0x0083}, // pulse signal type
    {1069, 0x0084}, // analog signal type
    {1070, 0x0085}, // logic level type
    {1075, 0x009A}, // port input type
    {1076, 0x009B}, // port control type
};

// An edit and its register: fixed point as the catalogue scales it (all
// digits shown), or single precision shown "%f".
struct SSysField {
    int ctrl;
    uint16_t addr;
    bool isFloat;
};
constexpr SSysField kFields[] = {
    {1112, 0x0086, false}, // potentiometer range, low end, thousandths
    {1113, 0x0087, false}, // potentiometer range, high end
    {1106, 0x0088, false}, // analog range, low end
    {1107, 0x0089, false}, // analog range, high end
    {1108, 0x008A, false}, // logic level threshold
    {1114, 0x008B, false}, // voltage comparison dead band
    {1109, 0x008C, true},  // pulse ratio
    {1048, 0x008E, false}, // stall stop time, tenths
    {1110, 0x0096, true},  // analog adjustment k
    {1111, 0x0098, false}, // analog adjustment b, signed thousandths
};
constexpr int kBuzzerOff = 1120; // bit 0 of 0x0099
constexpr uint16_t kRegBuzzerOff = 0x0099;

// Both blocks as one register map, so the tables above need not say which
// block a register is in.
struct SSysImage {
    SystemBlockA a;
    SystemBlockB b;
    uint16_t& At(uint16_t addr) { return SystemBlockA::Holds(addr) ? a.At(addr) : b.At(addr); }
    uint16_t At(uint16_t addr) const { return SystemBlockA::Holds(addr) ? a.At(addr) : b.At(addr); }
    float GetFloat(uint16_t addr) const {
        return SystemBlockA::Holds(addr) ? a.GetFloat(addr) : b.GetFloat(addr);
    }
    void SetFloat(uint16_t addr, float f) {
        if (SystemBlockA::Holds(addr))
            a.SetFloat(addr, f);
        else
            b.SetFloat(addr, f);
    }
};

} // namespace

CtrlValues SysValuesFromBlocks(const SystemBlockA& a, const SystemBlockB& b) {
    const SSysImage img{a, b};
    CtrlValues values;
    for (const SListCtrl& l : kLists)
        values[l.ctrl] = std::to_string(img.At(l.addr));
    for (const SSysField& f : kFields)
        values[f.ctrl] = f.isFloat ? StrFormat("%f", static_cast<double>(img.GetFloat(f.addr)))
                                   : ScaledText(f.addr, img.At(f.addr));
    values[kBuzzerOff] = (img.At(kRegBuzzerOff) & 1) ? "1" : "0";
    return values;
}

SInputProblem SysBlocksFromValues(const CtrlValues& values, SystemBlockA& outA,
                                  SystemBlockB& outB) {
    SSysImage img{}; // 0x008F stays 0
    SInputProblem problem;
    for (const SListCtrl& l : kLists) {
        int64_t index = 0;
        if (!TakeListIndex(values, l.ctrl, CatalogueField(l.addr), index, problem))
            return problem;
        img.At(l.addr) = ToReg16(index);
    }
    for (const SSysField& f : kFields) {
        const FieldDef& def = CatalogueField(f.addr);
        if (f.isFloat) {
            float v = 0;
            if (!TakeFloat(values, f.ctrl, FieldLabelText(def), v, problem))
                return problem;
            img.SetFloat(f.addr, v);
        } else {
            int64_t raw = 0;
            if (!TakeNumber(values, f.ctrl, FieldRule(def), raw, problem))
                return problem;
            img.At(f.addr) = ToReg16(raw);
        }
    }
    img.At(kRegBuzzerOff) = ValueOf(values, kBuzzerOff) == "1" ? 1 : 0;
    outA = img.a;
    outB = img.b;
    return problem;
}

std::vector<int> SysValueIds() {
    std::vector<int> ids;
    for (const SListCtrl& l : kLists)
        ids.push_back(l.ctrl);
    for (const SSysField& f : kFields)
        ids.push_back(f.ctrl);
    ids.push_back(kBuzzerOff);
    return ids;
}

CtrlValues AnalogRangeDefaults(int analogType) {
    // Single-ended 0-10 V, differential 0-3.3 V, two single-ended inputs
    // independent 0-10 V or cooperating 0-5 V.
    static const char* const kHigh[] = {"10.000", "3.300", "10.000", "5.000"};
    if (analogType < 0 || analogType >= 4)
        return {};
    return {{kAnalogLow, "0.000"}, {kAnalogHigh, kHigh[analogType]}};
}

CtrlValues LogicThresholdDefault(int logicLevel) {
    // Switch contact, 0/3.3 V, 0/5 V, 0/12 V or 0/24 V.
    static const char* const kThreshold[] = {"2.000", "2.000", "3.000", "5.000"};
    if (logicLevel < 0 || logicLevel >= 4)
        return {};
    return {{kLogicThreshold, kThreshold[logicLevel]}};
}

CSysParamPage::CSysParamPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CSysParamPage) {
    m_ui->setupUi(this);
    LimitTypingOnly(this);
    FillLists(this, kLists);
    connect(FindCtrl<QPushButton>(this, kReadButton), &QPushButton::clicked, this,
            &CSysParamPage::OnRead);
    connect(FindCtrl<QPushButton>(this, kConfigureButton), &QPushButton::clicked, this,
            &CSysParamPage::OnConfigure);
    // Only the user's choice puts defaults in (a read sets the lists too);
    // every other edit keeps what was typed.
    connect(FindCtrl<QComboBox>(this, kAnalogType), &QComboBox::activated, this,
            [this](int index) { PutValues(this, AnalogRangeDefaults(index)); });
    connect(FindCtrl<QComboBox>(this, kLogicLevel), &QComboBox::activated, this,
            [this](int index) { PutValues(this, LogicThresholdDefault(index)); });
}

CSysParamPage::~CSysParamPage() {
    delete m_ui;
}

namespace {
struct SSysRead {
    ResultCode rc = kResultOk;
    SystemBlockA a{};
    SystemBlockB b{};
};
} // namespace

void CSysParamPage::OnRead() {
    m_ctx.RunFrom(
        FindCtrl<QPushButton>(this, kReadButton),
        [&ctx = m_ctx, slave = m_ctx.m_nSlaveAddr.load()] {
            SSysRead r;
            r.rc = ctx.m_driver.ReadSystemBlockA(slave, r.a);
            if (r.rc == kResultOk && !ctx.Stopping())
                r.rc = ctx.m_driver.ReadSystemBlockB(slave, r.b);
            return r;
        },
        [this](const SSysRead& r) {
            if (r.rc != kResultOk) {
                ShowResult(this, r.rc); // nothing changes unless both blocks arrived
                return;
            }
            PutValues(this, SysValuesFromBlocks(r.a, r.b));
            FindCtrl<QPushButton>(this, kConfigureButton)->setEnabled(true);
        });
}

void CSysParamPage::OnConfigure() {
    SystemBlockA a{};
    SystemBlockB b{};
    if (RefuseInput(this, SysBlocksFromValues(TakeValues(this, SysValueIds()), a, b)))
        return;
    m_ctx.RunFrom(
        FindCtrl<QPushButton>(this, kConfigureButton),
        [&ctx = m_ctx, slave = m_ctx.m_nSlaveAddr.load(), a, b] {
            ResultCode rc = ctx.m_driver.WriteSystemBlockA(slave, a);
            if (rc == kResultOk && !ctx.Stopping())
                rc = ctx.m_driver.WriteSystemBlockB(slave, b);
            return rc;
        },
        [this](ResultCode rc) { ShowResult(this, rc); });
}
