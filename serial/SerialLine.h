#pragma once
// The narrow view of a serial line that the Modbus master needs. CComPort is
// the real one; tests may plug in their own.

#include <cstddef>
#include <cstdint>

class ISerialLine {
public:
    virtual ~ISerialLine() = default;
    virtual bool IsOpen() const = 0;
    // Writes all bytes, waiting at most timeoutMs for the line to take them.
    // Returns the number of bytes written, or -1 on an error.
    virtual int Write(const uint8_t* data, size_t len, int timeoutMs) = 0;
    // Reads what is queued, never more than cap bytes, without blocking.
    // Returns the byte count (0 when nothing is queued) or -1 on an error.
    virtual int Read(uint8_t* buf, size_t cap) = 0;
    // Bytes waiting in the input queue, or -1 on an error.
    virtual int QueuedInput() = 0;
    // Waits until input is queued, Interrupt is called, or timeoutMs passes.
    // True when input is there.
    virtual bool WaitInput(int timeoutMs) = 0;
    // Ends a WaitInput under way on another thread at once.
    virtual void Interrupt() {}
    virtual void PurgeInput() = 0;
    virtual void PurgeOutput() = 0;
    // Parity, framing and overrun errors seen since the last call (0 = none or
    // not reported by this kind of device).
    virtual uint32_t TakeLineErrors() = 0;
    // True once the device has gone away (adapter pulled, peer hung up): from
    // then on nothing passes and every wait would end at once, so the user of
    // the line must stop using it. Stays true until the line is reopened.
    virtual bool IsGone() const { return false; }
};
