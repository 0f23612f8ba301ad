#pragma once
// Link health from the master's transaction reports: how often the line is
// used, how long a good exchange takes, and what went wrong, since Reset.
// Thread-safe: OnTransaction on transaction threads, the rest anywhere.

#include "modbus/LinkObserver.h"

#include <deque>
#include <mutex>
#include <thread>
#include <vector>

struct SLinkSummary {
    size_t transactions = 0;
    double ratePerSecond = 0; // transactions started in the recent window
    double medianMs = 0;      // of the recent successful round trips; 0 without any
    size_t timeouts = 0;      // nothing came back
    size_t replyErrors = 0;   // bytes came back but no acceptable reply (CRC, address, garbled)
    size_t exceptions = 0;    // the slave refused with an exception code
};

class CLinkStats : public ILinkObserver {
public:
    using Clock = STransactionRecord::Clock;

    CLinkStats();
    void OnTransaction(const STransactionRecord& record) override;
    // Forgets everything; the rate counts from now.
    void Reset(Clock::time_point now = Clock::now());
    SLinkSummary Summary(Clock::time_point now = Clock::now()) const;

    // While one lives, the transactions of the thread that made it are left
    // out: for work that keeps its own count, such as a bus scan, whose
    // probes mostly time out by design.
    class CLeaveOutThisThread {
    public:
        explicit CLeaveOutThisThread(CLinkStats& stats);
        ~CLeaveOutThisThread();
        CLeaveOutThisThread(const CLeaveOutThisThread&) = delete;
        CLeaveOutThisThread& operator=(const CLeaveOutThisThread&) = delete;

    private:
        CLinkStats& m_stats;
    };

private:
    mutable std::mutex m_lock;
    Clock::time_point m_since;
    SLinkSummary m_counts;
    std::deque<Clock::time_point> m_starts; // within the rate window
    std::vector<double> m_rtt;              // ring of recent good round trips, ms
    size_t m_nNext = 0;
    std::vector<std::thread::id> m_leftOut;
};
