// The serial port on a pseudo-terminal: what the master relies on from it.
// A hung-up line is seen through the master in the line-loss tests.

#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

// A pseudo-terminal whose near end (m_strPath) the port opens; the test
// talks through the far end.
struct CPty {
    CPty() {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (openpty(&m_hFar, &m_hNear, name, &raw, nullptr) == 0)
            m_strPath = name;
    }
    ~CPty() {
        close(m_hNear);
        close(m_hFar);
    }
    int m_hFar = -1, m_hNear = -1;
    std::string m_strPath;
};

bool WaitQueued(CComPort& port, int n) {
    for (auto end = Clock::now() + std::chrono::seconds(2);
         port.QueuedInput() < n && Clock::now() < end;)
        port.WaitInput(50);
    return port.QueuedInput() >= n;
}

} // namespace

TEST(ComPort, RefusedOpensSayWhyAndAClosedPortRefusesAtOnce) {
    CComPort port;
    EXPECT_FALSE(port.Open("/dev/halvik-no-such-port"));
    EXPECT_EQ(port.LastError(), EPortError::NoDevice);
    EXPECT_FALSE(port.Open("/dev/null"));
    EXPECT_EQ(port.LastError(), EPortError::NotSerial);
    EXPECT_FALSE(port.IsOpen());

    uint8_t b[4] = {};
    EXPECT_EQ(port.Write(b, sizeof b, 10), -1);
    EXPECT_EQ(port.Read(b, sizeof b), -1);
    EXPECT_EQ(port.QueuedInput(), -1);
    EXPECT_FALSE(port.WaitInput(5));
    EXPECT_FALSE(port.Configure());
    EXPECT_FALSE(port.SetLine(LineSettings{}));
    EXPECT_EQ(port.TakeLineErrors(), 0u);
    port.Close();
    port.PurgeInput();

    // A line is held exclusively until closed; reopening an open port is fine.
    CPty peer;
    CComPort first, second;
    ASSERT_TRUE(first.Open(peer.m_strPath));
    EXPECT_FALSE(second.Open(peer.m_strPath));
    EXPECT_EQ(second.LastError(), EPortError::Busy);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(first.Open(peer.m_strPath));
    EXPECT_FALSE(second.Open(peer.m_strPath));
    first.Close();
    first.Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.Open(peer.m_strPath));
}

TEST(ComPort, BytesBothWaysOnAPseudoTerminal) {
    CPty peer;
    ASSERT_FALSE(peer.m_strPath.empty());
    CComPort port;
    ASSERT_TRUE(port.Open(peer.m_strPath));
    EXPECT_EQ(port.DevicePath(), peer.m_strPath);
    ASSERT_TRUE(port.Configure());
    LineSettings s;
    ASSERT_TRUE(ParseLineSettings("19200,e,7,2", s));
    EXPECT_TRUE(port.SetLine(s));
    ASSERT_TRUE(ParseLineSettings("9600,n,8,1", s));
    EXPECT_TRUE(port.SetLine(s));

    // Raw: carriage returns, XON/XOFF and newlines pass untouched.
    const Bytes request = {0x01, 0x03, 0x00, 0x0D, 0x11, 0x13, 0x0A, 0xFF};
    EXPECT_EQ(port.Write(request.data(), request.size(), 1000), 8);
    Bytes got;
    for (auto end = Clock::now() + std::chrono::seconds(2); got.size() < 8 && Clock::now() < end;) {
        pollfd p{peer.m_hFar, POLLIN, 0};
        uint8_t buf[64];
        ssize_t n = poll(&p, 1, 50) > 0 ? read(peer.m_hFar, buf, sizeof buf) : 0;
        got.insert(got.end(), buf, buf + std::max<ssize_t>(n, 0));
    }
    EXPECT_EQ(got, request);

    ASSERT_EQ(write(peer.m_hFar, "\x01\x83\x02", 3), 3);
    ASSERT_TRUE(WaitQueued(port, 3));
    EXPECT_EQ(port.QueuedInput(), 3);
    uint8_t buf[8] = {};
    EXPECT_EQ(port.Read(buf, 2), 2); // never more than asked
    EXPECT_EQ(port.Read(buf + 2, sizeof buf - 2), 1);
    EXPECT_EQ(buf[2], 0x02);
    EXPECT_EQ(port.Read(buf, sizeof buf), 0); // nothing queued: no wait
    EXPECT_EQ(port.TakeLineErrors(), 0u);

    ASSERT_EQ(write(peer.m_hFar, "UUUU", 4), 4);
    ASSERT_TRUE(WaitQueued(port, 4));
    port.PurgeInput();
    EXPECT_EQ(port.QueuedInput(), 0);

    // Waiting for input that never comes ends at its bound, or at once when interrupted.
    auto t0 = Clock::now();
    EXPECT_FALSE(port.WaitInput(30));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2));
    t0 = Clock::now();
    bool woke = true;
    std::thread waiter([&] { woke = port.WaitInput(10000); });
    port.Interrupt();
    waiter.join();
    EXPECT_FALSE(woke);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
}
