#include "pages/PageFields.h"

#include "driver/Catalogue.h"
#include "guikit/CtrlUtil.h"

void FillLists(QWidget* page, const SFieldCtrl* rows, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (const FieldDef& f = CatalogueField(rows[i].field); f.itemCount > 0)
            FillComboFromField(page, rows[i].ctrl, f.addr);
}
