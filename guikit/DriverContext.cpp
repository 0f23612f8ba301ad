#include "guikit/DriverContext.h"

#include "guikit/GuiThread.h"
#include "guikit/MessageBox.h"

#include <QCoreApplication>
#include <QElapsedTimer>

CDriverContext::CDriverContext(CMotorDriver& driver)
    : m_driver(driver), m_thread([this] { Loop(); }) {}

CDriverContext::~CDriverContext() {
    m_bClosing = true;
    {
        std::lock_guard lk(m_lock);
        m_bStop = true;
        m_queue.clear();
    }
    *m_alive = false; // outcomes still on their way to the GUI thread are dropped
    m_wake.notify_all();
    m_thread.join();
}

CDriverContext::CPollHold& CDriverContext::CPollHold::operator=(CPollHold&& other) noexcept {
    if (this != &other) {
        Release();
        m_ctx = std::exchange(other.m_ctx, nullptr);
    }
    return *this;
}

void CDriverContext::CPollHold::Release() {
    if (m_ctx)
        --m_ctx->m_nPollHolds;
    m_ctx = nullptr;
}

CDriverContext::CPollHold CDriverContext::HoldPoll() {
    ++m_nPollHolds;
    if (m_pollWait && IsGuiThread())
        m_pollWait();
    return CPollHold(this);
}

void CDriverContext::Post(QObject* owner, std::function<void()> work, std::function<void()> done,
                          bool first) {
    ++m_nPending;
    QPointer<QObject> guard(owner);
    auto alive = m_alive;
    auto job = [this, alive, guard, work = std::move(work), done = std::move(done)]() mutable {
        work();
        PostToGui([this, alive, guard, done = std::move(done)] {
            if (!*alive)
                return;
            --m_nPending;
            if (guard)
                done();
        });
    };
    {
        std::lock_guard lk(m_lock);
        if (first)
            m_queue.push_front(std::move(job));
        else
            m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void CDriverContext::Loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lk(m_lock);
            m_wake.wait(lk, [this] { return m_bStop || !m_queue.empty(); });
            if (m_bStop)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
    }
}

bool CDriverContext::WaitIdle(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (Busy() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return !Busy();
}

void CDriverContext::ShowResultBox(QWidget* page, ResultCode rc) {
    ShowResult(page, rc);
}
