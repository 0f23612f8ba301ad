#include "pages/PageLists.h"

#include "app/CtrlUtil.h"

#include <QComboBox>

std::vector<std::string> ListItems(uint16_t addr) {
    (void)addr; // the block catalogue answers this
    return {};
}

void FillLists(QWidget* page, const SListCtrl* lists, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        auto* combo = FindCtrl<QComboBox>(page, lists[i].ctrl);
        if (!combo)
            continue;
        combo->clear();
        for (const std::string& item : ListItems(lists[i].addr))
            combo->addItem(QString::fromStdString(item));
        combo->setCurrentIndex(-1);
    }
}
