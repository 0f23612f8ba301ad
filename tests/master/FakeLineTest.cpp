// The master on a line of our own making: line errors, byte-by-byte delivery
// and failed writes, which a pseudo-terminal cannot produce.

#include "modbus/ModbusRtu.h"
#include "serial/SerialLine.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace {

// Answers reads with registers 0x1234, 0x5678 and echoes writes.
class CFakeLine : public ISerialLine {
public:
    std::atomic<size_t> m_nPerRead{256};
    std::atomic<bool> m_bGarbleEven{false}, m_bFailWrites{false};

    bool IsOpen() const override { return true; }
    int Write(const uint8_t* data, size_t len, int) override {
        if (m_bFailWrites)
            return -1;
        std::lock_guard<std::mutex> lk(m_lock);
        Bytes reply =
            data[1] == 0x03 ? WithCrc(Hex("01 03 04 12 34 56 78")) : WithCrc(Bytes(data, data + 6));
        m_input.insert(m_input.end(), reply.begin(), reply.end());
        if (m_bGarbleEven && m_nWrites % 2 == 0)
            m_nErrors |= kLineErrParity;
        ++m_nWrites;
        m_cv.notify_all();
        return static_cast<int>(len);
    }
    int Read(uint8_t* buf, size_t cap) override {
        std::lock_guard<std::mutex> lk(m_lock);
        size_t n = std::min({cap, m_input.size(), m_nPerRead.load()});
        std::copy_n(m_input.begin(), n, buf);
        m_input.erase(m_input.begin(), m_input.begin() + static_cast<long>(n));
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
        return std::exchange(m_nErrors, 0);
    }
    size_t Writes() {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_nWrites;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<uint8_t> m_input;
    uint32_t m_nErrors = 0;
    bool m_bInterrupted = false;
    size_t m_nWrites = 0;
};

} // namespace

TEST(MasterOnFakeLine, LineErrorsSlowBytesAndFailedWrites) {
    CFakeLine line;
    line.m_bGarbleEven = true;
    CModbusRtu m;
    m.AttachLine(&line);
    ASSERT_TRUE(m.OpenPortPath("fake", "9600,n,8,1"));
    uint8_t buf[4] = {};
    uint16_t cap = sizeof buf;
    auto read = [&] { return m.ReadRegisters(1, 0x0020, 2, buf, &cap); };

    // A line error discards the reply.
    m.SetTimeout(200);
    EXPECT_EQ(read(), kResultTimeout);
    m.SetTimeout(2000);
    ASSERT_EQ(read(), kResultOk);
    EXPECT_EQ(Bytes(buf, buf + 4), Hex("12 34 56 78"));

    // Read one byte at a time, a reply is still judged whole.
    line.m_bGarbleEven = false;
    line.m_nPerRead = 1;
    for (int i = 0; i < 20; ++i) {
        std::fill_n(buf, 4, 0);
        ASSERT_EQ(read(), kResultOk) << i;
        EXPECT_EQ(Bytes(buf, buf + 4), Hex("12 34 56 78"));
        uint16_t echo = 0;
        ASSERT_EQ(m.WriteRegister(1, 0x0040, 2, nullptr, &echo), kResultOk) << i;
        EXPECT_EQ(echo, 2);
    }

    // A failed write is a time-out, not a hang.
    line.m_bFailWrites = true;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(m.WriteRegister(1, 0x0040, 1), kResultTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    line.m_bFailWrites = false;

    // Swapping lines is refused while the port is open.
    CFakeLine other;
    m.AttachLine(&other);
    EXPECT_EQ(read(), kResultOk);
    EXPECT_EQ(other.Writes(), 0u);
    m.ClosePort();
}
