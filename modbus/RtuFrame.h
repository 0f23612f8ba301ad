#pragma once
// Request frames and the reply test of the RTU master, as pure functions over
// bytes. Nothing here touches a port or a thread.

#include <cstddef>
#include <cstdint>

constexpr size_t kRtuMaxFrame = 256;
constexpr int kMaxWriteRegisters = 31; // 2 * 31 + 9 = 71 bytes, the driver's limit

enum : uint8_t {
    kFnReadHolding = 0x03,
    kFnWriteSingle = 0x06,
    kFnWriteMultiple = 0x10,
    kFnEncapsulated = 0x2B,
    kMeiReadDeviceId = 0x0E,
};

// Each builder writes a complete frame with CRC into out (at least 256 bytes)
// and returns its length.
size_t BuildReadRequest(uint8_t* out, uint8_t slave, uint16_t start, uint16_t count);
size_t BuildWriteSingleRequest(uint8_t* out, uint8_t slave, uint16_t addr, uint16_t value);
// count must be at most kMaxWriteRegisters; values are host order.
size_t BuildWriteMultipleRequest(uint8_t* out, uint8_t slave, uint16_t start,
                                 const uint16_t* values, uint16_t count);
size_t BuildReadDeviceIdRequest(uint8_t* out, uint8_t slave, uint8_t code, uint8_t objectId);

// True when the buffer starts with the slave's address and ends in a correct
// CRC over the bytes before it. Lengths below 4 are never a reply.
bool CheckReply(uint32_t slave, const uint8_t* buf, uint32_t len);

// True when a reply (CRC already checked) is what the request asks for: same
// function, and the byte count of a read or the echo of a write match. An
// exception reply answers any request of its function.
bool ReplyAnswers(const uint8_t* request, size_t requestLen, const uint8_t* reply, size_t replyLen);

// The length a reply must reach before it is judged, from its function code:
// 0x03 byte count + 5; 0x06 and 0x10 eight; exceptions five; device
// identification the sum of its objects once every object header is in;
// others three (judged by the CRC alone). Returns -1 while the bytes seen do
// not tell yet.
int ExpectedReplyLength(const uint8_t* buf, size_t len);

// Collects reply bytes as they arrive. Feed appends chunks (bytes beyond 256
// are dropped); Judge, called when the line has gone quiet, says whether the
// buffer now holds a whole acceptable reply for the expected slave: the
// expected length reached, the slave's address first, a correct CRC.
class CReplyAssembler {
public:
    enum class EState { NeedMore, Complete };

    void Reset(uint8_t slave);
    // The request in flight, and the one before it, which may still be
    // answered late (len 0: none). An answer to the earlier request that does
    // not also answer this one is dropped instead of being taken for it.
    void SetRequests(const uint8_t* current, size_t currentLen, const uint8_t* stale,
                     size_t staleLen);
    void Feed(const uint8_t* data, size_t len);
    EState Judge();

    const uint8_t* Data() const { return m_buf; }
    size_t Length() const { return m_nLen; }
    // Bytes the reply still lacks at the least, judged from what has come so
    // far (the shortest reply, an exception, has five); 0 before the first
    // byte or once the expected length is reached.
    size_t Missing() const;
    // Length of the reply judged Complete (0 before).
    size_t FrameLength() const { return m_nFrameLen; }
    uint8_t Slave() const { return m_nSlave; }

private:
    uint8_t m_buf[kRtuMaxFrame] = {};
    size_t m_nLen = 0;
    size_t m_nFrameLen = 0;
    uint8_t m_nSlave = 0;
    uint8_t m_current[8] = {}; // the head of each request is all it takes to match
    uint8_t m_stale[8] = {};
    size_t m_nCurrentLen = 0, m_nStaleLen = 0;
    int m_nExpected = 3; // keeps its last value, like the line it listens to
};
