#pragma once
// The selection lists of a page's table (desklogic/PageLogic.h) filled from
// the catalogue, never from the layouts, so a list text lives in one place.

#include "desklogic/PageLogic.h"

#include <cstddef>

class QWidget;

// Fills the combo of every row whose field has list texts with them, leaving
// it without a selection.
void FillLists(QWidget* page, const SFieldCtrl* rows, size_t count);
template <size_t N> void FillLists(QWidget* page, const SFieldCtrl (&rows)[N]) {
    FillLists(page, rows, N);
}
