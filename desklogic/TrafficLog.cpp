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

STransaction CTrafficDecoder::Decode(const TrafficEntry& e) {
    const int slave = e.request.empty() ? 0 : e.request[0];
    DecodeContext ctx;
    ctx.speedUnitHz = m_speedUnitHz[slave];
    // A failed exchange's bytes are whatever came; only a reply is a reply.
    const bool replied = e.rc != kResultTimeout && e.rc != kResultPortClosed;
    STransaction tx = DecodeExchange(e.request.data(), e.request.size(), e.reply.data(),
                                     replied ? e.reply.size() : 0, ctx);
    for (const STxField& f : tx.fields)
        if (f.addr == kRegSpeedUnitHz && tx.block == "status")
            m_speedUnitHz[slave] = f.value == "1";
    return tx;
}

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A CSV field that may hold commas or quotes.
std::string CsvQuoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

bool TrafficTextMatches(const STransaction& tx, std::string_view needle) {
    const std::string n = Lower(needle);
    if (n.empty())
        return true;
    if (Lower(TransactionText(tx)).find(n) != std::string::npos)
        return true;
    for (const STxField& f : tx.fields)
        if (Lower(f.name).find(n) != std::string::npos)
            return true;
    return false;
}

std::string TrafficDetail(const STransaction& tx) {
    std::string s = TransactionSummary(tx) + "\n";
    for (const STxField& f : tx.fields)
        s += StrFormat("  0x%04X  ", f.addr) + f.label +
             (f.name.empty() ? "" : " (" + f.name + ")") + ": " + f.text + "\n";
    if (tx.sdo.present) {
        s += StrFormat("  SDO %s 0x%04X:%u", tx.sdo.commandText.c_str(), tx.sdo.index, tx.sdo.sub);
        s += tx.sdo.object.empty() ? "" : " " + tx.sdo.object;
        s += tx.sdo.value.empty() ? "" : " = " + tx.sdo.value;
        s += tx.sdo.abort ? " " + tx.sdo.abortText : "";
        s += "\n";
    }
    if (!tx.deviceId.empty()) {
        std::string id = tx.deviceId;
        for (size_t p = id.find("\r\n"); p != std::string::npos; p = id.find("\r\n", p))
            id.replace(p, 2, "\n  ");
        s += "  " + id + "\n";
    }
    return s;
}

bool ExportTraffic(const std::vector<TrafficEntry>& entries, const std::string& path, bool csv,
                   std::string& error) {
    std::string text;
    if (csv)
        text = "\xEF\xBB\xBFtime,rtt_ms,result,code,request,reply,meaning\r\n";
    CTrafficDecoder decoder;
    for (const auto& e : entries) {
        const std::string meaning = TransactionText(decoder.Decode(e));
        char rtt[32];
        std::snprintf(rtt, sizeof rtt, "%.2f", e.rttMs);
        const std::string result = ResultText(e.rc);
        if (csv) {
            // Only the meaning can hold a comma or a quote: hex bytes,
            // numbers and the result texts never do.
            text += TrafficTime(e.wallMs) + "," + rtt + "," + result + "," + std::to_string(e.rc) +
                    "," + HexBytes(e.request) + "," + HexBytes(e.reply) + "," + CsvQuoted(meaning) +
                    "\r\n";
        } else {
            char head[96];
            std::snprintf(head, sizeof head, "%s %8s ms  ", TrafficTime(e.wallMs).c_str(), rtt);
            text += head + result + " (" + std::to_string(e.rc) + ")\n";
            text += "  TX: " + HexBytes(e.request) + "\n";
            text += "  RX: " + HexBytes(e.reply) + "\n";
            text += "  " + meaning + "\n";
        }
    }
    if (const int err = WriteFileAtomically(path, text)) {
        error = FileErrorText(err);
        return false;
    }
    return true;
}
