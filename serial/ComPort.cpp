#include "serial/ComPort.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// Rates without a classic Bxxx constant go through termios2 (Termios2.cpp).
bool SetArbitraryBaud(int fd, int baud);
bool GetLineSettingsOf(int fd, int& baud, char& parity, int& dataBits, int& stopBits);

namespace {

speed_t StandardSpeed(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return 0;
    }
}

long long NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(int ms) {
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

} // namespace

void SleepPrecisely(std::chrono::nanoseconds d) {
    std::this_thread::sleep_for(d);
}

bool ReadLineSettings(int fd, LineSettings& out) {
    LineSettings s;
    if (!GetLineSettingsOf(fd, s.baud, s.parity, s.dataBits, s.stopBits))
        return false;
    out = s;
    return true;
}

CComPort::CComPort() : m_hWake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CComPort::~CComPort() {
    Close();
    if (m_hWake >= 0)
        ::close(m_hWake);
}

void CComPort::Interrupt() {
    if (m_hWake >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_hWake, &one, sizeof one);
    }
}

void CComPort::NoteIoError(int err) {
    // A pulled USB adapter and a pseudo-terminal whose far end closed both
    // answer with these from then on.
    if (err == EIO || err == ENXIO || err == ENODEV || err == EPIPE)
        m_bGone = true;
}

void CComPort::Fail(int err) {
    m_nLastErrno = err;
    switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        m_lastError = EPortError::NoDevice;
        break;
    case EACCES:
    case EPERM:
        m_lastError = EPortError::Permission;
        break;
    case EBUSY:
    case EWOULDBLOCK:
        m_lastError = EPortError::Busy;
        break;
    case ENOTTY:
        m_lastError = EPortError::NotSerial;
        break;
    case EINVAL:
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
    int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return false;
    }
    if (!isatty(fd)) {
        ::close(fd);
        Fail(ENOTTY);
        return false;
    }
    // Another of our programs holding the line is told by the advisory lock;
    // TIOCEXCL keeps everyone else (except root) from opening it after us.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int e = errno;
        ::close(fd);
        Fail(e == EWOULDBLOCK ? EBUSY : e);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    // USB adapters hold received bytes back on a timer unless asked for low
    // latency; devices that know no such flag refuse, which is fine.
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        ss.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &ss);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        int e = errno;
        ::close(fd);
        Fail(e);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        int e = errno;
        ::close(fd);
        Fail(e);
        return false;
    }
    m_hPort = fd;
    m_strDevice = devicePath;
    m_bGone = false;
    m_bHaveCounts = false;
    m_bNoCounts = false;
    TakeLineErrors(); // baseline of the error counters
    return true;
}

bool CComPort::Configure() {
    if (!IsOpen())
        return false;
    return tcflush(m_hPort, TCIOFLUSH) == 0;
}

bool CComPort::SetLine(const LineSettings& s) {
    if (!IsOpen())
        return false;
    termios tio{};
    if (tcgetattr(m_hPort, &tio) != 0) {
        Fail(errno);
        return false;
    }
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    switch (s.dataBits) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    default:
        tio.c_cflag |= CS8;
        break;
    }
    if (s.parity == 'o')
        tio.c_cflag |= PARENB | PARODD;
    else if (s.parity == 'e')
        tio.c_cflag |= PARENB;
    if (s.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    // Parity errors are counted by the driver, not marked in the data.
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK | IGNPAR);
    speed_t sp = StandardSpeed(s.baud);
    cfsetispeed(&tio, sp ? sp : B9600);
    cfsetospeed(&tio, sp ? sp : B9600);
    if (tcsetattr(m_hPort, TCSANOW, &tio) != 0) {
        Fail(errno);
        return false;
    }
    if (!sp && !SetArbitraryBaud(m_hPort, s.baud)) {
        Fail(errno ? errno : EINVAL);
        return false;
    }
    return true;
}

bool CComPort::SetRts(bool on) {
    if (!IsOpen())
        return false;
    int bits = TIOCM_RTS;
    return ioctl(m_hPort, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

void CComPort::Close() {
    if (!IsOpen())
        return;
    tcflush(m_hPort, TCOFLUSH);
    ioctl(m_hPort, TIOCNXCL);
    flock(m_hPort, LOCK_UN);
    ::close(m_hPort);
    m_hPort = -1;
}

int CComPort::Write(const uint8_t* data, size_t len, int timeoutMs) {
    if (!IsOpen() || IsGone())
        return -1;
    size_t done = 0;
    const long long deadline = NowMs() + timeoutMs;
    while (done < len) {
        ssize_t n = ::write(m_hPort, data + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            NoteIoError(errno);
            return -1;
        }
        long long left = deadline - NowMs();
        if (left <= 0)
            break;
        pollfd p{m_hPort, POLLOUT, 0};
        if (poll(&p, 1, static_cast<int>(left)) > 0 && (p.revents & (POLLHUP | POLLNVAL))) {
            m_bGone = true;
            return -1;
        }
    }
    return static_cast<int>(done);
}

int CComPort::Read(uint8_t* buf, size_t cap) {
    if (!IsOpen() || IsGone())
        return -1;
    ssize_t n = ::read(m_hPort, buf, cap);
    if (n >= 0)
        return static_cast<int>(n);
    if (errno == EAGAIN || errno == EINTR)
        return 0;
    NoteIoError(errno);
    return -1;
}

int CComPort::QueuedInput() {
    int n = 0;
    if (!IsOpen() || IsGone())
        return -1;
    if (ioctl(m_hPort, FIONREAD, &n) != 0) {
        NoteIoError(errno);
        return -1;
    }
    return n;
}

bool CComPort::WaitInput(int timeoutMs) {
    if (!IsOpen()) {
        SleepMs(timeoutMs);
        return false;
    }
    if (IsGone())
        return false; // the caller stops using the line
    pollfd p[2] = {{m_hPort, POLLIN, 0}, {m_hWake, POLLIN, 0}};
    int r = poll(p, m_hWake >= 0 ? 2 : 1, timeoutMs);
    if (r > 0 && (p[1].revents & POLLIN)) {
        uint64_t v;
        [[maybe_unused]] ssize_t n = ::read(m_hWake, &v, sizeof v);
        return false;
    }
    if (r > 0 && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
        // Hang-up (adapter pulled, far end closed): poll would return at once
        // forever. Bytes that came before it may still be read.
        if (QueuedInput() > 0)
            return true;
        m_bGone = true;
        return false;
    }
    return r > 0 && (p[0].revents & POLLIN);
}

void CComPort::PurgeInput() {
    if (IsOpen())
        tcflush(m_hPort, TCIFLUSH);
}

void CComPort::PurgeOutput() {
    if (IsOpen())
        tcflush(m_hPort, TCOFLUSH);
}

uint32_t CComPort::TakeLineErrors() {
    if (!IsOpen())
        return 0;
    if (m_bNoCounts)
        return 0;
    serial_icounter_struct ic{};
    if (ioctl(m_hPort, TIOCGICOUNT, &ic) != 0) {
        NoteIoError(errno);
        m_bNoCounts = true; // pseudo-terminals and some adapters do not count errors
        return 0;
    }
    uint32_t errs = 0;
    if (m_bHaveCounts) {
        if (ic.parity != m_nParity)
            errs |= kLineErrParity;
        if (ic.frame != m_nFrame)
            errs |= kLineErrFraming;
        if (ic.overrun != m_nOverrun)
            errs |= kLineErrOverrun;
    }
    m_bHaveCounts = true;
    m_nParity = ic.parity;
    m_nFrame = ic.frame;
    m_nOverrun = ic.overrun;
    return errs;
}
