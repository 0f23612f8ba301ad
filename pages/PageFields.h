#pragma once
// What the pages take from the driver's block catalogue: the items of their
// selection lists (never from the layouts) and the scale of their fixed-point
// fields, so a list text or a scale lives in one place. How many digits a
// page shows stays with the page.

#include "desklogic/PageLogic.h"

#include <cstdint>
#include <string>
#include <string_view>

class QWidget;

// A combo and the list register it shows.
struct SListCtrl {
    int ctrl;
    uint16_t addr;
};
// Fills each combo with its field's items, leaving it without a selection.
void FillLists(QWidget* page, const SListCtrl* lists, size_t count);
template <size_t N> void FillLists(QWidget* page, const SListCtrl (&lists)[N]) {
    FillLists(page, lists, N);
}
// The same for a page's table (desklogic/PageLogic.h): the combo of every row
// whose field has list texts.
void FillLists(QWidget* page, const SFieldCtrl* rows, size_t count);
template <size_t N> void FillLists(QWidget* page, const SFieldCtrl (&rows)[N]) {
    FillLists(page, rows, N);
}

// A fixed-point register as "%.*f" with as many digits as the field has
// decimals (signed where the field is); 16-bit fields only.
std::string ScaledText(uint16_t addr, uint16_t raw);
