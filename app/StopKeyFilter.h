#pragma once
// The F12 stop, for the whole application.

#include "app/MainDlg.h"

#include <QApplication>
#include <QKeyEvent>

// F12 is watched for the whole application, not as a window shortcut: a
// modal dialog or message box would block that one.
class CStopKeyFilter : public QObject {
public:
    explicit CStopKeyFilter(CMainDlg* dlg) : m_dlg(dlg) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F12 || key->modifiers() != Qt::NoModifier)
            return false;
        if (!key->isAutoRepeat())
            m_dlg->OnStopMotor();
        return true; // taken here, not passed on to the parents
    }

private:
    CMainDlg* m_dlg;
};
