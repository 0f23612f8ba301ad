#include "fuzz/ScriptLine.h"

#include "modbus/Crc16.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>

std::vector<ScriptReply> ScriptFromInput(FuzzedDataProvider& in, size_t maxReplies) {
    std::vector<ScriptReply> out;
    while (in.remaining_bytes() > 0 && out.size() < maxReplies) {
        ScriptReply r;
        const uint8_t flags = in.ConsumeIntegral<uint8_t>();
        r.fixHead = flags & 1;
        r.fixCrc = flags & 2;
        r.lineGoes = flags & 4;
        const int cuts = (flags >> 4) & 7;
        for (int i = 0; i < cuts; ++i)
            r.cuts.push_back(in.ConsumeIntegral<uint8_t>());
        const size_t len = in.ConsumeIntegral<uint8_t>();
        r.body = in.ConsumeBytes<uint8_t>(len);
        out.push_back(std::move(r));
    }
    return out;
}

void CScriptLine::Load(std::vector<ScriptReply> replies) {
    std::lock_guard<std::mutex> lk(m_lock);
    m_script.assign(replies.begin(), replies.end());
    m_pending.clear();
    m_arrived.clear();
    m_requests.clear();
    m_refusal.clear();
    m_bGone = false;
    m_bInterrupted = false;
}

int CScriptLine::Write(const uint8_t* data, size_t len, int) {
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_bGone)
        return -1;
    m_writer = std::this_thread::get_id();
    m_requests.emplace_back(data, data + len);
    m_refusal.clear();
    if (m_script.empty()) {
        // Unanswered: "illegal function" for the request, once the
        // transaction waits.
        if (len >= 2) {
            m_refusal = {data[0], static_cast<uint8_t>(data[1] | 0x80), 0x01, 0, 0};
            AppendCrc(m_refusal.data(), 3);
        }
        return static_cast<int>(len);
    }
    ScriptReply r = std::move(m_script.front());
    m_script.pop_front();
    if (r.lineGoes)
        return static_cast<int>(len); // nothing comes: the line goes at the wait
    std::vector<uint8_t> reply = r.body;
    if (r.fixHead && len >= 2) {
        reply.resize(std::max<size_t>(reply.size(), 2));
        reply[0] = data[0];
        reply[1] = data[1];
    }
    if (r.fixCrc) {
        const size_t n = reply.size();
        reply.resize(n + 2);
        AppendCrc(reply.data(), n);
    }
    std::vector<size_t> cuts = r.cuts;
    for (size_t& c : cuts)
        c = std::min(c, reply.size());
    cuts.push_back(reply.size());
    std::sort(cuts.begin(), cuts.end());
    size_t from = 0;
    for (size_t c : cuts) {
        if (c > from)
            m_pending.emplace_back(reply.begin() + static_cast<long>(from),
                                   reply.begin() + static_cast<long>(c));
        from = c;
    }
    // The first chunk is on the line as soon as the request is.
    if (!m_pending.empty()) {
        m_arrived.insert(m_arrived.end(), m_pending.front().begin(), m_pending.front().end());
        m_pending.pop_front();
    }
    return static_cast<int>(len);
}

int CScriptLine::Read(uint8_t* buf, size_t cap) {
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_bGone)
        return -1;
    const size_t n = std::min(cap, m_arrived.size());
    std::copy(m_arrived.begin(), m_arrived.begin() + static_cast<long>(n), buf);
    m_arrived.erase(m_arrived.begin(), m_arrived.begin() + static_cast<long>(n));
    return static_cast<int>(n);
}

int CScriptLine::QueuedInput() {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_bGone ? -1 : static_cast<int>(m_arrived.size());
}

bool CScriptLine::WaitInput(int timeoutMs) {
    std::unique_lock<std::mutex> lk(m_lock);
    if (m_bGone)
        return false;
    if (std::this_thread::get_id() == m_writer) {
        // The transaction waits: the next chunk arrives, or there is none
        // and the line goes.
        if (!m_arrived.empty())
            return true;
        if (!m_refusal.empty()) {
            m_arrived = std::move(m_refusal);
            m_refusal.clear();
            return true;
        }
        if (m_pending.empty()) {
            m_bGone = true;
            return false;
        }
        m_arrived = std::move(m_pending.front());
        m_pending.pop_front();
        return true;
    }
    // The idle receive thread never sees input (bytes left behind a reply go
    // to the next transaction), so each run takes the same path.
    m_wake.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return m_bInterrupted; });
    m_bInterrupted = false;
    return false;
}

void CScriptLine::Interrupt() {
    std::lock_guard<std::mutex> lk(m_lock);
    m_bInterrupted = true;
    m_wake.notify_all();
}

void CScriptLine::PurgeInput() {
    std::lock_guard<std::mutex> lk(m_lock);
    m_arrived.clear();
}

void CScriptLine::Release() {
    std::lock_guard<std::mutex> lk(m_lock);
    std::deque<ScriptReply>().swap(m_script);
    std::deque<std::vector<uint8_t>>().swap(m_pending);
    std::vector<uint8_t>().swap(m_arrived);
    std::vector<std::vector<uint8_t>>().swap(m_requests);
    std::vector<uint8_t>().swap(m_refusal);
}

bool CScriptLine::IsGone() const {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_bGone;
}

std::vector<std::vector<uint8_t>> CScriptLine::Requests() const {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_requests;
}
