#pragma once
// The main window's status poll off the GUI thread: one worker thread for the
// window's life runs one status read at a time when asked, so a silent
// driver never holds the window for the reply time-out.
//
// Threads: Start, Busy and the destructor on the GUI thread; the read and
// the done callback on the worker. The callback hands the outcome over
// (PostToGui); it never touches widgets itself.

#include "driver/MotorDriver.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CStatusPoller {
public:
    // tag: what Start was given, so the owner can tell an old read's outcome.
    using Done = std::function<void(unsigned tag, ResultCode rc, const RealtimeStatusBlock& block)>;

    CStatusPoller(CMotorDriver& driver, Done done);
    // Waits for a read under way (bounded by the reply time-out) and joins.
    ~CStatusPoller();
    CStatusPoller(const CStatusPoller&) = delete;
    CStatusPoller& operator=(const CStatusPoller&) = delete;

    // Starts one read from the slave; false while the last one still runs.
    bool Start(uint8_t slave, unsigned tag);
    bool Busy() const;

private:
    void Run();

    CMotorDriver& m_driver;
    Done m_done;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_bBusy = false;
    bool m_bStop = false;
    uint8_t m_nSlave = 1;
    unsigned m_nTag = 0;
    std::thread m_thread;
};
