#pragma once
// One serial device opened exclusively, in raw mode. Thread use: Open, Close
// and Configure on the owner's thread; Read, QueuedInput, WaitInput and
// TakeLineErrors on the master's receive thread; Write and the purges inside a
// transaction. The descriptor itself is only changed by Open and Close, which
// the master calls while its receive thread is stopped.

#include "serial/SerialLine.h"

#include <atomic>
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
// The settings currently in force on a terminal, whoever set them (the
// virtual driver reads its pseudo-terminal's this way). False when fd is no
// terminal. A pseudo-terminal keeps no parity: odd reads as odd, even as none.
bool ReadLineSettings(int fd, LineSettings& out);

class CComPort : public ISerialLine {
public:
    CComPort();
    ~CComPort() override;
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    // Opens the device exclusively (TIOCEXCL and an advisory flock), raw,
    // non-blocking. An open port is closed first.
    bool Open(const std::string& devicePath);
    // Queues purged; returns false when the port is closed.
    bool Configure();
    // Applies baud rate, parity, data and stop bits.
    bool SetLine(const LineSettings& settings);
    bool SetRts(bool on);
    void Close();

    const std::string& DevicePath() const { return m_strDevice; }
    EPortError LastError() const { return m_lastError; }
    int LastErrno() const { return m_nLastErrno; }

    bool IsOpen() const override { return m_hPort >= 0; }
    int Write(const uint8_t* data, size_t len, int timeoutMs) override;
    int Read(uint8_t* buf, size_t cap) override;
    int QueuedInput() override;
    bool WaitInput(int timeoutMs) override;
    void Interrupt() override;
    void PurgeInput() override;
    void PurgeOutput() override;
    uint32_t TakeLineErrors() override;
    bool IsGone() const override { return m_bGone.load(); }

private:
    void Fail(int err);
    // Marks the line gone when err says the device has vanished.
    void NoteIoError(int err);

    int m_hPort = -1;
    int m_hWake = -1; // eventfd that ends a WaitInput early
    std::string m_strDevice;
    EPortError m_lastError = EPortError::None;
    int m_nLastErrno = 0;
    // Set by whichever thread sees the hang-up first (receive thread or a
    // transaction); cleared only by Open.
    std::atomic<bool> m_bGone{false};
    bool m_bHaveCounts = false;
    bool m_bNoCounts = false;                        // the device does not count line errors
    int m_nParity = 0, m_nFrame = 0, m_nOverrun = 0; // last TIOCGICOUNT values
};

// Text of an open failure for the user (a short Chinese reason with a hint).
std::string PortErrorText(EPortError err);
