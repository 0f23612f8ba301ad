#include "desklogic/TrafficLog.h"

#include "driver/FileIo.h"

#include <chrono>
#include <cstdio>
#include <ctime>

bool TrafficFilterMatches(ETrafficFilter f, ResultCode rc) {
    switch (f) {
    case ETrafficFilter::All:
        return true;
    case ETrafficFilter::Ok:
        return rc == kResultOk;
    case ETrafficFilter::Failed:
        return rc != kResultOk;
    case ETrafficFilter::Timeout:
        return rc == kResultTimeout;
    case ETrafficFilter::BadReply:
        return rc == kResultBadReply;
    case ETrafficFilter::Exception:
        return rc != kResultOk && rc < kResultPortClosed;
    }
    return false;
}

void CTrafficLog::OnTransaction(const STransactionRecord& record) {
    TrafficEntry e;
    e.wallMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
    e.request.assign(record.request, record.request + record.requestLen);
    e.reply.assign(record.reply, record.reply + record.replyLen);
    e.rc = record.result;
    e.rttMs = std::chrono::duration<double, std::milli>(record.duration).count();
    Add(std::move(e));
}

void CTrafficLog::Add(TrafficEntry e) {
    std::lock_guard lock(m_lock);
    e.seq = m_nNextSeq++;
    m_entries.push_back(std::move(e));
    while (m_entries.size() > m_nCapacity)
        m_entries.pop_front();
}

void CTrafficLog::Clear() {
    std::lock_guard lock(m_lock);
    m_entries.clear();
}

std::vector<TrafficEntry> CTrafficLog::Since(uint64_t after) const {
    std::lock_guard lock(m_lock);
    std::vector<TrafficEntry> out;
    // Sequence numbers are consecutive in the deque: jump to the first newer one.
    size_t from = 0;
    if (!m_entries.empty() && after >= m_entries.front().seq)
        from = static_cast<size_t>(after - m_entries.front().seq + 1);
    for (size_t i = from; i < m_entries.size(); ++i)
        out.push_back(m_entries[i]);
    return out;
}

uint64_t CTrafficLog::FirstSeq() const {
    std::lock_guard lock(m_lock);
    return m_entries.empty() ? 0 : m_entries.front().seq;
}

size_t CTrafficLog::Size() const {
    std::lock_guard lock(m_lock);
    return m_entries.size();
}

std::string TrafficTime(int64_t wallMs) {
    const time_t secs = static_cast<time_t>(wallMs / 1000);
    struct tm local {};
    localtime_r(&secs, &local);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(wallMs % 1000));
    return buf;
}

bool ExportTraffic(const std::vector<TrafficEntry>& entries, const std::string& path, bool csv,
                   std::string& error) {
    std::string text;
    if (csv)
        text = "\xEF\xBB\xBFtime,rtt_ms,result,code,request,reply\r\n";
    for (const auto& e : entries) {
        char rtt[32];
        std::snprintf(rtt, sizeof rtt, "%.2f", e.rttMs);
        const std::string result = ResultText(e.rc);
        if (csv) {
            // No field holds a comma or a quote: hex bytes, numbers, and the
            // result texts.
            text += TrafficTime(e.wallMs) + "," + rtt + "," + result + "," + std::to_string(e.rc) +
                    "," + HexBytes(e.request) + "," + HexBytes(e.reply) + "\r\n";
        } else {
            char head[96];
            std::snprintf(head, sizeof head, "%s %8s ms  ", TrafficTime(e.wallMs).c_str(), rtt);
            text += head + result + " (" + std::to_string(e.rc) + ")\n";
            text += "  TX: " + HexBytes(e.request) + "\n";
            text += "  RX: " + HexBytes(e.reply) + "\n";
        }
    }
    if (const int err = WriteFileAtomically(path, text)) {
        error = FileErrorText(err);
        return false;
    }
    return true;
}
