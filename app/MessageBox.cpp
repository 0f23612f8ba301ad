#include "app/MessageBox.h"

#include "app/GuiThread.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <mutex>

namespace {

std::mutex g_handlerLock;
MessageHandler g_handler;

bool ShowOnGui(QWidget* owner, const SMessageRequest& req) {
    MessageHandler handler;
    {
        std::lock_guard lk(g_handlerLock);
        handler = g_handler;
    }
    if (handler)
        return handler(req);
    // Button texts of our own: the UI is Chinese whatever Qt translations
    // are installed.
    QMessageBox box(req.question ? QMessageBox::Question : QMessageBox::Information,
                    QString::fromStdString(req.caption), QString::fromStdString(req.text),
                    QMessageBox::NoButton, owner);
    if (!req.question) {
        box.addButton("确定", QMessageBox::AcceptRole);
        box.exec();
        return true;
    }
    QPushButton* yes = box.addButton("是(&Y)", QMessageBox::YesRole);
    QPushButton* no = box.addButton("否(&N)", QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

bool Show(QWidget* owner, const SMessageRequest& req) {
    bool answer = false;
    // The owner may go away while the worker's request waits in the queue.
    QPointer<QWidget> guard(owner);
    if (!RunOnGui([&] { answer = ShowOnGui(guard.data(), req); }))
        return false;
    return answer;
}

} // namespace

void ShowMessage(QWidget* owner, const std::string& text) {
    Show(owner, {false, kAppTitle, text});
}

void ShowResult(QWidget* owner, ResultCode rc) {
    ShowMessage(owner, ResultText(rc));
}

bool AskYesNo(QWidget* owner, const std::string& text) {
    return Show(owner, {true, kAskCaption, text});
}

MessageHandler SetMessageHandler(MessageHandler handler) {
    std::lock_guard lk(g_handlerLock);
    MessageHandler previous = std::move(g_handler);
    g_handler = std::move(handler);
    return previous;
}
