#include "modbus/RtuFrame.h"

#include "modbus/Crc16.h"

#include <algorithm>
#include <cstring>

namespace {
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v & 0xFF);
}
} // namespace

size_t BuildReadRequest(uint8_t* out, uint8_t slave, uint16_t start, uint16_t count) {
    out[0] = slave;
    out[1] = kFnReadHolding;
    Put16(out + 2, start);
    Put16(out + 4, count);
    return AppendCrc(out, 6);
}

size_t BuildWriteSingleRequest(uint8_t* out, uint8_t slave, uint16_t addr, uint16_t value) {
    out[0] = slave;
    out[1] = kFnWriteSingle;
    Put16(out + 2, addr);
    Put16(out + 4, value);
    return AppendCrc(out, 6);
}

size_t BuildWriteMultipleRequest(uint8_t* out, uint8_t slave, uint16_t start,
                                 const uint16_t* values, uint16_t count) {
    count = std::min<uint16_t>(count, kMaxWriteRegisters);
    out[0] = slave;
    out[1] = kFnWriteMultiple;
    Put16(out + 2, start);
    Put16(out + 4, count);
    out[6] = static_cast<uint8_t>(count * 2);
    for (uint16_t i = 0; i < count; ++i)
        Put16(out + 7 + 2 * i, values[i]);
    return AppendCrc(out, 7u + 2u * count);
}

size_t BuildReadDeviceIdRequest(uint8_t* out, uint8_t slave, uint8_t code, uint8_t objectId) {
    out[0] = slave;
    out[1] = kFnEncapsulated;
    out[2] = kMeiReadDeviceId;
    out[3] = code;
    out[4] = objectId;
    return AppendCrc(out, 5);
}

bool CheckReply(uint32_t slave, const uint8_t* buf, uint32_t len) {
    len &= 0xFFFF;
    if (len < 4 || buf[0] != static_cast<uint8_t>(slave & 0xFF))
        return false;
    uint16_t crc = Crc16(buf, len - 2);
    return buf[len - 2] == static_cast<uint8_t>(crc >> 8) &&
           buf[len - 1] == static_cast<uint8_t>(crc & 0xFF);
}

int ExpectedReplyLength(const uint8_t* buf, size_t len) {
    if (len < 2)
        return -1;
    uint8_t fn = buf[1];
    if (fn == kFnReadHolding)
        return len < 3 ? -1 : buf[2] + 5;
    if (fn == kFnWriteSingle || fn == kFnWriteMultiple)
        return 8;
    if (fn & 0x80)
        return 5;
    if (fn == kFnEncapsulated && len >= 8 && buf[2] == kMeiReadDeviceId) {
        // Header of eight bytes, then per object its id, length and value.
        size_t pos = 8;
        for (unsigned i = 0; i < buf[7]; ++i) {
            if (pos + 2 > len)
                return 3; // not all object headers seen yet: the CRC decides
            pos += 2u + buf[pos + 1];
        }
        return pos + 2 <= kRtuMaxFrame ? static_cast<int>(pos + 2) : 3;
    }
    return 3;
}

bool ReplyAnswers(const uint8_t* req, size_t reqLen, const uint8_t* rep, size_t repLen) {
    if (reqLen < 6 || repLen < 5 || (rep[1] & 0x7F) != req[1])
        return false;
    if (rep[1] & 0x80)
        return true;
    switch (req[1]) {
    case kFnReadHolding: {
        unsigned count = static_cast<unsigned>(req[4] << 8 | req[5]);
        return rep[2] == static_cast<uint8_t>(2 * count);
    }
    case kFnWriteSingle:
    case kFnWriteMultiple:
        return repLen >= 8 && std::memcmp(req + 2, rep + 2, 4) == 0;
    case kFnEncapsulated:
        return rep[2] == req[2] && rep[3] == req[3];
    default:
        return true;
    }
}

void CReplyAssembler::SetRequests(const uint8_t* current, size_t currentLen, const uint8_t* stale,
                                  size_t staleLen) {
    m_nCurrentLen = std::min(currentLen, sizeof m_current);
    std::memcpy(m_current, current, m_nCurrentLen);
    m_nStaleLen = stale ? std::min(staleLen, sizeof m_stale) : 0;
    if (m_nStaleLen)
        std::memcpy(m_stale, stale, m_nStaleLen);
}

void CReplyAssembler::Reset(uint8_t slave) {
    m_nLen = 0;
    m_nFrameLen = 0;
    m_nSlave = slave;
}

void CReplyAssembler::Feed(const uint8_t* data, size_t len) {
    size_t room = kRtuMaxFrame - m_nLen;
    size_t n = std::min(len, room); // bytes beyond a whole frame are dropped
    if (n == 0)
        return; // an empty chunk may come without a buffer
    std::memcpy(m_buf + m_nLen, data, n);
    m_nLen += n;
}

size_t CReplyAssembler::Missing() const {
    if (m_nLen == 0)
        return 0;
    const int e = ExpectedReplyLength(m_buf, m_nLen);
    const size_t need = e < 5 ? 5 : static_cast<size_t>(e);
    return need > m_nLen ? need - m_nLen : 0;
}

CReplyAssembler::EState CReplyAssembler::Judge() {
    for (;;) {
        int e = ExpectedReplyLength(m_buf, m_nLen);
        if (e >= 0)
            m_nExpected = e;
        // Device identification was judged by its CRC alone before its
        // length could be told; a reply whose objects claim more than it
        // carries is still taken that way.
        const bool crcAlone = m_nLen >= 2 && m_buf[1] == kFnEncapsulated;
        if (e < 0 || (m_nLen < static_cast<size_t>(m_nExpected) && !crcAlone))
            return EState::NeedMore;
        // A frame of known length is judged on exactly that length, so noise
        // that arrives right behind it does not spoil a good reply; failing
        // that, the whole buffer may still end in a good CRC (a reply of
        // another length than its function code suggests). A device
        // identification reply's length follows from its objects once their
        // headers are in.
        size_t len = 0;
        const bool known = e > 3 && m_nLen >= static_cast<size_t>(e);
        if (known && CheckReply(m_nSlave, m_buf, static_cast<uint32_t>(e)))
            len = static_cast<size_t>(e);
        else if (CheckReply(m_nSlave, m_buf, static_cast<uint32_t>(m_nLen)))
            len = m_nLen;
        if (len == 0)
            return EState::NeedMore;
        const bool late = m_nStaleLen && ReplyAnswers(m_stale, m_nStaleLen, m_buf, len) &&
                          !(m_nCurrentLen && ReplyAnswers(m_current, m_nCurrentLen, m_buf, len));
        if (!late) {
            m_nFrameLen = len;
            return EState::Complete;
        }
        // The late answer to a request that already timed out: drop it and
        // keep listening for the answer to this one.
        std::memmove(m_buf, m_buf + len, m_nLen - len);
        m_nLen -= len;
        m_nStaleLen = 0;
    }
}
