// Message boxes and the hand-over from workers to the GUI thread.

#include "guikit/GuiThread.h"
#include "GuiTestSupport.h"

#include <QApplication>

#include <atomic>

class GuiThreadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GuiApp(); }
};

TEST_F(GuiThreadTest, WorkerBoxesAndCallsRunOnTheGuiThreadWhileItJoinsTheWorker) {
    std::vector<std::string> texts;
    bool handlerOnGui = true;
    MessageHandler previous = SetMessageHandler([&](const SMessageRequest& req) {
        handlerOnGui = handlerOnGui && IsGuiThread();
        texts.push_back(req.text);
        return true;
    });

    bool ranOnGui = false, asked = false, posted = false;
    CGuiWorker worker;
    ASSERT_TRUE(worker.Start([&] {
        // The GUI thread is blocked in Join below: these must still get through.
        const bool ran = RunOnGui([&] { ranOnGui = IsGuiThread(); });
        asked = ran && AskYesNo(nullptr, "继续?");
        ShowMessage(nullptr, "完成");
        PostToGui([&] { posted = true; });
    }));
    EXPECT_FALSE(worker.Start([] {})); // one at a time
    ASSERT_TRUE(worker.Join(10000));
    SetMessageHandler(previous);
    EXPECT_TRUE(ranOnGui);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(handlerOnGui);
    EXPECT_EQ(texts, (std::vector<std::string>{"继续?", "完成"}));
    // A posted call runs from the event loop later.
    EXPECT_TRUE(WaitGui([&] { return posted; }));
}

// A worker already waiting for the GUI thread is released, and later calls get
// default answers at once: nobody runs the GUI side here.
TEST_F(GuiThreadTest, ShutdownReleasesWaitingWorkersAndLaterCallsGetDefaultAnswers) {
    CMessageRecorder rec(true);
    std::atomic<bool> calling{false}, done{false};
    bool ran = true, fnRan = false, answer = true;
    std::thread worker([&] {
        calling = true;
        ran = RunOnGui([&] { fnRan = true; });
        answer = AskYesNo(nullptr, "继续?");
        ShowMessage(nullptr, "完成");
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return calling.load(); }, 5000));
    ShutdownGuiCalls(); // without running the event loop in between
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 5000));
    worker.join();
    ResumeGuiCalls();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(fnRan);
    EXPECT_FALSE(answer);
    EXPECT_TRUE(rec.m_boxes.empty());
}
