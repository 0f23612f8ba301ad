#include "guikit/MessageBox.h"

#include "guikit/GuiThread.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <mutex>

namespace {

std::mutex g_handlerLock;
MessageHandler g_handler;

// The answer of a question nobody could be asked.
int Unanswered(const SMessageRequest& req) {
    return req.choices.empty() ? 0 : static_cast<int>(req.choices.size()) - 1;
}

int ShowOnGui(QWidget* owner, const SMessageRequest& req) {
    MessageHandler handler;
    {
        std::lock_guard lk(g_handlerLock);
        handler = g_handler;
    }
    if (handler) {
        const int answer = handler(req);
        const bool known =
            req.choices.empty() || (answer >= 0 && answer < static_cast<int>(req.choices.size()));
        return known ? answer : Unanswered(req);
    }
    // Button texts of our own, with the tool's accelerators.
    QMessageBox box(req.question ? QMessageBox::Question : QMessageBox::Information,
                    QString::fromStdString(req.caption), QString::fromStdString(req.text),
                    QMessageBox::NoButton, owner);
    if (!req.question) {
        box.addButton(QCoreApplication::translate("MessageBox", "确定"), QMessageBox::AcceptRole);
        box.exec();
        return 1;
    }
    if (!req.choices.empty()) {
        std::vector<QPushButton*> buttons;
        for (const std::string& choice : req.choices)
            buttons.push_back(
                box.addButton(QString::fromStdString(choice), QMessageBox::ActionRole));
        box.setDefaultButton(buttons.front());
        box.setEscapeButton(buttons.back());
        box.exec();
        const auto it = std::find(buttons.begin(), buttons.end(), box.clickedButton());
        return it == buttons.end() ? Unanswered(req) : static_cast<int>(it - buttons.begin());
    }
    QPushButton* yes =
        box.addButton(QCoreApplication::translate("MessageBox", "是(&Y)"), QMessageBox::YesRole);
    QPushButton* no =
        box.addButton(QCoreApplication::translate("MessageBox", "否(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? 1 : 0;
}

int Show(QWidget* owner, const SMessageRequest& req) {
    int answer = Unanswered(req);
    // The owner may go away while the worker's request waits in the queue.
    QPointer<QWidget> guard(owner);
    if (!RunOnGui([&] { answer = ShowOnGui(guard.data(), req); }))
        return Unanswered(req);
    return answer;
}

} // namespace

void ShowMessage(QWidget* owner, const std::string& text) {
    Show(owner, {false, kAppTitle, text, {}});
}

void ShowResult(QWidget* owner, ResultCode rc) {
    ShowMessage(owner, ResultText(rc));
}

static std::string AskCaption() {
    return QCoreApplication::translate("MessageBox", kAskCaption).toStdString();
}

bool AskYesNo(QWidget* owner, const std::string& text) {
    return Show(owner, {true, AskCaption(), text, {}}) != 0;
}

int AskChoice(QWidget* owner, const std::string& text, const std::vector<std::string>& choices) {
    return Show(owner, {true, AskCaption(), text, choices});
}

MessageHandler SetMessageHandler(MessageHandler handler) {
    std::lock_guard lk(g_handlerLock);
    MessageHandler previous = std::move(g_handler);
    g_handler = std::move(handler);
    return previous;
}
