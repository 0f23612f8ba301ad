// The serial line on Windows: a COM port opened for overlapped I/O, so that a
// wait for input can end on an event of ours (Interrupt) as well as on the
// port's, and a write never blocks beyond its time-out.

#include "serial/ComPort.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

// Not in every MinGW's headers.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

using Clock = std::chrono::steady_clock;

HANDLE H(void* h) {
    return static_cast<HANDLE>(h);
}

std::wstring Wide(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

// The errors a port gives once its device has gone: a pulled USB adapter
// answers with one of the first ones, depending on its driver; Wine's port on
// a pseudo-terminal whose far end closed with the last two.
bool IsVanished(DWORD err) {
    switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NO_SUCH_DEVICE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NOT_READY:
    case ERROR_BROKEN_PIPE:
        return true;
    default:
        return false;
    }
}

// Waits at most ms for an overlapped operation of ours, cancels it when it is
// still under way then, and waits until it has let go of its OVERLAPPED.
// The bytes it moved, or -1 with err set when it failed (not when cancelled).
long Complete(HANDLE port, OVERLAPPED& ov, DWORD ms, DWORD& err) {
    if (WaitForSingleObject(ov.hEvent, ms) != WAIT_OBJECT_0)
        CancelIoEx(port, &ov);
    DWORD n = 0;
    if (GetOverlappedResult(port, &ov, &n, TRUE))
        return static_cast<long>(n);
    err = GetLastError();
    return err == ERROR_OPERATION_ABORTED ? static_cast<long>(n) : -1;
}

uint32_t LineErrorsOf(DWORD ce) {
    uint32_t errs = 0;
    if (ce & CE_RXPARITY)
        errs |= kLineErrParity;
    if (ce & CE_FRAME)
        errs |= kLineErrFraming;
    if (ce & (CE_OVERRUN | CE_RXOVER))
        errs |= kLineErrOverrun;
    return errs;
}

} // namespace

bool ReadLineSettings(int, LineSettings&) {
    return false;
}

void SleepPrecisely(std::chrono::nanoseconds d) {
    if (d <= d.zero())
        return;
    // One timer per thread. Before Windows 10 1803 there is no
    // high-resolution one: the plain timer then sleeps on the system's ticks.
    struct STimer {
        HANDLE h = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
        STimer() {
            if (!h)
                h = CreateWaitableTimerW(nullptr, TRUE, nullptr);
        }
        ~STimer() {
            if (h)
                CloseHandle(h);
        }
    };
    thread_local STimer timer;
    LARGE_INTEGER due;
    due.QuadPart = -((d.count() + 99) / 100); // relative, in 100 ns, rounded up
    if (timer.h && SetWaitableTimer(timer.h, &due, 0, nullptr, nullptr, FALSE))
        WaitForSingleObject(timer.h, INFINITE);
    else
        Sleep(static_cast<DWORD>((d.count() + 999999) / 1000000));
}

CComPort::CComPort()
    : m_hWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_hReadDone(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_hWriteDone(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_hEventDone(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CComPort::~CComPort() {
    Close();
    for (void* h : {m_hWake, m_hReadDone, m_hWriteDone, m_hEventDone})
        if (h)
            CloseHandle(H(h));
}

void CComPort::Interrupt() {
    if (m_hWake)
        SetEvent(H(m_hWake));
}

void CComPort::NoteIoError(int err) {
    if (IsVanished(static_cast<DWORD>(err)))
        m_bGone = true;
}

void CComPort::Fail(int err) {
    m_nLastErrno = err;
    switch (static_cast<DWORD>(err)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NO_SUCH_DEVICE:
        m_lastError = EPortError::NoDevice;
        break;
    // A COM port another program holds answers "access denied": no user is
    // kept from a port by permissions on Windows.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        m_lastError = EPortError::Busy;
        break;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
        m_lastError = EPortError::NotSerial;
        break;
    case ERROR_INVALID_PARAMETER:
        m_lastError = EPortError::Settings;
        break;
    default:
        m_lastError = EPortError::Other;
        break;
    }
}

bool CComPort::Open(const std::string& devicePath) {
    if (IsOpen())
        Close();
    m_lastError = EPortError::None;
    m_nLastErrno = 0;
    HANDLE h = CreateFileW(Wide(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Fail(static_cast<int>(GetLastError()));
        return false;
    }
    // Reads return at once with what is queued; waits are WaitInput's. A file
    // or another device refuses the time-outs: it is no serial line.
    COMMTIMEOUTS to{MAXDWORD, 0, 0, 0, 0};
    if (GetFileType(h) != FILE_TYPE_CHAR || !SetCommTimeouts(h, &to) ||
        !SetCommMask(h, EV_RXCHAR | EV_ERR)) {
        m_nLastErrno = static_cast<int>(GetLastError());
        m_lastError = EPortError::NotSerial;
        CloseHandle(h);
        return false;
    }
    SetupComm(h, 4096, 4096);
    m_hPort = h;
    m_strDevice = devicePath;
    m_bGone = false;
    m_bRts = true;
    m_nErrors = 0;
    PollStatus(); // errors from before the open are not ours
    m_nErrors = 0;
    return true;
}

bool CComPort::Configure() {
    if (!IsOpen())
        return false;
    return PurgeComm(H(m_hPort), PURGE_RXCLEAR | PURGE_TXCLEAR) != 0;
}

bool CComPort::SetLine(const LineSettings& s) {
    if (!IsOpen())
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // Wine's port on a pseudo-terminal cannot report its state: the fields
    // that matter are all set below.
    if (!GetCommState(H(m_hPort), &dcb)) {
        dcb = DCB{};
        dcb.DCBlength = sizeof dcb;
        dcb.XonLim = 2048;
        dcb.XoffLim = 512;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
    }
    dcb.BaudRate = static_cast<DWORD>(s.baud);
    dcb.ByteSize = static_cast<BYTE>(s.dataBits);
    dcb.Parity = s.parity == 'o' ? ODDPARITY : s.parity == 'e' ? EVENPARITY : NOPARITY;
    dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    // Parity errors are counted, not marked in the data or dropped.
    dcb.fParity = s.parity != 'n';
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = m_bRts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    if (!SetCommState(H(m_hPort), &dcb)) {
        Fail(static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

bool CComPort::SetRts(bool on) {
    if (!IsOpen())
        return false;
    m_bRts = on;
    return EscapeCommFunction(H(m_hPort), on ? SETRTS : CLRRTS) != 0;
}

void CComPort::Close() {
    if (!IsOpen())
        return;
    PurgeComm(H(m_hPort), PURGE_TXABORT | PURGE_TXCLEAR);
    CloseHandle(H(m_hPort));
    m_hPort = nullptr;
}

int CComPort::Write(const uint8_t* data, size_t len, int timeoutMs) {
    if (!IsOpen() || IsGone())
        return -1;
    OVERLAPPED ov{};
    ov.hEvent = H(m_hWriteDone);
    ResetEvent(ov.hEvent);
    DWORD n = 0;
    if (WriteFile(H(m_hPort), data, static_cast<DWORD>(len), &n, &ov))
        return static_cast<int>(n);
    DWORD e = GetLastError();
    // Bytes the line has not taken by the deadline are not sent at all.
    const long done =
        e == ERROR_IO_PENDING ? Complete(H(m_hPort), ov, static_cast<DWORD>(timeoutMs), e) : -1;
    if (done < 0)
        NoteIoError(static_cast<int>(e));
    return static_cast<int>(done);
}

int CComPort::PollStatus() {
    COMSTAT st{};
    DWORD ce = 0;
    if (!ClearCommError(H(m_hPort), &ce, &st)) {
        NoteIoError(static_cast<int>(GetLastError()));
        return -1;
    }
    if (ce)
        m_nErrors |= LineErrorsOf(ce);
    return static_cast<int>(st.cbInQue);
}

int CComPort::Read(uint8_t* buf, size_t cap) {
    if (!IsOpen() || IsGone())
        return -1;
    // Only what is queued is asked for: an overlapped read of an empty queue
    // would wait (Wine keeps it pending whatever the time-outs say).
    const int queued = PollStatus();
    if (queued <= 0)
        return queued;
    OVERLAPPED ov{};
    ov.hEvent = H(m_hReadDone);
    ResetEvent(ov.hEvent);
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(cap, static_cast<size_t>(queued)));
    if (ReadFile(H(m_hPort), buf, want, &n, &ov))
        return static_cast<int>(n);
    DWORD e = GetLastError();
    // Queued bytes are handed over at once; never wait long for them.
    const long done = e == ERROR_IO_PENDING ? Complete(H(m_hPort), ov, 100, e) : -1;
    if (done < 0)
        NoteIoError(static_cast<int>(e));
    return static_cast<int>(done);
}

int CComPort::QueuedInput() {
    if (!IsOpen() || IsGone())
        return -1;
    return PollStatus();
}

bool CComPort::WaitInput(int timeoutMs) {
    if (!IsOpen()) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return false;
    }
    std::lock_guard<std::mutex> lk(m_waitLock);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (IsGone())
            return false; // the caller stops using the line
        const int queued = PollStatus();
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (queued < 0 && !IsGone() && left > 0) // no spinning on a port that fails
            WaitForSingleObject(H(m_hWake), static_cast<DWORD>(std::min<long long>(left, 10)));
        if (queued != 0)
            return queued > 0;
        if (left <= 0)
            return false;
        OVERLAPPED ov{};
        ov.hEvent = H(m_hEventDone);
        ResetEvent(ov.hEvent);
        DWORD mask = 0;
        if (!WaitCommEvent(H(m_hPort), &mask, &ov)) {
            const DWORD e = GetLastError();
            if (e != ERROR_IO_PENDING) {
                NoteIoError(static_cast<int>(e));
                // No event to wait for: look again shortly, still ending on
                // Interrupt at once.
                if (!IsGone() && WaitForSingleObject(H(m_hWake), 1) == WAIT_OBJECT_0)
                    return false;
                continue;
            }
            // A byte that came while the wait was being set up raises no event.
            DWORD w = WAIT_TIMEOUT;
            if (PollStatus() == 0) {
                HANDLE both[2] = {ov.hEvent, H(m_hWake)};
                w = WaitForMultipleObjects(2, both, FALSE, static_cast<DWORD>(left));
            }
            DWORD ignored = 0;
            Complete(H(m_hPort), ov, 0, ignored);
            if (w == WAIT_OBJECT_0 + 1)
                return false;
        }
        // An event, or a wait that ended without one (Wine ends each one
        // within a millisecond on a pseudo-terminal, which has no modem
        // lines): the queue decides.
    }
}

void CComPort::PurgeInput() {
    if (IsOpen())
        PurgeComm(H(m_hPort), PURGE_RXCLEAR);
}

void CComPort::PurgeOutput() {
    if (IsOpen())
        PurgeComm(H(m_hPort), PURGE_TXABORT | PURGE_TXCLEAR);
}

uint32_t CComPort::TakeLineErrors() {
    if (!IsOpen())
        return 0;
    PollStatus();
    return m_nErrors.exchange(0);
}
