// Our master against libmodbus as the slave: an implementation we did not
// write checks every request frame (CRC, lengths, byte counts) and answers in
// its own way, including its exceptions.

#include "modbus/ModbusRtu.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRegisters = 0x0300;

// A libmodbus RTU slave serving a register map on the master end of a
// pseudo-terminal; our master opens the other end by its path.
class CLibmodbusSlave {
public:
    explicit CLibmodbusSlave(int slave) {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (openpty(&m_hPty, &m_hKeep, name, &raw, nullptr) != 0)
            return;
        m_strPath = name;
        m_map = modbus_mapping_new(0, 0, kRegisters, 0);
        // The path is only a label: the line is handed over as a descriptor.
        m_ctx = modbus_new_rtu(name, 9600, 'N', 8, 1);
        if (!m_map || !m_ctx)
            return;
        modbus_set_slave(m_ctx, slave);
        modbus_set_socket(m_ctx, m_hPty);
        // Bounded waits, so the loop sees the stop flag.
        modbus_set_indication_timeout(m_ctx, 0, 50000);
        // It pauses this long before answering some exceptions.
        modbus_set_response_timeout(m_ctx, 0, 20000);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CLibmodbusSlave() {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_ctx) {
            modbus_set_socket(m_ctx, -1);
            modbus_free(m_ctx);
        }
        if (m_map)
            modbus_mapping_free(m_map);
        if (m_hKeep >= 0)
            close(m_hKeep);
        if (m_hPty >= 0)
            close(m_hPty);
    }

    bool Ok() const { return m_thread.joinable(); }
    const std::string& Path() const { return m_strPath; }
    int Served() const { return m_nServed.load(); }

    uint16_t Get(int addr) {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_map->tab_registers[addr];
    }
    void Set(int addr, uint16_t v) {
        std::lock_guard<std::mutex> lk(m_lock);
        m_map->tab_registers[addr] = v;
    }

private:
    void Serve() {
        uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!m_bStop) {
            int n = modbus_receive(m_ctx, req);
            if (n <= 0)
                continue; // time-out, another slave's frame, or a frame it refused
            std::lock_guard<std::mutex> lk(m_lock);
            modbus_reply(m_ctx, req, n, m_map);
            ++m_nServed;
        }
    }

    int m_hPty = -1, m_hKeep = -1;
    std::string m_strPath;
    modbus_mapping_t* m_map = nullptr;
    modbus_t* m_ctx = nullptr;
    std::mutex m_lock;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nServed{0};
    std::thread m_thread;
};

class LibmodbusPeer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_slave.Ok());
        ASSERT_TRUE(m_master.OpenPortPath(m_slave.Path(), "9600,n,8,1"))
            << PortErrorText(m_master.LastOpenError());
        m_master.SetTimeout(1000);
    }
    void TearDown() override { m_master.ClosePort(); }

    CLibmodbusSlave m_slave{1};
    CModbusRtu m_master;
};

} // namespace

TEST_F(LibmodbusPeer, ReadHoldingRegisters) {
    const uint16_t values[4] = {0x0000, 0x0001, 0x1388, 0xFFFF};
    for (int i = 0; i < 4; ++i)
        m_slave.Set(0x50 + i, values[i]);
    uint8_t buf[16];
    std::fill(std::begin(buf), std::end(buf), 0xEE);
    uint16_t cap = 8;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0050, 4, buf, &cap), kResultOk);
    EXPECT_EQ(cap, 8);
    const uint8_t wire[8] = {0x00, 0x00, 0x00, 0x01, 0x13, 0x88, 0xFF, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 8), std::vector<uint8_t>(wire, wire + 8));
    EXPECT_EQ(buf[8], 0xEE);
    EXPECT_EQ(m_master.GetTxFrame(),
              (std::vector<uint8_t>{0x01, 0x03, 0x00, 0x50, 0x00, 0x04, 0x44, 0x18}));

    // The largest read a reply can carry: 125 registers, a 255-byte frame.
    for (int i = 0; i < 125; ++i)
        m_slave.Set(0x100 + i, static_cast<uint16_t>(0xA000 + i));
    uint8_t big[250];
    cap = sizeof big;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0100, 125, big, &cap), kResultOk);
    ASSERT_EQ(cap, 250);
    EXPECT_EQ(big[0], 0xA0);
    EXPECT_EQ(big[1], 0x00);
    EXPECT_EQ(big[248], 0xA0);
    EXPECT_EQ(big[249], 124);
    EXPECT_EQ(m_master.GetRxFrame().size(), 255u);
}

TEST_F(LibmodbusPeer, WriteSingleRegister) {
    uint16_t echoAddr = 0, echoValue = 0;
    ASSERT_EQ(m_master.WriteRegister(1, 0x0040, 0x0001, &echoAddr, &echoValue), kResultOk);
    EXPECT_EQ(echoAddr, 0x0040);
    EXPECT_EQ(echoValue, 0x0001);
    EXPECT_EQ(m_slave.Get(0x0040), 0x0001);
    EXPECT_EQ(m_master.GetTxFrame(),
              (std::vector<uint8_t>{0x01, 0x06, 0x00, 0x40, 0x00, 0x01, 0x49, 0xDE}));

    ASSERT_EQ(m_master.WriteRegister(1, 0x02FF, 0xBEEF), kResultOk);
    EXPECT_EQ(m_slave.Get(0x02FF), 0xBEEF);
}

TEST_F(LibmodbusPeer, WriteMultipleRegistersUpToTheLimit) {
    const uint16_t ramp[4] = {0, 0, 5000, 5000};
    uint16_t echoStart = 0, echoCount = 0;
    ASSERT_EQ(m_master.WriteRegisters(1, 0x0050, ramp, 4, &echoStart, &echoCount), kResultOk);
    EXPECT_EQ(echoStart, 0x0050);
    EXPECT_EQ(echoCount, 4);
    EXPECT_EQ(m_slave.Get(0x0052), 5000);
    EXPECT_EQ(m_slave.Get(0x0053), 5000);

    uint16_t values[kMaxWriteRegisters];
    for (int i = 0; i < kMaxWriteRegisters; ++i)
        values[i] = static_cast<uint16_t>(0x8000 | (i << 4) | i);
    ASSERT_EQ(
        m_master.WriteRegisters(1, 0x0060, values, kMaxWriteRegisters, &echoStart, &echoCount),
        kResultOk);
    EXPECT_EQ(echoStart, 0x0060);
    EXPECT_EQ(echoCount, kMaxWriteRegisters);
    EXPECT_EQ(m_master.GetTxFrame().size(), 71u);
    for (int i = 0; i < kMaxWriteRegisters; ++i)
        EXPECT_EQ(m_slave.Get(0x60 + i), values[i]) << i;
}

TEST_F(LibmodbusPeer, ItsExceptionsComeBackAsTheirCodes) {
    uint8_t buf[8];
    uint16_t cap = sizeof buf;
    // Beyond its map: illegal data address.
    EXPECT_EQ(m_master.ReadRegisters(1, kRegisters - 1, 2, buf, &cap), kResultIllegalAddress);
    EXPECT_EQ(m_master.WriteRegister(1, kRegisters, 1), kResultIllegalAddress);
    const uint16_t two[2] = {1, 2};
    EXPECT_EQ(m_master.WriteRegisters(1, kRegisters - 1, two, 2), kResultIllegalAddress);
    // No registers at all: illegal data value.
    cap = sizeof buf;
    EXPECT_EQ(m_master.ReadRegisters(1, 0, 0, buf, &cap), kResultIllegalValue);
    EXPECT_EQ(m_master.WriteRegisters(1, 0x0050, two, 0), kResultIllegalValue);
    EXPECT_EQ(m_master.GetTxFrame().size(), 9u);

    // And the line is clean afterwards.
    m_slave.Set(0x10, 0x4242);
    cap = 2;
    ASSERT_EQ(m_master.ReadRegisters(1, 0x0010, 1, buf, &cap), kResultOk);
    EXPECT_EQ(buf[0], 0x42);
}

TEST_F(LibmodbusPeer, AnotherSlaveAddressGetsNoAnswer) {
    // libmodbus then takes the next frame on the bus for that slave's answer,
    // so this is the last exchange of the test.
    m_master.SetTimeout(200);
    uint8_t buf[2] = {0xEE, 0xEE};
    uint16_t cap = sizeof buf;
    EXPECT_EQ(m_master.ReadRegisters(2, 0x0010, 1, buf, &cap), kResultTimeout);
    EXPECT_EQ(cap, sizeof buf);
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(m_master.GetTxFrame()[0], 2);
}

TEST_F(LibmodbusPeer, ManyExchangesInARowStayInStep) {
    uint8_t buf[4];
    for (int i = 0; i < 60; ++i) {
        const uint16_t a = static_cast<uint16_t>(0x20 + i % 8);
        const uint16_t v = static_cast<uint16_t>(i * 977);
        switch (i % 3) {
        case 0:
            ASSERT_EQ(m_master.WriteRegister(1, a, v), kResultOk) << i;
            break;
        case 1: {
            const uint16_t pair[2] = {v, static_cast<uint16_t>(~v)};
            ASSERT_EQ(m_master.WriteRegisters(1, a, pair, 2), kResultOk) << i;
            EXPECT_EQ(m_slave.Get(a + 1), static_cast<uint16_t>(~v));
            break;
        }
        default:
            m_slave.Set(a, v);
            break;
        }
        uint16_t cap = 2;
        ASSERT_EQ(m_master.ReadRegisters(1, a, 1, buf, &cap), kResultOk) << i;
        EXPECT_EQ(buf[0] << 8 | buf[1], v) << i;
    }
    EXPECT_GE(m_slave.Served(), 80);
}
