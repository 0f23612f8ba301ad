#pragma once
// Every message box of the tool goes through here, from any thread, so tests
// can replace the boxes with a handler that records the texts and answers.
//
// From a worker thread the box is shown on the GUI thread and the worker
// waits for the answer (GuiThread.h); once the hand-over is shut down, an OK
// box is skipped and a question counts as answered "No" (a question with
// choices: its last choice).

#include "lang/Tr.h"
#include "modbus/ResultCode.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;

// Caption of every box that has no caption of its own.
inline constexpr const char* kAppTitle = "Halvik_Demo";
// Caption of the questions.
inline constexpr const char* kAskCaption = QT_TRANSLATE_NOOP("MessageBox", "询问");

struct SMessageRequest {
    bool question = false; // a question with a question icon; else OK only
    std::string caption;
    std::string text;
    // A question with answers of its own instead of Yes/No: the button texts
    // in order; the first is the default, the last the one Esc gives.
    std::vector<std::string> choices;
};
// Returns the answer: nonzero for Yes; for a question with choices the index
// of the one chosen; ignored for OK boxes. A handler returning bool still
// answers every Yes/No question.
using MessageHandler = std::function<int(const SMessageRequest&)>;

// OK box with the application title as caption.
void ShowMessage(QWidget* owner, const std::string& text);
// The text of a result code in an OK box ("操作成功" for 0).
void ShowResult(QWidget* owner, ResultCode rc);
// Yes/No question with the caption "询问"; true for Yes.
bool AskYesNo(QWidget* owner, const std::string& text);
// A question with the caption "询问" and two or more answers; returns the
// index of the one chosen. Esc, the close box and a shut-down hand-over give
// the last one: make it the answer that changes nothing.
int AskChoice(QWidget* owner, const std::string& text, const std::vector<std::string>& choices);

// Replaces the real boxes (an empty handler restores them); returns the
// previous handler. The handler runs on the GUI thread.
MessageHandler SetMessageHandler(MessageHandler handler);
