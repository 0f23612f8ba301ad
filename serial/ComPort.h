#pragma once
// One serial device opened exclusively, in raw mode. Thread use: Open, Close
// and Configure on the owner's thread; Read, QueuedInput, WaitInput and
// TakeLineErrors on the master's receive thread; Write and the purges inside a
// transaction. The descriptor itself is only changed by Open and Close, which
// the master calls while its receive thread is stopped.
// ComPort.cpp is the terminal (Linux) line, ComPortWin.cpp the Windows one.

#include "serial/SerialLine.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

// Line error bits returned by TakeLineErrors.
enum : uint32_t {
    kLineErrParity = 1u << 0,
    kLineErrFraming = 1u << 1,
    kLineErrOverrun = 1u << 2,
};

// Why an Open failed, for the user.
enum class EPortError { None, NoDevice, Permission, Busy, NotSerial, Settings, Other };

struct LineSettings {
    int baud = 9600;
    char parity = 'n'; // 'n', 'o' or 'e'
    int dataBits = 8;
    int stopBits = 1;
};

// Parses the "9600,n,8,1" form. Returns false for anything it cannot apply.
bool ParseLineSettings(const std::string& text, LineSettings& out);
// Nanoseconds one character takes on the line: start, data, parity and stop
// bits. 0 for no baud rate.
int64_t CharTimeNs(const LineSettings& ls);
// The settings currently in force on a terminal, whoever set them (the
// virtual driver reads its pseudo-terminal's this way). False when fd is no
// terminal, and always on Windows. A pseudo-terminal keeps no parity: odd
// reads as odd, even as none.
bool ReadLineSettings(int fd, LineSettings& out);

class CComPort : public ISerialLine {
public:
    CComPort();
    ~CComPort() override;
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    // Opens the device exclusively (TIOCEXCL and an advisory flock; on
    // Windows no sharing, as \\.\COMn), raw, non-blocking. An open port is
    // closed first.
    bool Open(const std::string& devicePath);
    // Queues purged; returns false when the port is closed.
    bool Configure();
    // Applies baud rate, parity, data and stop bits.
    bool SetLine(const LineSettings& settings);
    bool SetRts(bool on);
    void Close();

    const std::string& DevicePath() const { return m_strDevice; }
    EPortError LastError() const { return m_lastError; }
    // errno, or on Windows GetLastError, of the last failure.
    int LastErrno() const { return m_nLastErrno; }

#ifdef _WIN32
    bool IsOpen() const override {
        return m_hPort != nullptr;
    }
#else
    bool IsOpen() const override {
        return m_hPort >= 0;
    }
#endif
    int Write(const uint8_t* data, size_t len, int timeoutMs) override;
    int Read(uint8_t* buf, size_t cap) override;
    int QueuedInput() override;
    bool WaitInput(int timeoutMs) override;
    void Interrupt() override;
    void PurgeInput() override;
    void PurgeOutput() override;
    uint32_t TakeLineErrors() override;
    bool IsGone() const override {
        return m_bGone.load();
    }

private:
    void Fail(int err);
    // Marks the line gone when err says the device has vanished.
    void NoteIoError(int err);

#ifdef _WIN32
    // Bytes queued, and the line errors the driver reported (kept for
    // TakeLineErrors: asking clears them); -1 on an error.
    int PollStatus();

    void* m_hPort = nullptr; // HANDLE, opened for overlapped I/O
    void* m_hWake = nullptr; // event that ends a WaitInput early
    void *m_hReadDone = nullptr, *m_hWriteDone = nullptr, *m_hEventDone = nullptr;
    // One WaitCommEvent at a time: the master's receive thread may still be
    // leaving its wait when a transaction starts one.
    std::mutex m_waitLock;
    std::atomic<uint32_t> m_nErrors{0}; // line errors not yet taken
    bool m_bRts = true;
#else
    int m_hPort = -1;
    int m_hWake = -1; // eventfd that ends a WaitInput early
#endif
    std::string m_strDevice;
    EPortError m_lastError = EPortError::None;
    int m_nLastErrno = 0;
    // Set by whichever thread sees the hang-up first (receive thread or a
    // transaction); cleared only by Open.
    std::atomic<bool> m_bGone{false};
#ifndef _WIN32
    bool m_bHaveCounts = false;
    bool m_bNoCounts = false;                        // the device does not count line errors
    int m_nParity = 0, m_nFrame = 0, m_nOverrun = 0; // last TIOCGICOUNT values
#endif
};

// Sleeps d and not less, about as precisely as the system allows (the master
// sleeps through the bytes of a reply with it): std::this_thread::sleep_for
// on Linux. On Windows that returns at once under a millisecond and otherwise
// waits for the system's 15.6 ms ticks; a high-resolution timer does not.
void SleepPrecisely(std::chrono::nanoseconds d);

// Text of an open failure for the user (a short Chinese reason with a hint).
std::string PortErrorText(EPortError err);
