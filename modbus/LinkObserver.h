#pragma once
// Watching the link: the master reports every transaction that went to the
// line (a request written, or a write that failed) once its result is known.
//
//     class CMyLog : public ILinkObserver {
//         void OnTransaction(const STransactionRecord& t) override {
//             // copy what is needed; t's pointers die when this returns
//         }
//     };
//     master.AddObserver(&log);      // any thread, any time
//     ...
//     master.RemoveObserver(&log);   // before log goes away
//
// Rules:
// - OnTransaction runs on the thread that ran the transaction (the GUI
//   thread, a worker, a command's main thread), with the master's
//   transaction lock held, so records arrive one at a time and in the order
//   the transactions ran. It must be quick and must not block: copy the
//   record and, for a window, hand it over (PostToGui) instead of touching
//   widgets. It must not start a transaction nor call AddObserver or
//   RemoveObserver.
// - RemoveObserver waits for a call under way on another thread, so once it
//   returns the observer is never called again and may be destroyed.
// - With no observer the master only tests one atomic count per transaction:
//   no clock read, no copy, no lock.
// - Not reported: transactions refused before reaching the line (port not
//   open, request too long).

#include "modbus/ResultCode.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

struct STransactionRecord {
    using Clock = std::chrono::steady_clock;

    const uint8_t* request = nullptr; // the frame sent, CRC included
    size_t requestLen = 0;
    // Every byte received during the transaction: the accepted reply, or
    // whatever arrived before the time-out (possibly nothing).
    const uint8_t* reply = nullptr;
    size_t replyLen = 0;
    ResultCode result = kResultOk;
    Clock::time_point start;  // just before the request was written
    Clock::duration duration; // from start until the result was known
};

class ILinkObserver {
public:
    virtual ~ILinkObserver() = default;
    virtual void OnTransaction(const STransactionRecord& record) = 0;
};
