#include "modbus/ModbusRtu.h"

#include "serial/PortMap.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
constexpr int kWriteTimeoutMs = 1000; // a 71-byte frame needs 75 ms at 9600 baud
// Input wakes the receive thread at once; the bound only limits how long a
// stop request can go unseen when the line cannot be interrupted.
constexpr int kIdleWaitMs = 100;
// How often a parked receive thread looks whether the line is free again.
// Transactions in a row keep it parked; bytes that come between them wait in
// the input queue until it looks, or until the next transaction reads them.
constexpr int kParkedLookMs = 100;
// Waits shorter than this are left to the input wait: a sleep would save
// nothing.
constexpr auto kMinSleep = std::chrono::microseconds(150);
// On a busy machine a timer wakes a thread milliseconds late while input
// wakes it at once: a sleep through a reply ends this much early, and the
// last bytes are taken as they come.
constexpr auto kWakeEarly = std::chrono::milliseconds(4);

// The two 16-bit words a write reply echoes (bytes 2-5), where asked for.
void StoreEcho(const std::vector<uint8_t>& reply, uint16_t* first, uint16_t* second) {
    if (first)
        *first = static_cast<uint16_t>(reply[2] << 8 | reply[3]);
    if (second)
        *second = static_cast<uint16_t>(reply[4] << 8 | reply[5]);
}

} // namespace

CModbusRtu::CModbusRtu() : m_pLine(&m_port) {}

CModbusRtu::~CModbusRtu() {
    ClosePort();
}

void CModbusRtu::AttachLine(ISerialLine* line) {
    if (!IsOpen())
        m_pLine = line ? line : &m_port;
}

bool CModbusRtu::OpenPort(int portNumber, const std::string& settings) {
    if (m_bLineLost)
        ClosePort(); // only the remains of a lost line are left
    if (IsOpen())
        return false;
    if (portNumber < 1 || portNumber > kMaxComNumber) {
        m_openError = EPortError::NoDevice;
        return false;
    }
    std::string dev = ResolveComPort(portNumber);
    if (dev.empty()) {
        m_openError = EPortError::NoDevice;
        return false;
    }
    return OpenPortPath(dev, settings);
}

bool CModbusRtu::OpenPortPath(const std::string& devicePath, const std::string& settings) {
    if (m_bLineLost)
        ClosePort();
    if (IsOpen())
        return false;
    m_openError = EPortError::None;
    LineSettings ls;
    if (!ParseLineSettings(settings, ls)) {
        m_openError = EPortError::Settings;
        return false;
    }
    if (m_pLine == &m_port) {
        if (!m_port.Open(devicePath)) {
            m_openError = m_port.LastError();
            return false;
        }
        if (!m_port.Configure() || !m_port.SetLine(ls)) {
            m_openError =
                m_port.LastError() == EPortError::None ? EPortError::Settings : m_port.LastError();
            m_port.Close();
            return false;
        }
        m_port.SetRts(true); // pseudo-terminals have no RTS; that is fine
        m_port.PurgeInput();
    } else if (!m_pLine->IsOpen()) {
        m_openError = EPortError::NoDevice;
        return false;
    }
    {
        std::lock_guard<std::mutex> lk(m_dataLock);
        m_strSettings = settings;
    }
    m_nCharNs = CharTimeNs(ls);
    return StartReceiver();
}

bool CModbusRtu::StartReceiver() {
    {
        std::lock_guard<std::mutex> lk(m_dataLock);
        m_rx.Reset(0);
        m_bTxActive = false;
    }
    m_bStop = false;
    m_bLineLost = false;
    m_receiver = std::thread(&CModbusRtu::ReceiveThread, this);
    m_bOpen = true;
    return true;
}

void CModbusRtu::ClosePort() {
    if (!m_bOpen)
        return;
    // Let a transaction of another thread finish (bounded by its time-out)
    // before the line goes away under it.
    std::lock_guard<std::mutex> tx(m_txLock);
    m_bOpen = false;
    {
        std::lock_guard<std::mutex> lk(m_dataLock);
        m_bStop = true;
    }
    m_lineFree.notify_all();
    m_pLine->Interrupt();
    if (m_receiver.joinable())
        m_receiver.join(); // the thread never waits longer than one poll
    if (m_pLine == &m_port)
        m_port.Close();
    m_bLineLost = false;
}

bool CModbusRtu::IsOpen() const {
    return m_bOpen.load();
}

std::string CModbusRtu::OpenDevice() const {
    return m_port.DevicePath();
}

void CModbusRtu::SetTimeout(uint32_t ms) {
    m_nTimeout = ms;
}

bool CModbusRtu::SetLineSettings(const std::string& settings) {
    LineSettings ls;
    if (!ParseLineSettings(settings, ls))
        return false;
    std::lock_guard<std::mutex> tx(m_txLock); // never under a transaction
    if (!m_bOpen)
        return false;
    if (m_pLine == &m_port && !m_port.SetLine(ls))
        return false;
    m_pLine->PurgeInput(); // bytes taken at the old settings are noise now
    m_nCharNs = CharTimeNs(ls);
    std::lock_guard<std::mutex> lk(m_dataLock);
    m_strSettings = settings;
    return true;
}

std::string CModbusRtu::LineSettingsText() const {
    if (!m_bOpen)
        return {};
    std::lock_guard<std::mutex> lk(m_dataLock);
    return m_strSettings;
}

std::vector<uint8_t> CModbusRtu::GetTxFrame() const {
    std::lock_guard<std::mutex> lk(m_dataLock);
    return std::vector<uint8_t>(m_txBuf, m_txBuf + m_nTxLen);
}

std::vector<uint8_t> CModbusRtu::GetRxFrame() const {
    std::lock_guard<std::mutex> lk(m_dataLock);
    return std::vector<uint8_t>(m_rx.Data(), m_rx.Data() + m_rx.Length());
}

void CModbusRtu::AddObserver(ILinkObserver* observer) {
    if (!observer)
        return;
    std::lock_guard<std::mutex> lk(m_obsLock);
    if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
    m_nObservers = static_cast<int>(m_observers.size());
}

void CModbusRtu::RemoveObserver(ILinkObserver* observer) {
    std::lock_guard<std::mutex> lk(m_obsLock); // waits for a report under way
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer),
                      m_observers.end());
    m_nObservers = static_cast<int>(m_observers.size());
}

bool CModbusRtu::PumpLocked() {
    uint8_t chunk[kRtuMaxFrame];
    int n = m_pLine->Read(chunk, sizeof chunk);
    if (n <= 0)
        return false;
    m_rx.Feed(chunk, static_cast<size_t>(n));
    // A read that did not fill the chunk emptied the input queue: the line is
    // quiet, so a reply that arrived in pieces is whole before its CRC is
    // checked. A full chunk may have more behind it.
    if (static_cast<size_t>(n) == sizeof chunk || m_nCompleteLen != 0)
        return false;
    if (m_rx.Judge() != CReplyAssembler::EState::Complete)
        return false;
    if (m_pLine->TakeLineErrors() != 0) {
        // A garbled byte makes the whole reply worthless.
        m_pLine->PurgeInput();
        m_rx.Reset(m_rx.Slave());
        return false;
    }
    m_nCompleteLen = m_rx.FrameLength();
    return true;
}

bool CModbusRtu::CheckLineGone() {
    if (!m_pLine->IsGone())
        return false;
    m_bLineLost = true;
    return true;
}

void CModbusRtu::AwaitReply(std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    const int64_t charNs = m_nCharNs.load(std::memory_order_relaxed);
    size_t missing = 0;
    if (charNs > 0) {
        std::lock_guard<std::mutex> lk(m_dataLock);
        missing = m_rx.Missing();
    }
    const auto now = Clock::now();
    if (missing >= 2) {
        // The missing bytes cannot come faster than the line carries them:
        // sleep through all but the last instead of waking for every byte,
        // then wait for the last, so the reply is still taken the moment it
        // is whole.
        const auto wake = std::min(
            deadline, now + std::chrono::nanoseconds(charNs * static_cast<int64_t>(missing - 1)) -
                          kWakeEarly);
        if (wake - now >= kMinSleep) {
            SleepPrecisely(wake - now);
            return;
        }
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    if (left.count() > 0)
        m_pLine->WaitInput(static_cast<int>(left.count()));
}

void CModbusRtu::ReceiveThread() {
    while (!m_bStop) {
        {
            // During a transaction its own thread reads the line, so the
            // reply reaches it without a hand-over between threads. Parked,
            // this thread looks again only now and then: transactions in a
            // row then cost it no wake-ups at all.
            std::unique_lock<std::mutex> lk(m_dataLock);
            while (m_bTxActive && !m_bStop)
                m_lineFree.wait_for(lk, std::chrono::milliseconds(kParkedLookMs));
            if (m_bStop)
                break;
            m_bRxWaiting = true;
        }
        bool input = m_pLine->WaitInput(kIdleWaitMs);
        std::lock_guard<std::mutex> lk(m_dataLock);
        m_bRxWaiting = false;
        if (input && !m_bTxActive)
            PumpLocked(); // stray bytes, kept for the traffic display
        if (CheckLineGone())
            break; // nothing will come any more; ClosePort joins the thread
    }
}

ResultCode CModbusRtu::Transact(const uint8_t* request, size_t len, uint8_t slave,
                                std::vector<uint8_t>& reply) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> tx(m_txLock);
    if (!m_bOpen || m_bLineLost || CheckLineGone())
        return kResultPortClosed;
    // Only a watched master reads the clock for its reports.
    const bool watched = m_nObservers.load(std::memory_order_relaxed) > 0;
    const Clock::time_point start = watched ? Clock::now() : Clock::time_point{};
    bool interrupt = false;
    {
        std::lock_guard<std::mutex> lk(m_dataLock);
        m_bTxActive = true;
        interrupt = m_bRxWaiting;
        m_nCompleteLen = 0;
        m_rx.Reset(slave);
        // The request before may still be answered: late after a time-out,
        // or twice when a late answer to an identical request was taken
        // for its own.
        m_rx.SetRequests(request, len, m_txBuf, m_nTxLen);
        std::memcpy(m_txBuf, request, len);
        m_nTxLen = len;
    }
    if (interrupt)
        m_pLine->Interrupt();  // the receive thread gives the line up
    m_pLine->TakeLineErrors(); // errors from before this request are not its reply's
    bool ready = false;
    bool gone = false;
    const auto writing = Clock::now();
    if (m_pLine->Write(request, len, kWriteTimeoutMs) == static_cast<int>(len)) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(m_nTimeout.load());
        // Without a first byte by then, nothing is coming.
        const int64_t firstUs = m_nFirstByteUs.load();
        const auto firstBy =
            firstUs > 0
                ? std::min(deadline, writing +
                                         std::chrono::nanoseconds(m_nCharNs.load() *
                                                                  static_cast<int64_t>(len + 1)) +
                                         std::chrono::microseconds(firstUs))
                : deadline;
        for (;;) {
            bool started = false;
            {
                std::lock_guard<std::mutex> lk(m_dataLock);
                if (PumpLocked()) {
                    ready = true;
                    break;
                }
                started = m_rx.Length() > 0;
            }
            if ((gone = CheckLineGone()))
                break;
            const auto now = Clock::now();
            if (now >= deadline || (!started && now >= firstBy))
                break;
            AwaitReply(started ? deadline : firstBy);
        }
    } else {
        gone = CheckLineGone();
    }
    uint8_t received[kRtuMaxFrame];
    size_t receivedLen = 0;
    {
        std::lock_guard<std::mutex> lk(m_dataLock);
        m_bTxActive = false;
        // The reply as it stood when judged whole; bytes that trail it are not part of it.
        if (ready)
            reply.assign(m_rx.Data(), m_rx.Data() + m_nCompleteLen);
        if (watched) {
            receivedLen = ready ? m_nCompleteLen : m_rx.Length();
            std::memcpy(received, m_rx.Data(), receivedLen);
        }
    }
    ResultCode rc = kResultOk;
    if (gone)
        rc = kResultPortClosed; // the line went away under the request
    else if (!ready)
        rc = kResultTimeout;
    else if (reply[0] != slave || (reply[1] & 0x7F) != request[1]) // address and CRC judged whole
        rc = kResultBadReply;
    else if (reply[1] & 0x80) // an exception code of 0 would read as success
        rc = reply[2] != 0 ? static_cast<ResultCode>(reply[2])
                           : static_cast<ResultCode>(kResultBadReply);
    if (watched) {
        STransactionRecord t;
        t.request = request;
        t.requestLen = len;
        t.reply = received;
        t.replyLen = receivedLen;
        t.result = rc;
        t.start = start;
        t.duration = Clock::now() - start;
        std::lock_guard<std::mutex> lk(m_obsLock);
        for (ILinkObserver* o : m_observers)
            o->OnTransaction(t);
    }
    return rc;
}

ResultCode CModbusRtu::ReadRegisters(uint8_t slave, uint16_t start, uint16_t count, uint8_t* dest,
                                     uint16_t* capacity) {
    uint8_t req[kRtuMaxFrame];
    size_t len = BuildReadRequest(req, slave, start, count);
    std::vector<uint8_t> reply;
    ResultCode rc = Transact(req, len, slave, reply);
    if (rc != kResultOk)
        return rc;
    if (dest && capacity) {
        size_t avail = reply.size() - 5; // a length-checked function-3 reply
        size_t n = std::min<size_t>({*capacity, reply[2], avail});
        std::memcpy(dest, reply.data() + 3, n);
        *capacity = static_cast<uint16_t>(n);
    }
    return kResultOk;
}

ResultCode CModbusRtu::WriteRegister(uint8_t slave, uint16_t addr, uint16_t value,
                                     uint16_t* echoAddr, uint16_t* echoValue) {
    uint8_t req[kRtuMaxFrame];
    size_t len = BuildWriteSingleRequest(req, slave, addr, value);
    std::vector<uint8_t> reply;
    ResultCode rc = Transact(req, len, slave, reply);
    if (rc != kResultOk)
        return rc;
    StoreEcho(reply, echoAddr, echoValue);
    return kResultOk;
}

ResultCode CModbusRtu::WriteRegisters(uint8_t slave, uint16_t start, const uint16_t* values,
                                      uint16_t count, uint16_t* echoStart, uint16_t* echoCount) {
    if (!IsOpen())
        return kResultPortClosed;
    if (count > kMaxWriteRegisters || !values)
        return kResultTooLong;
    uint8_t req[kRtuMaxFrame];
    size_t len = BuildWriteMultipleRequest(req, slave, start, values, count);
    std::vector<uint8_t> reply;
    ResultCode rc = Transact(req, len, slave, reply);
    if (rc != kResultOk)
        return rc;
    StoreEcho(reply, echoStart, echoCount);
    return kResultOk;
}

ResultCode CModbusRtu::ReadDeviceId(uint8_t slave, uint8_t code, uint8_t objectId, uint8_t* dest,
                                    uint16_t* capacity) {
    uint8_t req[kRtuMaxFrame];
    size_t len = BuildReadDeviceIdRequest(req, slave, code, objectId);
    std::vector<uint8_t> reply;
    ResultCode rc = Transact(req, len, slave, reply);
    if (rc != kResultOk)
        return rc;
    if (dest && capacity) {
        // From the more-follows byte up to the CRC; nothing from a reply too
        // short to carry it.
        size_t n = reply.size() >= 7 ? std::min<size_t>(*capacity, reply.size() - 7) : 0;
        if (n)
            std::memcpy(dest, reply.data() + 5, n);
        *capacity = static_cast<uint16_t>(n);
    }
    return kResultOk;
}
