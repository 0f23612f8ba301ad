#pragma once
// A serial line of our own making for the master: every request goes to a
// responder and its bytes come back at once or paced like a real line; it
// can garble replies with a line error, hand out few bytes per read and fail
// writes, which a pseudo-terminal cannot.

#include "serial/ComPort.h"
#include "serial/SerialLine.h"
#include "tests/core/TestBytes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

// Byte i of a paced reply is there (i + 1) character times after the
// request. Counts how often the master reads and waits, and keeps every
// request.
class CFakeLine : public ISerialLine {
public:
    using Clock = std::chrono::steady_clock;

    explicit CFakeLine(std::function<Bytes(const Bytes&)> answer, Clock::duration charTime = {})
        : m_answer(std::move(answer)), m_char(charTime) {}

    std::atomic<size_t> m_nPerRead{256};
    std::atomic<bool> m_bGarbleEven{false}, m_bFailWrites{false};
    std::atomic<int> m_nReads{0}, m_nWaits{0}, m_nWrites{0};

    bool IsOpen() const override { return true; }
    int Write(const uint8_t* data, size_t len, int) override {
        if (m_bFailWrites)
            return -1;
        std::lock_guard<std::mutex> lk(m_lock);
        m_requests.emplace_back(data, data + len);
        m_reply = m_answer(m_requests.back());
        m_sent = Clock::now();
        m_taken = 0;
        if (m_bGarbleEven && m_nWrites % 2 == 0)
            m_nErrors |= kLineErrParity;
        ++m_nWrites;
        m_cv.notify_all();
        return static_cast<int>(len);
    }
    int Read(uint8_t* buf, size_t cap) override {
        std::lock_guard<std::mutex> lk(m_lock);
        ++m_nReads;
        size_t n = std::min({cap, Arrived() - m_taken, m_nPerRead.load()});
        std::copy_n(m_reply.begin() + static_cast<long>(m_taken), n, buf);
        m_taken += n;
        return static_cast<int>(n);
    }
    int QueuedInput() override {
        std::lock_guard<std::mutex> lk(m_lock);
        return static_cast<int>(Arrived() - m_taken);
    }
    bool WaitInput(int timeoutMs) override {
        std::unique_lock<std::mutex> lk(m_lock);
        ++m_nWaits;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Arrived() == m_taken && !m_bInterrupted) {
            auto until = deadline;
            if (m_taken < m_reply.size()) // the next byte of a paced reply
                until = std::min(until, m_sent + m_char * static_cast<int>(m_taken + 1));
            if (m_cv.wait_until(lk, until) == std::cv_status::timeout && until == deadline)
                break;
        }
        m_bInterrupted = false;
        return Arrived() > m_taken;
    }
    void Interrupt() override {
        std::lock_guard<std::mutex> lk(m_lock);
        m_bInterrupted = true;
        m_cv.notify_all();
    }
    void PurgeInput() override {
        std::lock_guard<std::mutex> lk(m_lock);
        m_taken = Arrived();
    }
    void PurgeOutput() override {}
    uint32_t TakeLineErrors() override {
        std::lock_guard<std::mutex> lk(m_lock);
        return std::exchange(m_nErrors, 0);
    }
    std::vector<Bytes> Requests() {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_requests;
    }

private:
    size_t Arrived() const {
        if (m_char == Clock::duration::zero())
            return m_reply.size();
        return std::min(m_reply.size(), static_cast<size_t>((Clock::now() - m_sent) / m_char));
    }

    const std::function<Bytes(const Bytes&)> m_answer;
    const Clock::duration m_char;
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::vector<Bytes> m_requests;
    Bytes m_reply;
    Clock::time_point m_sent;
    size_t m_taken = 0;
    uint32_t m_nErrors = 0;
    bool m_bInterrupted = false;
};
