#pragma once
// Worker threads never touch widgets themselves: they hand code to the GUI
// thread through these calls.
//
// A GUI thread that waits for a worker (WaitOnGui, CGuiWorker::Join) keeps
// running what workers hand over while it waits, so a worker that is blocked
// in RunOnGui or in a message box (MessageBox.h) can always finish. Only those
// handed-over calls run during such a wait, not the whole event loop, so no
// other handler of the window is re-entered.
//
// ShutdownGuiCalls() ends the hand-over for good (the application calls it
// when its event loop has ended): queued and later calls are dropped,
// RunOnGui returns false at once and a message box asked for by a worker
// counts as answered "No".
//
// A page with a worker, in short:
//
//     CGuiWorker m_worker;            // member
//     std::atomic<bool> m_bStop{false};
//     // start (GUI thread)
//     m_bStop = false;
//     m_worker.Start([this] {
//         ResultCode rc = m_ctx.m_driver.ReadPidBlock(...);         // any thread
//         if (m_bStop) return;                                       // owner leaving
//         RunOnGui([&] { SetCtrlValue(this, 1057, "..."); });       // widgets
//         if (rc != kResultOk) ShowResult(this, rc);                 // waits for OK
//     });
//     // destructor (GUI thread): m_bStop = true; m_worker.Join();

#include <atomic>
#include <functional>
#include <thread>

// True on the thread that runs the application object.
bool IsGuiThread();

// Queues fn for the GUI thread and returns at once. Dropped after shutdown.
void PostToGui(std::function<void()> fn);

// Runs fn on the GUI thread and returns when it has run (true). On the GUI
// thread it runs at once. False when the hand-over is shut down or there is
// no application: fn has not run and will not.
bool RunOnGui(std::function<void()> fn);

// Waits until done() holds or timeoutMs passes (negative: no limit); on the
// GUI thread it runs the calls workers hand over meanwhile. Returns done().
bool WaitOnGui(const std::function<bool()>& done, int timeoutMs);

void ShutdownGuiCalls();
// Undoes ShutdownGuiCalls (tests that check the shut-down answers).
void ResumeGuiCalls();

// One worker thread with one owner. The owner asks the worker to stop by its
// own flag, then joins; the destructor joins.
class CGuiWorker {
public:
    CGuiWorker() = default;
    ~CGuiWorker();
    CGuiWorker(const CGuiWorker&) = delete;
    CGuiWorker& operator=(const CGuiWorker&) = delete;

    // Starts fn on a new thread; false while the previous one still runs.
    bool Start(std::function<void()> fn);
    bool Running() const { return m_bRunning.load(); }
    // Waits for the worker (see WaitOnGui) and joins it. False
    // when it still runs after timeoutMs; it is then left running.
    bool Join(int timeoutMs = -1);

private:
    std::thread m_thread;
    std::atomic<bool> m_bRunning{false};
};
