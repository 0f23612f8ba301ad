#include "tools/ToolDlg.h"

#include "guikit/CtrlUtil.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPushButton>

CToolDlg::CToolDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
}

void CToolDlg::WatchFocusLeave(std::initializer_list<int> ids) {
    for (int id : ids)
        if (QWidget* w = FindCtrl<QWidget>(this, id))
            w->installEventFilter(this);
}

bool CToolDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        if (const int id = CtrlIdOf(watched))
            OnFocusLeft(id);
    return QDialog::eventFilter(watched, event);
}

void CToolDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        else
            hide();
        return;
    }
    QDialog::keyPressEvent(event);
}
