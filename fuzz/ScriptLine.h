#pragma once
// A serial line for the fuzzers: each request written is answered by the
// next reply of a script, delivered in the script's chunks, one chunk per
// wait of the transaction's thread. A request the script has no reply for is
// refused at once with an exception reply; when a reply's chunks run out
// while a transaction waits for the rest, the line is gone. Either way the
// transaction ends at once instead of waiting out its time-out, and the line
// stays open across inputs unless it went: opening it again costs a receive
// thread, which would cost more than the input itself. Nothing here sleeps.

#include "serial/SerialLine.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class FuzzedDataProvider;

// The fastest line the master takes: it sleeps through the reply bytes a line
// cannot have delivered yet, which at a real rate would cost each input
// milliseconds of nothing.
constexpr const char* kFastLine = "4000000,n,8,1";

struct ScriptReply {
    std::vector<uint8_t> body;
    bool fixHead = false;     // the request's slave address and function first
    bool fixCrc = false;      // a correct CRC appended
    bool lineGoes = false;    // no reply: the line is gone at the wait
    std::vector<size_t> cuts; // chunk boundaries (offsets into the reply)
};

// Replies taken from fuzz input until it is spent: a flag byte (bit 0 fix the
// head, bit 1 append the CRC, bit 2 the line goes instead of this reply,
// bits 4-6 the number of cuts), the cut offsets,
// a length byte and the body. At most maxReplies.
std::vector<ScriptReply> ScriptFromInput(FuzzedDataProvider& in, size_t maxReplies);

class CScriptLine : public ISerialLine {
public:
    // A new script; the line comes back if it was gone.
    void Load(std::vector<ScriptReply> replies);

    bool IsOpen() const override { return true; }
    int Write(const uint8_t* data, size_t len, int timeoutMs) override;
    int Read(uint8_t* buf, size_t cap) override;
    int QueuedInput() override;
    bool WaitInput(int timeoutMs) override;
    void Interrupt() override;
    void PurgeInput() override;
    void PurgeOutput() override {}
    uint32_t TakeLineErrors() override { return 0; }
    bool IsGone() const override;

    // Frees the script and everything recorded. Called at the end of each
    // input: memory an input leaves allocated makes libFuzzer look for leaks
    // after it, which costs far more than the input.
    void Release();

    // The requests written so far.
    std::vector<std::vector<uint8_t>> Requests() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<ScriptReply> m_script;
    std::deque<std::vector<uint8_t>> m_pending; // chunks not yet arrived
    std::vector<uint8_t> m_arrived;             // bytes queued for reading
    std::vector<std::vector<uint8_t>> m_requests;
    std::vector<uint8_t> m_refusal; // for the last request, if unanswered
    std::thread::id m_writer;       // the transaction's thread
    bool m_bGone = false;
    bool m_bInterrupted = false;
};
