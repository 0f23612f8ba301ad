#pragma once
// Selection lists of the pages: their items come from the driver's block
// catalogue, never from the layouts, so a list text lives in one place.

#include <cstdint>
#include <string>
#include <vector>

class QWidget;

// The items of the list field at this register (empty when it has none).
std::vector<std::string> ListItems(uint16_t addr);

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
