#include "GuiTestSupport.h"

#include "tests/support/SimHarness.h"

#include <QApplication>

#include <chrono>
#include <clocale>
#include <fstream>
#include <sstream>
#include <thread>

QApplication* GuiApp() {
    static int argc = 1;
    static char name[] = "gui_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        UsePrivatePortFolder();
        auto* a = new QApplication(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        return a;
    }();
    return app;
}

bool WaitGui(const std::function<bool()>& pred, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

CMessageRecorder::CMessageRecorder(bool defaultAnswer) : m_bDefaultAnswer(defaultAnswer) {
    m_previous = SetMessageHandler([this](const SMessageRequest& req) {
        m_boxes.push_back(req);
        if (!req.question)
            return 1;
        if (m_answers.empty())
            return req.choices.empty() ? int{m_bDefaultAnswer}
                                       : static_cast<int>(req.choices.size()) - 1;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    });
}

CMessageRecorder::~CMessageRecorder() {
    SetMessageHandler(m_previous);
}
