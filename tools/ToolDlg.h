#pragma once
// What the tool windows and the CANopen editors share: they are modeless, made once by the main
// window and only hidden when closed (close box, Esc or Enter), so their
// texts survive until the next showing. Their edits convert what was typed
// when the focus leaves them.

#include <QDialog>

#include <initializer_list>

class CToolDlg : public QDialog {
    Q_OBJECT
public:
    explicit CToolDlg(QWidget* parent = nullptr);

protected:
    // OnFocusLeft(ctrl) runs whenever one of these controls loses the focus,
    // changed or not, except to a popup of its own (its context menu).
    void WatchFocusLeave(std::initializer_list<QWidget*> ctrls);
    virtual void OnFocusLeft(QWidget* /*ctrl*/) {}

    bool eventFilter(QObject* watched, QEvent* event) override;
    // Enter presses a button that has the focus and otherwise hides the
    // window; no button is the default, so Enter never sends anything by
    // itself.
    void keyPressEvent(QKeyEvent* event) override;
};
