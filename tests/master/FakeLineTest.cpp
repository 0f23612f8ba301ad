// The master on a line of our own making: line errors and byte-by-byte
// delivery, which a pseudo-terminal cannot produce.

#include "modbus/ModbusRtu.h"
#include "serial/SerialLine.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace {

class CFakeLine : public ISerialLine {
public:
    // Gives the reply bytes for a request and whether they arrive garbled.
    using Responder = std::function<Bytes(const Bytes& request, bool& lineError)>;

    explicit CFakeLine(Responder r) : m_responder(std::move(r)) {}

    void SetBytesPerRead(size_t n) {
        std::lock_guard<std::mutex> lk(m_lock);
        m_nPerRead = n;
    }
    void FailWrites(bool fail) {
        std::lock_guard<std::mutex> lk(m_lock);
        m_bFailWrites = fail;
    }
    size_t Writes() const {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_nWrites;
    }

    bool IsOpen() const override { return true; }
    int Write(const uint8_t* data, size_t len, int) override {
        std::lock_guard<std::mutex> lk(m_lock);
        ++m_nWrites;
        if (m_bFailWrites)
            return -1;
        bool error = false;
        Bytes reply = m_responder(Bytes(data, data + len), error);
        m_input.insert(m_input.end(), reply.begin(), reply.end());
        if (error)
            m_nErrors |= kLineErrParity;
        m_cv.notify_all();
        return static_cast<int>(len);
    }
    int Read(uint8_t* buf, size_t cap) override {
        std::lock_guard<std::mutex> lk(m_lock);
        size_t n = std::min({cap, m_input.size(), m_nPerRead});
        for (size_t i = 0; i < n; ++i) {
            buf[i] = m_input.front();
            m_input.pop_front();
        }
        return static_cast<int>(n);
    }
    int QueuedInput() override {
        std::lock_guard<std::mutex> lk(m_lock);
        return static_cast<int>(m_input.size());
    }
    bool WaitInput(int timeoutMs) override {
        std::unique_lock<std::mutex> lk(m_lock);
        m_cv.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                      [this] { return !m_input.empty() || m_bInterrupted; });
        m_bInterrupted = false;
        return !m_input.empty();
    }
    void Interrupt() override {
        std::lock_guard<std::mutex> lk(m_lock);
        m_bInterrupted = true;
        m_cv.notify_all();
    }
    void PurgeInput() override {
        std::lock_guard<std::mutex> lk(m_lock);
        m_input.clear();
    }
    void PurgeOutput() override {}
    uint32_t TakeLineErrors() override {
        std::lock_guard<std::mutex> lk(m_lock);
        uint32_t e = m_nErrors;
        m_nErrors = 0;
        return e;
    }

private:
    Responder m_responder;
    mutable std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<uint8_t> m_input;
    size_t m_nPerRead = 256;
    uint32_t m_nErrors = 0;
    bool m_bInterrupted = false;
    bool m_bFailWrites = false;
    size_t m_nWrites = 0;
};

// Answers every read with registers 0x1234, 0x5678 and garbles every other one.
Bytes Answer(const Bytes& req, bool& lineError, int& count) {
    lineError = count++ % 2 == 0;
    if (req[1] == 0x03)
        return WithCrc(Hex("01 03 04 12 34 56 78"));
    return WithCrc(Bytes(req.begin(), req.begin() + 6));
}

} // namespace

TEST(MasterOnFakeLine, LineErrorDiscardsTheReply) {
    int count = 0;
    CFakeLine line([&](const Bytes& req, bool& err) { return Answer(req, err, count); });
    CModbusRtu m;
    m.AttachLine(&line);
    ASSERT_TRUE(m.OpenPortPath("fake", "9600,n,8,1"));
    m.SetTimeout(200);
    uint8_t buf[4] = {};
    uint16_t cap = sizeof buf;
    EXPECT_EQ(m.ReadRegisters(1, 0x0020, 2, buf, &cap), kResultTimeout);
    m.SetTimeout(2000);
    cap = sizeof buf;
    ASSERT_EQ(m.ReadRegisters(1, 0x0020, 2, buf, &cap), kResultOk);
    EXPECT_EQ(Bytes(buf, buf + 4), Hex("12 34 56 78"));
    m.ClosePort();
}

TEST(MasterOnFakeLine, ReplyReadOneByteAtATimeIsJudgedWhole) {
    int count = 1; // no line errors
    CFakeLine line([&](const Bytes& req, bool& err) {
        Bytes r = Answer(req, err, count);
        err = false;
        return r;
    });
    line.SetBytesPerRead(1);
    CModbusRtu m;
    m.AttachLine(&line);
    ASSERT_TRUE(m.OpenPortPath("fake", "9600,n,8,1"));
    for (int i = 0; i < 20; ++i) {
        uint8_t buf[4] = {};
        uint16_t cap = sizeof buf;
        ASSERT_EQ(m.ReadRegisters(1, 0x0020, 2, buf, &cap), kResultOk) << i;
        EXPECT_EQ(Bytes(buf, buf + 4), Hex("12 34 56 78"));
        uint16_t echo = 0;
        ASSERT_EQ(m.WriteRegister(1, 0x0040, 2, nullptr, &echo), kResultOk) << i;
        EXPECT_EQ(echo, 2);
    }

    // Swapping lines is refused while the port is open.
    CFakeLine other([](const Bytes&, bool&) { return Bytes{}; });
    m.AttachLine(&other);
    uint16_t cap = 0;
    EXPECT_EQ(m.ReadRegisters(1, 0x0020, 2, nullptr, &cap), kResultOk);
    EXPECT_EQ(other.Writes(), 0u);
    m.ClosePort();
}

TEST(MasterOnFakeLine, FailedWriteIsATimeoutNotAHang) {
    int count = 1;
    CFakeLine line([&](const Bytes& req, bool& err) { return Answer(req, err, count); });
    line.FailWrites(true);
    CModbusRtu m;
    m.AttachLine(&line);
    ASSERT_TRUE(m.OpenPortPath("fake", "9600,n,8,1"));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(m.WriteRegister(1, 0x0040, 1), kResultTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    line.FailWrites(false);
    EXPECT_EQ(m.WriteRegister(1, 0x0040, 1), kResultOk);
    m.ClosePort();
}
