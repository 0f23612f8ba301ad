#pragma once
// What the main window shares with its pages and tool windows, handed to
// each when it is made: the driver, the slave address of every transaction,
// the driver's speed unit, holds on the status poll, and the worker that
// runs their transactions off the GUI thread.
//
// Threads: Run, HoldPoll and the destructor on the GUI thread; the work on
// the context's one worker thread, in the order it was asked for; each
// operation's done on the GUI thread, dropped when its owner is gone. Workers
// read m_nSlaveAddr and m_bSpeedUnitHz, hence the atomics.
//
//     m_ctx.Run(this, [&drv = m_ctx.m_driver, slave] {           // worker
//         PidBlock b{};
//         return std::pair{drv.ReadPidBlock(slave, b), b};
//     }, [this](std::pair<ResultCode, PidBlock> r) { ... });     // GUI thread

#include "driver/MotorDriver.h"

#include <QAbstractButton>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

class CDriverContext {
public:
    explicit CDriverContext(CMotorDriver& driver);
    // Drops the work not yet started and waits for the one under way: its
    // transactions end within their reply time-outs.
    ~CDriverContext();
    CDriverContext(const CDriverContext&) = delete;
    CDriverContext& operator=(const CDriverContext&) = delete;

    CMotorDriver& m_driver;
    std::atomic<uint8_t> m_nSlaveAddr{1};
    // Nonzero: speed and frequency registers count whole Hz, else tenths.
    std::atomic<int> m_bSpeedUnitHz{0};
    // The stop mode chosen on the motor control page (GUI thread), for the
    // windows that stop the motor themselves.
    std::function<uint16_t()> m_stopMode = [] { return static_cast<uint16_t>(0); };

    // The status poll stays off while a hold lives; the hold may move to a
    // worker and end there.
    class CPollHold {
    public:
        CPollHold() = default;
        CPollHold(CPollHold&& other) noexcept : m_ctx(std::exchange(other.m_ctx, nullptr)) {}
        CPollHold& operator=(CPollHold&& other) noexcept;
        ~CPollHold() { Release(); }
        void Release();
        bool Holds() const { return m_ctx != nullptr; }

    private:
        friend class CDriverContext;
        explicit CPollHold(CDriverContext* ctx) : m_ctx(ctx) {}
        CDriverContext* m_ctx = nullptr;
    };
    // Holds the poll off. On the GUI thread it first waits for a status read
    // already under way, so nothing of the holder's falls between its
    // exchanges (the main window says how: SetPollWait).
    [[nodiscard]] CPollHold HoldPoll();
    bool PollHeld() const { return m_nPollHolds.load() > 0; }
    void SetPollWait(std::function<void()> wait) { m_pollWait = std::move(wait); }

    // Runs work on the worker after everything asked for before it, then
    // done(work's result) on the GUI thread while owner lives.
    template <class Work, class Done> void Run(QObject* owner, Work work, Done done) {
        Ask(owner, std::move(work), std::move(done), false);
    }
    // As Run, ahead of everything not yet started: a stop of the motor
    // waits for no read.
    template <class Work, class Done> void RunFirst(QObject* owner, Work work, Done done) {
        Ask(owner, std::move(work), std::move(done), true);
    }
    // As Run for a button's operation: the button is disabled until its done
    // has run (the window's other controls stay usable).
    template <class Work, class Done> void RunFrom(QAbstractButton* button, Work work, Done done) {
        button->setEnabled(false);
        QPointer<QAbstractButton> b(button);
        Run(button, std::move(work), [b, done = std::move(done)](auto&&... result) mutable {
            if (b)
                b->setEnabled(true);
            done(std::forward<decltype(result)>(result)...);
        });
    }
    // A page's "读取" of one block on the worker: a failure shows its result
    // text and changes nothing; the block read goes to shown.
    template <class Block, class Shown>
    void ReadBlock(QWidget* page, QAbstractButton* button,
                   ResultCode (CMotorDriver::*read)(uint8_t, Block&), Shown shown) {
        RunFrom(
            button,
            [&drv = m_driver, slave = m_nSlaveAddr.load(), read] {
                Block b{};
                const ResultCode rc = (drv.*read)(slave, b);
                return std::pair{rc, b};
            },
            [page, shown = std::move(shown)](const std::pair<ResultCode, Block>& r) {
                if (r.first != kResultOk)
                    ShowResultBox(page, r.first);
                else
                    shown(r.second);
            });
    }
    // A page's configure of one block on the worker; its result text is
    // shown, "操作成功" included.
    template <class Block>
    void WriteBlock(QWidget* page, QAbstractButton* button,
                    ResultCode (CMotorDriver::*write)(uint8_t, Block), const Block& block) {
        RunFrom(
            button,
            [&drv = m_driver, slave = m_nSlaveAddr.load(), write, block] {
                return (drv.*write)(slave, block);
            },
            [page](ResultCode rc) { ShowResultBox(page, rc); });
    }

    // True once the context is ending: work of several transactions stops
    // between them, so closing waits for one reply time-out at most.
    bool Stopping() const { return m_bClosing.load(); }
    // Work asked for whose done has not run yet (GUI thread).
    bool Busy() const { return m_nPending > 0; }
    // Runs the event loop until nothing is pending or timeoutMs passes;
    // true when idle. For tests and for closing.
    bool WaitIdle(int timeoutMs);

private:
    static void ShowResultBox(QWidget* page, ResultCode rc);
    template <class Work, class Done> void Ask(QObject* owner, Work work, Done done, bool first) {
        using R = std::invoke_result_t<Work&>;
        if constexpr (std::is_void_v<R>) {
            Post(owner, std::move(work), std::move(done), first);
        } else {
            auto result = std::make_shared<std::optional<R>>();
            Post(
                owner, [result, work = std::move(work)]() mutable { result->emplace(work()); },
                [result, done = std::move(done)]() mutable { done(std::move(**result)); }, first);
        }
    }
    void Post(QObject* owner, std::function<void()> work, std::function<void()> done, bool first);
    void Loop();

    std::atomic<int> m_nPollHolds{0};
    std::atomic<bool> m_bClosing{false};
    std::function<void()> m_pollWait;
    int m_nPending = 0; // GUI thread
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_bStop = false;
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
    std::thread m_thread;
};
