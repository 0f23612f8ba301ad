// The serial port on a pseudo-terminal: what the master relies on from it.

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

// The far end of a pseudo-terminal whose near end the port opens.
class CPtyPeer {
public:
    CPtyPeer() {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (openpty(&m_hMaster, &m_hSlave, name, &raw, nullptr) == 0)
            m_strPath = name;
    }
    ~CPtyPeer() {
        if (m_hSlave >= 0)
            close(m_hSlave);
        if (m_hMaster >= 0)
            close(m_hMaster);
    }
    const std::string& Path() const { return m_strPath; }
    void Send(const std::vector<uint8_t>& b) {
        ASSERT_EQ(write(m_hMaster, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }
    // Whatever the port wrote, waiting at most 2 s for want bytes.
    std::vector<uint8_t> Receive(size_t want) {
        std::vector<uint8_t> got;
        auto deadline = Clock::now() + std::chrono::seconds(2);
        while (got.size() < want && Clock::now() < deadline) {
            pollfd p{m_hMaster, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            uint8_t buf[64];
            ssize_t n = read(m_hMaster, buf, sizeof buf);
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

private:
    int m_hMaster = -1, m_hSlave = -1;
    std::string m_strPath;
};

bool WaitQueued(CComPort& port, int n) {
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (port.QueuedInput() < n && Clock::now() < deadline)
        port.WaitInput(50);
    return port.QueuedInput() >= n;
}

} // namespace

TEST(ComPort, OpenFailuresSayWhy) {
    CComPort port;
    EXPECT_FALSE(port.Open("/dev/halvik-no-such-port"));
    EXPECT_EQ(port.LastError(), EPortError::NoDevice);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Open("/dev/null"));
    EXPECT_EQ(port.LastError(), EPortError::NotSerial);
    EXPECT_FALSE(port.IsOpen());
    for (EPortError e : {EPortError::NoDevice, EPortError::Permission, EPortError::Busy,
                         EPortError::NotSerial, EPortError::Settings, EPortError::Other})
        EXPECT_FALSE(PortErrorText(e).empty());
    EXPECT_EQ(PortErrorText(EPortError::None), "");

    // A closed port refuses everything without blocking.
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
}

TEST(ComPort, BytesBothWaysOnAPseudoTerminal) {
    CPtyPeer peer;
    ASSERT_FALSE(peer.Path().empty());
    CComPort port;
    ASSERT_TRUE(port.Open(peer.Path()));
    EXPECT_EQ(port.DevicePath(), peer.Path());
    ASSERT_TRUE(port.Configure());
    LineSettings s;
    ASSERT_TRUE(ParseLineSettings("19200,e,7,2", s));
    EXPECT_TRUE(port.SetLine(s));
    ASSERT_TRUE(ParseLineSettings("9600,n,8,1", s));
    EXPECT_TRUE(port.SetLine(s));

    const std::vector<uint8_t> request = {0x01, 0x03, 0x00, 0x0D, 0x11, 0x13, 0x0A, 0xFF};
    EXPECT_EQ(port.Write(request.data(), request.size(), 1000), 8);
    // Raw: carriage returns, XON/XOFF and newlines pass untouched.
    EXPECT_EQ(peer.Receive(8), request);

    peer.Send({0x01, 0x83, 0x02});
    ASSERT_TRUE(WaitQueued(port, 3));
    EXPECT_EQ(port.QueuedInput(), 3);
    uint8_t buf[8] = {};
    EXPECT_EQ(port.Read(buf, 2), 2); // never more than asked
    EXPECT_EQ(port.Read(buf + 2, sizeof buf - 2), 1);
    EXPECT_EQ(buf[2], 0x02);
    EXPECT_EQ(port.Read(buf, sizeof buf), 0); // nothing queued: no wait
    EXPECT_EQ(port.TakeLineErrors(), 0u);

    peer.Send({0x55, 0x55, 0x55, 0x55});
    ASSERT_TRUE(WaitQueued(port, 4));
    port.PurgeInput();
    EXPECT_EQ(port.QueuedInput(), 0);

    // Waiting for input that never comes ends at its bound.
    auto t0 = Clock::now();
    EXPECT_FALSE(port.WaitInput(30));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2));
}

TEST(ComPort, InterruptEndsAWaitAtOnce) {
    CPtyPeer peer;
    CComPort port;
    ASSERT_TRUE(port.Open(peer.Path()));
    auto t0 = Clock::now();
    bool got = true;
    std::thread waiter([&] { got = port.WaitInput(10000); });
    port.Interrupt();
    waiter.join();
    EXPECT_FALSE(got);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
}

TEST(ComPort, HeldExclusivelyUntilClosed) {
    CPtyPeer peer;
    CComPort first, second;
    ASSERT_TRUE(first.Open(peer.Path()));
    EXPECT_FALSE(second.Open(peer.Path()));
    EXPECT_EQ(second.LastError(), EPortError::Busy);
    EXPECT_FALSE(second.IsOpen());

    // Opening an open port closes and reopens it.
    EXPECT_TRUE(first.Open(peer.Path()));
    EXPECT_TRUE(first.IsOpen());
    EXPECT_FALSE(second.Open(peer.Path()));

    first.Close();
    first.Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.Open(peer.Path()));
}
