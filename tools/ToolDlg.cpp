#include "tools/ToolDlg.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPushButton>

CToolDlg::CToolDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
}

void CToolDlg::WatchFocusLeave(std::initializer_list<QWidget*> ctrls) {
    for (QWidget* w : ctrls)
        w->installEventFilter(this);
}

bool CToolDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        if (auto* w = qobject_cast<QWidget*>(watched))
            OnFocusLeft(w);
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
