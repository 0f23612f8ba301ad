#pragma once
// Keeps every transaction a master reports to its observers, from whatever
// thread it ran on.

#include "modbus/LinkObserver.h"

#include <mutex>
#include <vector>

struct SSeenTransaction {
    std::vector<uint8_t> request, reply;
    ResultCode result;
    STransactionRecord::Clock::duration duration;
};

class CLinkRecorder : public ILinkObserver {
public:
    void OnTransaction(const STransactionRecord& t) override {
        std::lock_guard<std::mutex> lk(m_lock);
        m_seen.push_back({{t.request, t.request + t.requestLen},
                          {t.reply, t.reply + t.replyLen},
                          t.result,
                          t.duration});
    }
    std::vector<SSeenTransaction> Seen() {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_seen;
    }

private:
    std::mutex m_lock;
    std::vector<SSeenTransaction> m_seen;
};
