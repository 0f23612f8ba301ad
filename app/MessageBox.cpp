#include "app/MessageBox.h"

#include "app/GuiThread.h"

#include <QMessageBox>
#include <QPointer>

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
    const QString caption = QString::fromStdString(req.caption);
    const QString text = QString::fromStdString(req.text);
    if (req.question)
        return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    QMessageBox::information(owner, caption, text, QMessageBox::Ok);
    return true;
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
