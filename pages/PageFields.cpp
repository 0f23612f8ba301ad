#include "pages/PageFields.h"

#include "guikit/CtrlUtil.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"

void FillLists(QWidget* page, const SListCtrl* lists, size_t count) {
    for (size_t i = 0; i < count; ++i)
        FillComboFromField(page, lists[i].ctrl, lists[i].addr);
}

void FillLists(QWidget* page, const SFieldCtrl* rows, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (const FieldDef& f = CatalogueField(rows[i].field); f.itemCount > 0)
            FillComboFromField(page, rows[i].ctrl, f.addr);
}

std::string ScaledText(uint16_t addr, uint16_t raw) {
    static constexpr double kFactor[] = {1.0, 0.1, 0.01, 0.001, 0.0001};
    const FieldDef& f = CatalogueField(addr);
    const int value = FieldIsSigned(f) ? static_cast<int16_t>(raw) : raw;
    return StrFormat("%.*f", f.decimals, value * kFactor[f.decimals]);
}
