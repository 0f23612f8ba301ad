#include "pages/PidPage.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"

#include "ui_PidPage.h"

#include <QPushButton>

namespace {

constexpr int kReadButton = 1064;
constexpr int kConfigureButton = 1065;

// Edit ID and first register of each gain, in block order (self-locking,
// speed, position; Kp, Ki, Kd each).
struct SPidField {
    int ctrl;
    uint16_t reg;
};
constexpr SPidField kFields[] = {
    {1057, 0x00BA}, {1061, 0x00BC}, {1062, 0x00BE}, // self-locking
    {1052, 0x00C0}, {1053, 0x00C2}, {1054, 0x00C4}, // speed
    {1056, 0x00C6}, {1059, 0x00C8}, {1060, 0x00CA}, // position
};

} // namespace

CtrlValues PidValuesFromBlock(const PidBlock& b) {
    CtrlValues values;
    for (const SPidField& f : kFields)
        values[f.ctrl] = StrFormat("%g", static_cast<double>(b.GetFloat(f.reg)));
    return values;
}

SInputProblem PidBlockFromValues(const CtrlValues& values, PidBlock& out) {
    PidBlock b{};
    SInputProblem problem;
    for (const SPidField& f : kFields) {
        float gain = 0;
        if (!TakeFloat(values, f.ctrl, FieldLabelText(CatalogueField(f.reg)), gain, problem))
            return problem;
        b.SetFloat(f.reg, gain);
    }
    out = b;
    return problem;
}

std::vector<int> PidValueIds() {
    std::vector<int> ids;
    for (const SPidField& f : kFields)
        ids.push_back(f.ctrl);
    return ids;
}

CPidPage::CPidPage(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CPidPage) {
    m_ui->setupUi(this);
    LimitTypingOnly(this);
    connect(FindCtrl<QPushButton>(this, kReadButton), &QPushButton::clicked, this,
            &CPidPage::OnRead);
    connect(FindCtrl<QPushButton>(this, kConfigureButton), &QPushButton::clicked, this,
            &CPidPage::OnConfigure);
}

CPidPage::~CPidPage() {
    delete m_ui;
}

void CPidPage::OnRead() {
    m_ctx.ReadBlock(this, FindCtrl<QPushButton>(this, kReadButton), &CMotorDriver::ReadPidBlock,
                    [this](const PidBlock& b) {
                        PutValues(this, PidValuesFromBlock(b));
                        FindCtrl<QPushButton>(this, kConfigureButton)->setEnabled(true);
                    });
}

void CPidPage::OnConfigure() {
    PidBlock block{};
    if (RefuseInput(this, PidBlockFromValues(TakeValues(this, PidValueIds()), block)))
        return;
    m_ctx.WriteBlock(this, FindCtrl<QPushButton>(this, kConfigureButton),
                     &CMotorDriver::WritePidBlock, block);
}
