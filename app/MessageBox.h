#pragma once
// Every message box of the tool goes through here, from any thread, so tests
// can replace the boxes with a handler that records the texts and answers.
//
// From a worker thread the box is shown on the GUI thread and the worker
// waits for the answer (GuiThread.h); once the hand-over is shut down, an OK
// box is skipped and a question counts as answered "No".

#include "modbus/ResultCode.h"

#include <functional>
#include <string>

class QWidget;

// Caption of every box that has no caption of its own.
inline constexpr const char* kAppTitle = "Halvik_Demo";
// Caption of the Yes/No question.
inline constexpr const char* kAskCaption = "询问";

struct SMessageRequest {
    bool question = false; // Yes/No with a question icon; else OK only
    std::string caption;
    std::string text;
};
// Returns the answer: true for Yes (ignored for OK boxes).
using MessageHandler = std::function<bool(const SMessageRequest&)>;

// OK box with the application title as caption.
void ShowMessage(QWidget* owner, const std::string& text);
// The text of a result code in an OK box ("操作成功" for 0).
void ShowResult(QWidget* owner, ResultCode rc);
// Yes/No question with the caption "询问"; true for Yes.
bool AskYesNo(QWidget* owner, const std::string& text);

// Replaces the real boxes (an empty handler restores them); returns the
// previous handler. The handler runs on the GUI thread.
MessageHandler SetMessageHandler(MessageHandler handler);
