#pragma once
// Listens to a line that another master drives: splits the byte stream into
// RTU frames from the protocol alone (function code, byte counts, CRC), tells
// requests from replies by what it expects next, pairs them into
// transactions and decodes each (FrameDecode.h). Silence between bytes is
// only a hint: USB adapters deliver bytes in bursts, so a frame is never
// judged by timing alone. After noise or a missed byte it finds the next
// whole frame and says how many bytes it dropped.
//
// No port and no clock: the caller feeds bytes with the time they arrived
// and calls Tick when nothing arrives, so requests that get no answer are
// reported.

#include "driver/FrameDecode.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SLineEvent {
    enum class EKind { Transaction, Noise };
    EKind kind = EKind::Transaction;
    double timeMs = 0; // first byte of the request (or of the reply, or of the noise)
    double endMs = 0;  // last byte seen
    std::vector<uint8_t> request, reply; // whole frames; noise: the dropped bytes in request
    STransaction tx;
};

struct SLineCounts {
    size_t transactions = 0;
    std::map<int, size_t> perSlave;
    size_t noReply = 0, exceptions = 0, badReplies = 0, unpairedReplies = 0;
    size_t noiseEvents = 0, noiseBytes = 0;
};

class CLineMonitor {
public:
    // gapHintMs: silence after which bytes that form no frame are given up as
    // noise; replyTimeoutMs: how long a request waits for its reply.
    explicit CLineMonitor(double gapHintMs = 50, double replyTimeoutMs = 1000);

    void Feed(const uint8_t* data, size_t len, double timeMs);
    void Tick(double nowMs);
    // Events completed since the last call, in line order.
    std::vector<SLineEvent> Take();
    const SLineCounts& Counts() const { return m_counts; }

private:
    struct SFrame {
        std::vector<uint8_t> bytes;
        double timeMs = 0, endMs = 0;
    };
    void Parse();
    bool TryFrameAt(size_t off, bool onlyEndingHere);
    void Drop(size_t n);
    void FlushNoise();
    void OnRequest(SFrame f);
    void OnReply(SFrame f);
    void Emit(const SFrame* request, const SFrame* reply);
    void ExpireRequest();

    double m_gapHintMs, m_replyTimeoutMs;
    std::vector<uint8_t> m_buf;
    std::vector<double> m_times;
    std::vector<uint8_t> m_noise;
    double m_noiseTime = 0;
    bool m_hasPending = false;
    SFrame m_pending;
    std::map<int, bool> m_speedUnitHz; // per slave, as its status reads show it
    std::vector<SLineEvent> m_events;
    SLineCounts m_counts;
};
