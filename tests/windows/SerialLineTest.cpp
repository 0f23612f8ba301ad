// The Windows serial line and COM map. With HALVIK_TEST_COM=n (scripts/
// windows.sh maps the virtual driver's pseudo-terminal as Wine's COM n) the
// line is also driven for real: bytes, waits, Interrupt and the master on it.

#include "modbus/ModbusRtu.h"
#include "serial/ComPort.h"
#include "serial/PortMap.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int TestCom() {
    const char* n = std::getenv("HALVIK_TEST_COM");
    return n ? std::atoi(n) : 0;
}

template <class F> Clock::duration Timed(F&& f) {
    const auto t0 = Clock::now();
    f();
    return Clock::now() - t0;
}

} // namespace

TEST(WindowsLine, RefusedOpensSayWhyAndAClosedPortRefusesAtOnce) {
    CComPort port;
    EXPECT_FALSE(port.Open("\\\\.\\COM987"));
    EXPECT_EQ(port.LastError(), EPortError::NoDevice);
    const auto file = std::filesystem::temp_directory_path() / "halvik-not-a-port.txt";
    std::ofstream(file) << "x";
    EXPECT_FALSE(port.Open(file.string()));
    EXPECT_EQ(port.LastError(), EPortError::NotSerial);
    std::filesystem::remove(file);
    EXPECT_FALSE(port.Open("NUL"));
    EXPECT_EQ(port.LastError(), EPortError::NotSerial);
    EXPECT_FALSE(port.IsOpen());

    uint8_t b[4] = {};
    EXPECT_EQ(port.Write(b, sizeof b, 10), -1);
    EXPECT_EQ(port.Read(b, sizeof b), -1);
    EXPECT_EQ(port.QueuedInput(), -1);
    EXPECT_LT(Timed([&] { EXPECT_FALSE(port.WaitInput(20)); }), 2s);
}

TEST(WindowsPortMap, ListedNumbersResolve) {
    const auto ports = ListComPorts(kMaxComNumber);
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
    for (const auto& [n, device] : ports) {
        EXPECT_EQ(ResolveComPort(n), "\\\\.\\COM" + std::to_string(n));
        EXPECT_FALSE(device.empty()) << n;
    }
    EXPECT_EQ(ResolveComPort(0), "");
    EXPECT_EQ(ResolveComPort(kMaxComNumber + 1), "");
    EXPECT_EQ(ScanSerialDevices().size(), ports.size());
    EXPECT_EQ(PortFolderProblem(), "");
    if (const int com = TestCom()) {
        EXPECT_EQ(ResolveComPort(com), "\\\\.\\COM" + std::to_string(com));
    }
}

class WindowsLivePort : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TestCom())
            GTEST_SKIP() << "HALVIK_TEST_COM is not set";
        ASSERT_TRUE(m_port.Open(ResolveComPort(TestCom()))) << PortErrorText(m_port.LastError());
        ASSERT_TRUE(m_port.Configure());
        ASSERT_TRUE(m_port.SetLine({9600, 'n', 8, 2}));
    }

    // A read of one register, answered by the virtual driver with 7 bytes.
    void Ask() {
        const Bytes req = WithCrc(Hex("01 03 00 00 00 01"));
        ASSERT_EQ(m_port.Write(req.data(), req.size(), 1000), static_cast<int>(req.size()));
    }
    bool WaitQueued(int n) {
        for (auto end = Clock::now() + 3s; m_port.QueuedInput() < n && Clock::now() < end;)
            m_port.WaitInput(100);
        return m_port.QueuedInput() >= n;
    }

    CComPort m_port;
};

TEST_F(WindowsLivePort, BytesComeWaitsEndAndPurgesEmptyTheQueue) {
    Ask();
    ASSERT_TRUE(WaitQueued(7));
    uint8_t buf[64] = {};
    ASSERT_EQ(m_port.Read(buf, sizeof buf), 7);
    EXPECT_EQ(Bytes(buf, buf + 3), Hex("01 03 02"));
    EXPECT_EQ(m_port.Read(buf, sizeof buf), 0); // nothing queued: no wait
    EXPECT_EQ(m_port.TakeLineErrors(), 0u);

    // Silence lasts the wait, bounded.
    const auto quiet = Timed([&] { EXPECT_FALSE(m_port.WaitInput(200)); });
    EXPECT_GE(quiet, 150ms);
    EXPECT_LT(quiet, 2s);
    // Interrupt ends a long wait on another thread at once.
    std::thread stop([&] {
        std::this_thread::sleep_for(100ms);
        m_port.Interrupt();
    });
    EXPECT_LT(Timed([&] { EXPECT_FALSE(m_port.WaitInput(10000)); }), 2s);
    stop.join();

    Ask();
    ASSERT_TRUE(WaitQueued(7));
    m_port.PurgeInput();
    EXPECT_EQ(m_port.QueuedInput(), 0);
    EXPECT_FALSE(m_port.IsGone());
}

// The master's receive thread and transactions on the Windows line: the
// wait handed between them must neither lose a reply nor hang a close.
TEST_F(WindowsLivePort, TheMasterReadsInARowAndClosesPromptly) {
    m_port.Close();
    CModbusRtu master;
    ASSERT_TRUE(master.OpenPort(TestCom(), "9600,n,8,2"));
    master.SetTimeout(1000);
    for (int i = 0; i < 20; ++i) {
        uint8_t data[8] = {};
        uint16_t cap = sizeof data;
        ASSERT_EQ(master.ReadRegisters(1, 0x0000, 2, data, &cap), kResultOk) << i;
        EXPECT_EQ(cap, 4);
        if (i % 5 == 4) // the receive thread back at its idle wait in between
            std::this_thread::sleep_for(150ms);
    }
    EXPECT_LT(Timed([&] { master.ClosePort(); }), 1s);
    EXPECT_FALSE(master.IsOpen());
}
