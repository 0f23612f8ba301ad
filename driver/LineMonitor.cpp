#include "driver/LineMonitor.h"

#include "driver/SlaveList.h"
#include "lang/Tr.h"
#include "modbus/Crc16.h"
#include "modbus/ResultCode.h"
#include "modbus/RtuFrame.h"

namespace {

constexpr size_t kShortest = 5; // an exception reply

bool CrcOk(const uint8_t* f, size_t len) {
    return len >= 4 &&
           Crc16Value(f, len - 2) == static_cast<uint16_t>(f[len - 2] | (f[len - 1] << 8));
}

// The length of a frame starting at p read as a request: 0 while the bytes
// seen do not tell yet, -1 when it cannot be one.
int RequestLength(const uint8_t* p, size_t avail) {
    if (avail < 2)
        return 0;
    if (p[0] > kLastSlaveAddress)
        return -1;
    switch (p[1]) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
        return 8;
    case 0x0F:
    case 0x10:
        return avail < 7 ? 0 : 9 + p[6];
    case kFnEncapsulated:
        return avail < 3 ? 0 : p[2] == kMeiReadDeviceId ? 7 : -1;
    default:
        return -1;
    }
}

// As RequestLength, read as a reply (never from the broadcast address).
int ReplyLength(const uint8_t* p, size_t avail) {
    if (avail < 2)
        return 0;
    if (p[0] == 0 || p[0] > kLastSlaveAddress)
        return -1;
    const uint8_t fn = p[1] & 0x7F;
    const bool known =
        (fn >= 0x01 && fn <= 0x06) || fn == 0x0F || fn == 0x10 || fn == kFnEncapsulated;
    if (!known)
        return -1;
    if (p[1] & 0x80)
        return static_cast<int>(kShortest);
    switch (fn) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
        return avail < 3 ? 0 : 5 + p[2];
    case kFnEncapsulated: {
        if (avail < 3)
            return 0;
        if (p[2] != kMeiReadDeviceId)
            return -1;
        // Eight header bytes, then each object's id, length and value.
        size_t pos = 8;
        for (unsigned i = 0; pos <= avail && i < (avail >= 8 ? p[7] : 1u); ++i) {
            if (pos + 2 > avail)
                return 0;
            pos += 2u + p[pos + 1];
        }
        return avail < 8 ? 0 : static_cast<int>(pos + 2);
    }
    default:
        return 8;
    }
}

} // namespace

CLineMonitor::CLineMonitor(double gapHintMs, double replyTimeoutMs)
    : m_gapHintMs(gapHintMs), m_replyTimeoutMs(replyTimeoutMs) {}

void CLineMonitor::Feed(const uint8_t* data, size_t len, double timeMs) {
    for (size_t i = 0; i < len; ++i) {
        // Bytes that made no frame before a long silence will not become one.
        if (!m_buf.empty() && timeMs - m_times.back() > m_gapHintMs) {
            Drop(m_buf.size());
            FlushNoise();
        }
        m_buf.push_back(data[i]);
        m_times.push_back(timeMs);
        // One byte at a time, so a frame is found the moment it is whole.
        Parse();
    }
}

void CLineMonitor::Tick(double nowMs) {
    if (!m_buf.empty() && nowMs - m_times.back() > m_gapHintMs)
        Drop(m_buf.size());
    if (!m_buf.empty())
        return;
    FlushNoise();
    if (m_hasPending && nowMs - m_pending.endMs > m_replyTimeoutMs)
        ExpireRequest();
}

std::vector<SLineEvent> CLineMonitor::Take() {
    std::vector<SLineEvent> out;
    out.swap(m_events);
    return out;
}

void CLineMonitor::Parse() {
    while (!m_buf.empty()) {
        if (TryFrameAt(0, false))
            continue;
        const uint8_t* p = m_buf.data();
        const size_t n = m_buf.size();
        // The first byte starts no frame: neither reading can still complete.
        auto settled = [&](int len) {
            return len < 0 || len > static_cast<int>(kRtuMaxFrame) ||
                   (len > 0 && static_cast<size_t>(len) <= n);
        };
        if (settled(RequestLength(p, n)) && settled(ReplyLength(p, n))) {
            Drop(1);
            continue;
        }
        // The first bytes may still grow into a frame, or be the rest of one
        // whose start was missed: a frame that has just completed further on
        // settles it.
        bool found = false;
        for (size_t off = 1; off + kShortest <= n && !found; ++off)
            found = TryFrameAt(off, true);
        if (!found)
            return;
    }
}

bool CLineMonitor::TryFrameAt(size_t off, bool onlyEndingHere) {
    const uint8_t* p = m_buf.data() + off;
    const size_t avail = m_buf.size() - off;
    // A reply is what the line expects after a request to this slave.
    const bool expectReply = m_hasPending && p[0] == m_pending.bytes[0] && avail >= 2 &&
                             (p[1] & 0x7F) == (m_pending.bytes[1] & 0x7F);
    const int lens[2] = {expectReply ? ReplyLength(p, avail) : RequestLength(p, avail),
                         expectReply ? RequestLength(p, avail) : ReplyLength(p, avail)};
    for (int k = 0; k < 2; ++k) {
        const int len = lens[k];
        if (len < static_cast<int>(kShortest) || static_cast<size_t>(len) > avail)
            continue;
        if (onlyEndingHere && static_cast<size_t>(len) != avail)
            continue;
        if (!CrcOk(p, static_cast<size_t>(len)))
            continue;
        Drop(off);
        FlushNoise();
        SFrame f;
        f.bytes.assign(m_buf.begin(), m_buf.begin() + len);
        f.timeMs = m_times.front();
        f.endMs = m_times[static_cast<size_t>(len) - 1];
        m_buf.erase(m_buf.begin(), m_buf.begin() + len);
        m_times.erase(m_times.begin(), m_times.begin() + len);
        const bool reply = (k == 0) == expectReply;
        if (reply)
            OnReply(std::move(f));
        else
            OnRequest(std::move(f));
        return true;
    }
    return false;
}

void CLineMonitor::Drop(size_t n) {
    if (n == 0)
        return;
    if (m_noise.empty())
        m_noiseTime = m_times.front();
    m_noise.insert(m_noise.end(), m_buf.begin(), m_buf.begin() + static_cast<long>(n));
    m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<long>(n));
    m_times.erase(m_times.begin(), m_times.begin() + static_cast<long>(n));
}

void CLineMonitor::FlushNoise() {
    if (m_noise.empty())
        return;
    SLineEvent e;
    e.kind = SLineEvent::EKind::Noise;
    e.timeMs = e.endMs = m_noiseTime;
    e.request.swap(m_noise);
    e.tx.problem = lang::translate("driver/FrameDecode", "非RTU帧");
    ++m_counts.noiseEvents;
    m_counts.noiseBytes += e.request.size();
    m_events.push_back(std::move(e));
    m_noise.clear();
}

void CLineMonitor::OnRequest(SFrame f) {
    if (m_hasPending)
        ExpireRequest();
    if (f.bytes[0] == 0) { // broadcast: nobody answers
        Emit(&f, nullptr);
        return;
    }
    m_pending = std::move(f);
    m_hasPending = true;
}

void CLineMonitor::OnReply(SFrame f) {
    if (m_hasPending && f.bytes[0] == m_pending.bytes[0] &&
        (f.bytes[1] & 0x7F) == (m_pending.bytes[1] & 0x7F)) {
        m_hasPending = false;
        Emit(&m_pending, &f);
        return;
    }
    ++m_counts.unpairedReplies;
    Emit(nullptr, &f);
}

void CLineMonitor::ExpireRequest() {
    m_hasPending = false;
    Emit(&m_pending, nullptr);
}

void CLineMonitor::Emit(const SFrame* request, const SFrame* reply) {
    SLineEvent e;
    const SFrame& first = request ? *request : *reply;
    e.timeMs = first.timeMs;
    e.endMs = reply ? reply->endMs : first.endMs;
    if (request)
        e.request = request->bytes;
    if (reply)
        e.reply = reply->bytes;
    const int slave = first.bytes[0];
    DecodeContext ctx;
    ctx.speedUnitHz = m_speedUnitHz[slave];
    e.tx = DecodeExchange(e.request.data(), e.request.size(), e.reply.data(), e.reply.size(), ctx);
    // Later speeds of this slave are read in the unit its status shows.
    for (const STxField& f : e.tx.fields)
        if (f.addr == kRegSpeedUnitHz && e.tx.block == "status")
            m_speedUnitHz[slave] = f.value == "1";
    ++m_counts.transactions;
    ++m_counts.perSlave[slave];
    if (request && !reply && !e.tx.broadcast)
        ++m_counts.noReply;
    else if (reply && (reply->bytes[1] & 0x80))
        ++m_counts.exceptions;
    else if (e.tx.result == kResultBadReply)
        ++m_counts.badReplies;
    m_events.push_back(std::move(e));
}
