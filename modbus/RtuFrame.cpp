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
    return 3;
}

void CReplyAssembler::Reset(uint8_t slave) {
    m_nLen = 0;
    m_nFrameLen = 0;
    m_nSlave = slave;
}

void CReplyAssembler::Feed(const uint8_t* data, size_t len) {
    size_t room = kRtuMaxFrame - m_nLen;
    size_t n = std::min(len, room); // bytes beyond a whole frame are dropped
    std::memcpy(m_buf + m_nLen, data, n);
    m_nLen += n;
}

CReplyAssembler::EState CReplyAssembler::Judge() {
    int e = ExpectedReplyLength(m_buf, m_nLen);
    if (e >= 0)
        m_nExpected = e;
    if (e < 0 || m_nLen < static_cast<size_t>(m_nExpected))
        return EState::NeedMore;
    // A frame of known length is judged on exactly that length, so noise that
    // arrives right behind it does not spoil a good reply. Device
    // identification has no length rule: the whole buffer must end in its CRC.
    const bool known = m_buf[1] != kFnEncapsulated && e > 3;
    size_t len = known ? static_cast<size_t>(m_nExpected) : m_nLen;
    if (!CheckReply(m_nSlave, m_buf, static_cast<uint32_t>(len)))
        return EState::NeedMore;
    m_nFrameLen = len;
    return EState::Complete;
}
