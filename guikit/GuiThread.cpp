#include "guikit/GuiThread.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace {

struct SCall {
    std::function<void()> fn;
    bool done = false; // ran, or dropped by the shutdown
    bool ran = false;
};

struct SBridge {
    std::mutex lock;
    std::condition_variable changed; // a call was queued or finished
    std::deque<std::shared_ptr<SCall>> queue;
    bool shutdown = false;
};

SBridge& Bridge() {
    static SBridge bridge;
    return bridge;
}

// GUI thread: runs every queued call.
void Drain() {
    SBridge& b = Bridge();
    for (;;) {
        std::shared_ptr<SCall> call;
        {
            std::lock_guard lk(b.lock);
            if (b.queue.empty())
                return;
            call = b.queue.front();
            b.queue.pop_front();
        }
        call->fn();
        {
            std::lock_guard lk(b.lock);
            call->ran = true;
            call->done = true;
        }
        b.changed.notify_all();
    }
}

// Queues the call and asks the event loop to drain; false after shutdown.
bool Enqueue(const std::shared_ptr<SCall>& call) {
    SBridge& b = Bridge();
    {
        std::lock_guard lk(b.lock);
        QCoreApplication* app = QCoreApplication::instance();
        if (b.shutdown || !app)
            return false;
        b.queue.push_back(call);
        // Posted under the lock so that a shutdown (which precedes the
        // application's destruction) cannot pass in between.
        QMetaObject::invokeMethod(app, &Drain, Qt::QueuedConnection);
    }
    b.changed.notify_all();
    return true;
}

} // namespace

bool IsGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void PostToGui(std::function<void()> fn) {
    auto call = std::make_shared<SCall>();
    call->fn = std::move(fn);
    Enqueue(call);
}

bool RunOnGui(std::function<void()> fn) {
    if (IsGuiThread()) {
        fn();
        return true;
    }
    auto call = std::make_shared<SCall>();
    call->fn = std::move(fn);
    if (!Enqueue(call))
        return false;
    SBridge& b = Bridge();
    std::unique_lock lk(b.lock);
    // Ends when the GUI thread has run the call or the shutdown dropped it.
    b.changed.wait(lk, [&] { return call->done; });
    return call->ran;
}

bool WaitOnGui(const std::function<bool()>& done, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    SBridge& b = Bridge();
    const bool gui = IsGuiThread();
    for (;;) {
        if (gui)
            Drain();
        if (done())
            return true;
        if (timeoutMs >= 0 && Clock::now() >= deadline)
            return done();
        // Short slices: done() may change without a notification.
        std::unique_lock lk(b.lock);
        b.changed.wait_for(lk, std::chrono::milliseconds(5), [&] { return !b.queue.empty(); });
    }
}

void ShutdownGuiCalls() {
    SBridge& b = Bridge();
    {
        std::lock_guard lk(b.lock);
        b.shutdown = true;
        for (auto& call : b.queue)
            call->done = true;
        b.queue.clear();
    }
    b.changed.notify_all();
}

void ResumeGuiCalls() {
    std::lock_guard lk(Bridge().lock);
    Bridge().shutdown = false;
}

CGuiWorker::~CGuiWorker() {
    Join(-1);
}

bool CGuiWorker::Start(std::function<void()> fn) {
    if (m_bRunning.load())
        return false;
    if (m_thread.joinable())
        m_thread.join(); // finished already
    m_bRunning = true;
    m_thread = std::thread([this, fn = std::move(fn)] {
        fn();
        m_bRunning = false;
    });
    return true;
}

bool CGuiWorker::Join(int timeoutMs) {
    if (!m_thread.joinable())
        return true;
    if (!WaitOnGui([this] { return !m_bRunning.load(); }, timeoutMs))
        return false;
    // A call run during the wait may have joined it already.
    if (m_thread.joinable())
        m_thread.join();
    return true;
}
