#include "sim/SimServer.h"

#include "modbus/Crc16.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

// Serial helper (Termios2.cpp): any baud rate on a terminal.
bool SetArbitraryBaud(int fd, int baud);

namespace {

void SleepUntil(std::chrono::steady_clock::time_point t) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// A request ends when the line has been quiet this long (the pty delivers a
// frame's bytes together, a serial adapter within a few character times).
constexpr int kSilenceMs = 20;

bool CrcOk(const std::vector<uint8_t>& f, size_t len) {
    if (len < 4 || len > f.size())
        return false;
    uint16_t c = Crc16(f.data(), len - 2);
    return f[len - 2] == (c >> 8) && f[len - 1] == (c & 0xFF);
}

void Recrc(std::vector<uint8_t>& f) {
    if (f.size() < 2)
        return;
    f.resize(f.size() - 2);
    size_t n = f.size();
    f.resize(n + 2);
    AppendCrc(f.data(), n);
}

// Length of the request starting the buffer, from its function code; 0 when
// the bytes so far do not tell yet, -1 for a function the driver cannot frame.
int RequestLength(const std::vector<uint8_t>& b) {
    if (b.size() < 2)
        return 0;
    switch (b[1]) {
    case 0x03:
    case 0x06:
        return 8;
    case 0x10:
        return b.size() < 7 ? 0 : 9 + b[6];
    case 0x2B:
        return 7;
    default:
        return -1;
    }
}

} // namespace

bool ParseFault(const std::string& text, EFault& kind, int& param) {
    std::string name = text, value;
    size_t eq = text.find('=');
    if (eq != std::string::npos) {
        name = text.substr(0, eq);
        value = text.substr(eq + 1);
    }
    static const struct {
        const char* name;
        EFault kind;
    } kNames[] = {
        {"none", EFault::None},
        {"silent", EFault::Silent},
        {"badcrc", EFault::BadCrc},
        {"foreign", EFault::ForeignAddress},
        {"wrongfunc", EFault::WrongFunction},
        {"exception", EFault::Exception},
        {"split", EFault::Split},
        {"trailing", EFault::Trailing},
        {"delay", EFault::Delay},
        {"endlessid", EFault::EndlessDeviceId},
    };
    for (const auto& n : kNames) {
        if (name != n.name)
            continue;
        int p = 0;
        if (eq != std::string::npos) {
            bool takesParam = n.kind == EFault::Exception || n.kind == EFault::Split ||
                              n.kind == EFault::Trailing || n.kind == EFault::Delay;
            char* end = nullptr;
            errno = 0;
            long v = std::strtol(value.c_str(), &end, 0);
            if (!takesParam || value.empty() || *end != '\0' || errno != 0 || v < 0 ||
                v > (n.kind == EFault::Exception || n.kind == EFault::Trailing ? 255 : 600000))
                return false;
            p = static_cast<int>(v);
        }
        kind = n.kind;
        param = p;
        return true;
    }
    return false;
}

CSimServer::CSimServer(CVirtualDriver& driver) : m_drivers{&driver} {
    for (auto& t : m_turnaroundUs)
        t = -1;
    m_turnaroundUs[0] = 1000;
}

void CSimServer::SetTurnaround(std::chrono::microseconds t, int slave) {
    if (slave >= 0 && slave < static_cast<int>(m_turnaroundUs.size()))
        m_turnaroundUs[static_cast<size_t>(slave)] = t.count();
}

void CSimServer::AddDriver(CVirtualDriver& driver) {
    m_drivers.push_back(&driver);
}

CSimServer::~CSimServer() {
    Stop();
}

bool CSimServer::Start(int comNumber) {
    if (m_thread.joinable() || m_hMaster >= 0)
        return false; // serving, or hung up and not stopped yet
    int master = -1, slave = -1;
    if (!OpenRawPty(master, slave, m_strSlavePath))
        return false;
    if (pipe2(m_hWake, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(slave);
        close(master);
        return false;
    }
    // A client that sets no baud rate of its own is on the driver's line.
    uint32_t baud = 0;
    char parity = 'n';
    m_drivers.front()->LineSetting(baud, parity);
    SetArbitraryBaud(slave, static_cast<int>(baud));
    m_hMaster = master;
    m_hSlaveKeep = slave;
    if (comNumber != -1 && !m_link.Make(m_strSlavePath, comNumber) && comNumber > 0) {
        Stop();
        return false;
    }
    m_bStop = false;
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void CSimServer::Stop() {
    if (m_thread.joinable()) {
        m_bStop = true;
        char b = 1;
        [[maybe_unused]] ssize_t w = write(m_hWake[1], &b, 1);
        m_thread.join();
    }
    m_link.Remove();
    m_tap.Close();
    for (int* fd : {&m_hMaster, &m_hSlaveKeep, &m_hWake[0], &m_hWake[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void CSimServer::InjectFault(EFault kind, int param, int count, int slave) {
    std::lock_guard<std::mutex> g(m_faultLock);
    if (kind == EFault::LineGone) {
        m_nGoneAfter = count == 0 ? -1 : param;
        return;
    }
    if (kind == EFault::None) {
        m_nGoneAfter = -1;
        m_faults.clear();
        return;
    }
    m_faults[slave] = {count == 0 ? EFault::None : kind, param, count};
}

void CSimServer::ClearFaults() {
    InjectFault(EFault::None, 0, 0);
}

bool CSimServer::Pause(int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (m_bStop)
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0)
            return true;
        pollfd p{m_hWake[0], POLLIN, 0};
        poll(&p, 1, static_cast<int>(left));
    }
}

void CSimServer::WriteAll(const uint8_t* data, size_t len) {
    size_t done = 0;
    int stalls = 0;
    while (done < len && !m_bStop && m_hMaster >= 0) {
        ssize_t n = write(m_hMaster, data + done, len - done);
        if (n > 0) {
            m_tap.Pass(data + done, static_cast<size_t>(n));
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The client does not read: wait a little, then drop the rest.
        pollfd p{m_hMaster, POLLOUT, 0};
        if (poll(&p, 1, 100) <= 0 && ++stalls > 10)
            return;
    }
}

CSimServer::Clock::time_point CSimServer::Send(const std::vector<uint8_t>& bytes,
                                               Clock::time_point start, int64_t charNs) {
    if (charNs <= 0) {
        WriteAll(bytes.data(), bytes.size());
        return Clock::now();
    }
    // Every byte that is due goes out together: after a late wake-up the
    // client gets them as a UART's buffer would hand them over.
    const auto due = [&](size_t i) {
        return start + std::chrono::nanoseconds(charNs * static_cast<int64_t>(i + 1));
    };
    size_t sent = 0;
    while (sent < bytes.size() && !m_bStop) {
        SleepUntil(due(sent));
        const auto now = Clock::now();
        size_t n = 1;
        while (sent + n < bytes.size() && due(sent + n) <= now)
            ++n;
        WriteAll(bytes.data() + sent, n);
        sent += n;
    }
    return due(bytes.size() - 1);
}

bool CSimServer::LineMatches(const LineSettings& line, const CVirtualDriver& driver) {
    uint32_t baud = 0;
    char parity = 'n';
    driver.LineSetting(baud, parity);
    // A pseudo-terminal keeps the baud rate and the odd-parity flag but
    // clears the parity-enable bit and forces 8 data bits, so even parity
    // cannot be told from none here; odd parity, which a real line would
    // garble either way, can. Stop bits do not matter: a receiver checks only
    // the first.
    return static_cast<uint32_t>(line.baud) == baud && (line.parity == 'o') == (parity == 'o');
}

// Both ends of the pseudo-terminal close: the client's side is hung up and
// serving ends. Stop still removes the link.
void CSimServer::HangUp() {
    for (int* fd : {&m_hMaster, &m_hSlaveKeep}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void CSimServer::OnFrame(const std::vector<uint8_t>& frame, Clock::time_point firstSeen) {
    LineSettings line;
    const bool known = ReadLineSettings(m_hSlaveKeep, line);
    // The driver addressed; the first for a broadcast or a stranger.
    CVirtualDriver* target = m_drivers.front();
    for (CVirtualDriver* d : m_drivers)
        if (frame[0] == d->Slave())
            target = d;
    if (known && !LineMatches(line, *target)) {
        ++m_nDiscards; // another baud rate or parity: noise to the driver, no answer
        return;
    }
    const int64_t charNs = known && m_bPaced ? CharTimeNs(line) : 0;
    // The request is whole on the wire when its last byte has been carried;
    // the reply starts a turnaround later.
    const int64_t ownUs = m_turnaroundUs[frame[0]].load();
    const int64_t turnaroundUs = ownUs >= 0 ? ownUs : m_turnaroundUs[0].load();
    const Clock::time_point whole =
        firstSeen + std::chrono::nanoseconds(charNs * static_cast<int64_t>(frame.size()));
    const Clock::time_point replyAt =
        charNs ? whole + std::chrono::microseconds(turnaroundUs) : firstSeen;
    ++m_nRequests;
    {
        std::lock_guard<std::mutex> g(m_faultLock);
        if (m_nGoneAfter == 0) {
            m_nGoneAfter = -1;
            HangUp();
            return;
        }
        if (m_nGoneAfter > 0)
            --m_nGoneAfter;
    }
    // A driver acts on a request once its last byte is in, and its motor
    // is where it is then.
    if (charNs)
        SleepUntil(whole);
    for (CVirtualDriver* d : m_drivers)
        d->Advance(CVirtualDriver::Clock::now());
    bool forUs = frame.size() >= 4 && frame[0] == target->Slave() && CrcOk(frame, frame.size());
    if (!forUs) {
        for (CVirtualDriver* d : m_drivers) // broadcasts still act, on every driver
            if (!known || LineMatches(line, *d))
                d->HandleFrame(frame.data(), frame.size());
        return;
    }
    EFault kind = EFault::None;
    int param = 0;
    {
        std::lock_guard<std::mutex> g(m_faultLock);
        // The slave's own fault, else the one for any slave.
        auto it = m_faults.find(frame[0]);
        if (it == m_faults.end() || it->second.kind == EFault::None)
            it = m_faults.find(0);
        if (it != m_faults.end()) {
            SFault& f = it->second;
            const bool applies = f.kind != EFault::None && f.count != 0 &&
                                 (f.kind != EFault::EndlessDeviceId || frame[1] == 0x2B);
            if (applies) {
                kind = f.kind;
                param = f.param;
                if (f.count > 0 && --f.count == 0)
                    f.kind = EFault::None;
            }
        }
    }
    std::vector<uint8_t> reply = kind == EFault::Exception
                                     ? target->RefuseFrame(frame.data(), frame.size(),
                                                           static_cast<uint8_t>(param ? param : 4))
                                     : target->HandleFrame(frame.data(), frame.size());
    if (reply.empty())
        return;
    switch (kind) {
    case EFault::Silent:
        return;
    case EFault::BadCrc:
        reply.back() ^= 0xFF;
        break;
    case EFault::ForeignAddress:
        reply[0] = static_cast<uint8_t>(reply[0] == 0xFF ? 0xFE : reply[0] + 1);
        Recrc(reply);
        break;
    case EFault::WrongFunction:
        reply[1] =
            static_cast<uint8_t>((reply[1] & 0x80) | ((reply[1] & 0x7F) == 0x03 ? 0x04 : 0x03));
        Recrc(reply);
        break;
    case EFault::Split: {
        size_t half = reply.size() / 2;
        Send(std::vector<uint8_t>(reply.begin(), reply.begin() + static_cast<long>(half)), replyAt,
             charNs);
        if (!Pause(param ? param : 30))
            return;
        Send(std::vector<uint8_t>(reply.begin() + static_cast<long>(half), reply.end()),
             Clock::now(), charNs);
        ++m_nReplies;
        return;
    }
    case EFault::Trailing:
        for (int i = 0; i < (param ? param : 3); ++i)
            reply.push_back(static_cast<uint8_t>(i % 2 ? 0x5A : 0xA5));
        break;
    case EFault::Delay:
        if (!Pause(param ? param : 1500))
            return;
        Send(reply, std::max(replyAt, Clock::now()), charNs);
        ++m_nReplies;
        return;
    case EFault::EndlessDeviceId:
        if (reply.size() >= 10 && reply[1] == 0x2B) {
            reply[5] = 0xFF;
            reply[6] = frame[4];
            Recrc(reply);
        }
        break;
    default:
        break;
    }
    if (charNs)
        SleepUntil(replyAt);
    Send(reply, replyAt, charNs);
    ++m_nReplies;
}

void CSimServer::Serve() {
    // Paced bytes at 115200 baud are 95 us apart: wake on time, not within
    // the default 50 us slack.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    std::vector<uint8_t> buf;
    Clock::time_point firstSeen{}; // when the first byte in buf came in
    bool discard = false;          // the buffer holds garbage; drop it at the next silence
    uint8_t chunk[512];
    while (!m_bStop && m_hMaster >= 0) {
        pollfd fds[2] = {{m_hMaster, POLLIN, 0}, {m_hWake[0], POLLIN, 0}};
        int r = poll(fds, 2, buf.empty() ? -1 : kSilenceMs);
        if (m_bStop)
            break;
        if (r < 0) {
            if (errno != EINTR)
                Pause(10);
            continue;
        }
        if (r == 0) {
            // Line silence ends whatever is pending. A frame of a function the
            // driver cannot frame by length is judged whole (it may earn an
            // exception 1); anything else incomplete or corrupt is dropped.
            if (!discard && RequestLength(buf) < 0 && CrcOk(buf, buf.size()))
                OnFrame(buf, firstSeen);
            else
                ++m_nDiscards;
            buf.clear();
            discard = false;
            continue;
        }
        if (fds[0].revents & POLLIN) {
            ssize_t n = read(m_hMaster, chunk, sizeof chunk);
            if (n > 0) {
                m_tap.Pass(chunk, static_cast<size_t>(n));
                if (buf.empty())
                    firstSeen = Clock::now();
                buf.insert(buf.end(), chunk, chunk + n);
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            Pause(10); // cannot happen while the kept slave side is open
        }
        while (!discard && !buf.empty() && m_hMaster >= 0) {
            int need = RequestLength(buf);
            if (need <= 0 || buf.size() < static_cast<size_t>(need))
                break;
            if (!CrcOk(buf, static_cast<size_t>(need))) {
                discard = true;
                break;
            }
            std::vector<uint8_t> frame(buf.begin(), buf.begin() + need);
            buf.erase(buf.begin(), buf.begin() + need);
            OnFrame(frame, firstSeen);
            firstSeen = Clock::now(); // what is left came in while this one was answered
        }
        if (buf.size() > 4096)
            buf.clear(); // a flood of junk
    }
}
