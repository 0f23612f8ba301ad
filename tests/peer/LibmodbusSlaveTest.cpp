// Our master against libmodbus as the slave: an implementation we did not
// write checks every request frame (CRC, lengths, byte counts) and answers in
// its own way, including its exceptions.

#include "modbus/ModbusRtu.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <mutex>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRegisters = 0x0300;
using Bytes = std::vector<uint8_t>;

// A libmodbus RTU slave 1 serving a register map on the master end of a
// pseudo-terminal; our master opens the other end by its path.
class LibmodbusPeer : public ::testing::Test {
protected:
    void SetUp() override {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        ASSERT_EQ(openpty(&m_hPty, &m_hKeep, name, &raw, nullptr), 0);
        m_map = modbus_mapping_new(0, 0, kRegisters, 0);
        // The path is only a label: the line is handed over as a descriptor.
        m_ctx = modbus_new_rtu(name, 9600, 'N', 8, 1);
        ASSERT_TRUE(m_map && m_ctx);
        modbus_set_slave(m_ctx, 1);
        modbus_set_socket(m_ctx, m_hPty);
        // Bounded waits, so the loop sees the stop flag; it pauses the
        // response time-out before answering some exceptions.
        modbus_set_indication_timeout(m_ctx, 0, 50000);
        modbus_set_response_timeout(m_ctx, 0, 20000);
        m_thread = std::thread([this] {
            uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH];
            while (!m_bStop) {
                int n = modbus_receive(m_ctx, req);
                std::lock_guard<std::mutex> lk(m_lock);
                if (n > 0) // not a time-out, another slave's frame or one it refused
                    modbus_reply(m_ctx, req, n, m_map);
            }
        });
        ASSERT_TRUE(m_master.OpenPortPath(name, "9600,n,8,1"))
            << PortErrorText(m_master.LastOpenError());
        m_master.SetTimeout(1000);
    }
    void TearDown() override {
        m_master.ClosePort();
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_ctx) {
            modbus_set_socket(m_ctx, -1);
            modbus_free(m_ctx);
        }
        if (m_map)
            modbus_mapping_free(m_map);
        close(m_hKeep);
        close(m_hPty);
    }
    uint16_t& Reg(int addr) { return m_map->tab_registers[addr]; }

    int m_hPty = -1, m_hKeep = -1;
    modbus_mapping_t* m_map = nullptr;
    modbus_t* m_ctx = nullptr;
    std::mutex m_lock; // the map, between the test and the slave
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
    CModbusRtu m_master;
};

} // namespace

TEST_F(LibmodbusPeer, ReadsAndWritesUpToTheLargestFrames) {
    {
        std::lock_guard<std::mutex> lk(m_lock);
        for (int i = 0; i < 125; ++i)
            Reg(0x100 + i) = static_cast<uint16_t>(0xA000 + i);
    }
    // The largest read a reply can carry: 125 registers, a 255-byte frame.
    Bytes big(250);
    uint16_t cap = 250;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0100, 125, big.data(), &cap), kResultOk);
    ASSERT_EQ(cap, 250);
    EXPECT_EQ(Bytes(big.begin(), big.begin() + 2), (Bytes{0xA0, 0x00}));
    EXPECT_EQ(Bytes(big.end() - 2, big.end()), (Bytes{0xA0, 124}));
    EXPECT_EQ(m_master.GetRxFrame().size(), 255u);

    // A single register at the end of its map, and the largest write.
    ASSERT_EQ(m_master.WriteRegister(1, 0x02FF, 0xBEEF), kResultOk);
    uint16_t values[kMaxWriteRegisters];
    for (int i = 0; i < kMaxWriteRegisters; ++i)
        values[i] = static_cast<uint16_t>(0x8000 | (i << 4) | i);
    uint16_t echoAddr = 0, echoCount = 0;
    ASSERT_EQ(m_master.WriteRegisters(1, 0x0060, values, kMaxWriteRegisters, &echoAddr, &echoCount),
              kResultOk);
    EXPECT_EQ(echoAddr, 0x0060);
    EXPECT_EQ(echoCount, kMaxWriteRegisters);
    std::lock_guard<std::mutex> lk(m_lock);
    EXPECT_EQ(Reg(0x02FF), 0xBEEF);
    for (int i = 0; i < kMaxWriteRegisters; ++i)
        EXPECT_EQ(Reg(0x60 + i), values[i]) << i;
}

TEST_F(LibmodbusPeer, ItsExceptionsComeBackAsTheirCodes) {
    uint8_t buf[8];
    uint16_t cap = sizeof buf;
    // Beyond its map: illegal data address (each function's exception is the
    // fault matrix's).
    EXPECT_EQ(m_master.ReadRegisters(1, kRegisters - 1, 2, buf, &cap), kResultIllegalAddress);
    const uint16_t two[2] = {1, 2};
    // No registers at all: illegal data value.
    EXPECT_EQ(m_master.ReadRegisters(1, 0, 0, buf, &cap), kResultIllegalValue);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0050, two, 0), kResultIllegalValue);

    // And the line is clean afterwards.
    const uint16_t value = 0x4242;
    ASSERT_EQ(m_master.WriteRegisters(1, 0x0010, &value, 1), kResultOk);
    cap = 2;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0010, 1, buf, &cap), kResultOk);
    EXPECT_EQ(buf[0] << 8 | buf[1], 0x4242);

    // Another slave address gets no answer. libmodbus then takes the next
    // frame on the bus for that slave's answer, so this comes last.
    m_master.SetTimeout(200);
    buf[0] = 0xEE;
    cap = 2;
    EXPECT_EQ(m_master.ReadRegisters(2, 0x0010, 1, buf, &cap), kResultTimeout);
    EXPECT_EQ(cap, 2);
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(m_master.GetTxFrame()[0], 2);
}
