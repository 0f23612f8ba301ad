#include "modbus/LinkStats.h"

#include <algorithm>

namespace {
constexpr auto kRateWindow = std::chrono::seconds(5);
constexpr size_t kMaxStarts = 4096; // a very fast line cannot grow the window without bound
constexpr size_t kRttSamples = 101;
} // namespace

CLinkStats::CLinkStats() {
    Reset();
}

void CLinkStats::Reset(Clock::time_point now) {
    std::lock_guard<std::mutex> lk(m_lock);
    m_since = now;
    m_counts = SLinkSummary{};
    m_starts.clear();
    m_rtt.clear();
    m_nNext = 0;
}

void CLinkStats::OnTransaction(const STransactionRecord& t) {
    std::lock_guard<std::mutex> lk(m_lock);
    if (!m_leftOut.empty() && std::find(m_leftOut.begin(), m_leftOut.end(),
                                        std::this_thread::get_id()) != m_leftOut.end())
        return;
    ++m_counts.transactions;
    m_starts.push_back(t.start);
    while (m_starts.size() > kMaxStarts || (m_starts.front() < t.start - kRateWindow))
        m_starts.pop_front();
    if (t.result == kResultOk) {
        const double ms = std::chrono::duration<double, std::milli>(t.duration).count();
        if (m_rtt.size() < kRttSamples)
            m_rtt.push_back(ms);
        else
            m_rtt[m_nNext] = ms;
        m_nNext = (m_nNext + 1) % kRttSamples;
    } else if (t.result == kResultTimeout && t.replyLen == 0) {
        ++m_counts.timeouts;
    } else if (t.result == kResultTimeout || t.result == kResultBadReply) {
        ++m_counts.replyErrors;
    } else if (t.result > 0 && t.result < kResultPortClosed) {
        ++m_counts.exceptions;
    }
}

CLinkStats::CLeaveOutThisThread::CLeaveOutThisThread(CLinkStats& stats) : m_stats(stats) {
    std::lock_guard<std::mutex> lk(m_stats.m_lock);
    m_stats.m_leftOut.push_back(std::this_thread::get_id());
}

CLinkStats::CLeaveOutThisThread::~CLeaveOutThisThread() {
    std::lock_guard<std::mutex> lk(m_stats.m_lock);
    const auto it =
        std::find(m_stats.m_leftOut.begin(), m_stats.m_leftOut.end(), std::this_thread::get_id());
    if (it != m_stats.m_leftOut.end())
        m_stats.m_leftOut.erase(it);
}

SLinkSummary CLinkStats::Summary(Clock::time_point now) const {
    std::lock_guard<std::mutex> lk(m_lock);
    SLinkSummary s = m_counts;
    const auto from = now - kRateWindow;
    const size_t recent = static_cast<size_t>(
        std::count_if(m_starts.begin(), m_starts.end(), [&](auto t) { return t > from; }));
    const double span =
        std::chrono::duration<double>(std::min<Clock::duration>(now - m_since, kRateWindow))
            .count();
    s.ratePerSecond = span > 0 ? static_cast<double>(recent) / span : 0;
    if (!m_rtt.empty()) {
        std::vector<double> v = m_rtt;
        auto mid = v.begin() + static_cast<long>(v.size() / 2);
        std::nth_element(v.begin(), mid, v.end());
        s.medianMs = *mid;
        if (v.size() % 2 == 0)
            s.medianMs = (s.medianMs + *std::max_element(v.begin(), mid)) / 2;
    }
    return s;
}
