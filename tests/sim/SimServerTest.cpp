// The server over a real pseudo-terminal, seen from a raw client descriptor.

#include "modbus/Crc16.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes WithCrc(Bytes b) {
    size_t n = b.size();
    b.resize(n + 2);
    AppendCrc(b.data(), n);
    return b;
}

bool CrcOk(const Bytes& b) {
    if (b.size() < 4)
        return false;
    uint16_t c = Crc16(b.data(), b.size() - 2);
    return b[b.size() - 2] == (c >> 8) && b[b.size() - 1] == (c & 0xFF);
}

const Bytes kReadVersion = WithCrc({1, 0x03, 0x00, 0x01, 0x00, 0x01});
const Bytes kVersionReply = WithCrc({1, 0x03, 0x02, 0x01, 0x02});

class Client {
public:
    explicit Client(const std::string& dev) {
        m_fd = open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        if (m_fd >= 0 && tcgetattr(m_fd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(m_fd, TCSANOW, &t);
        }
    }
    ~Client() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Ok() const { return m_fd >= 0; }
    void Send(const Bytes& b) const {
        ASSERT_EQ(write(m_fd, b.data(), b.size()), ssize_t(b.size()));
    }
    // Collects bytes until want have arrived or timeoutMs passed.
    Bytes Receive(size_t want, int timeoutMs) const {
        Bytes got;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < want) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            uint8_t buf[300];
            ssize_t n = read(m_fd, buf, sizeof buf);
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
        }
        return got;
    }
    // Collects bytes until they end in a correct CRC.
    Bytes ReceiveFrame(int timeoutMs = 2000) const {
        Bytes got;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!CrcOk(got) && Clock::now() < deadline) {
            Bytes more = Receive(1, 50);
            got.insert(got.end(), more.begin(), more.end());
        }
        return got;
    }
    Bytes Exchange(const Bytes& req, size_t want, int timeoutMs = 2000) const {
        Send(req);
        return Receive(want, timeoutMs);
    }

private:
    int m_fd = -1;
};

TEST(SimServerTest, AnswersFramedRequestsAndIgnoresOthers) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(h.Server().LinkPath(), "");
    Client c(h.Device());
    ASSERT_TRUE(c.Ok());
    EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply);

    // A request written in two pieces is still one request.
    Bytes w = WithCrc({1, 0x10, 0x00, 0x50, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x00, 0x0B});
    c.Send(Bytes(w.begin(), w.begin() + 5));
    c.Send(Bytes(w.begin() + 5, w.end()));
    EXPECT_EQ(c.Receive(8, 2000), WithCrc({1, 0x10, 0x00, 0x50, 0x00, 0x02}));
    EXPECT_EQ(h.Driver().GetRegister(0x0051), 0x000B);

    // Another slave's request and line garbage get no answer; the next
    // request after a quiet line does.
    size_t before = h.Server().RequestCount();
    c.Send(WithCrc({7, 0x03, 0x00, 0x01, 0x00, 0x01}));
    ASSERT_TRUE(WaitFor([&] { return h.Server().RequestCount() > before; }));
    size_t discards = h.Server().DiscardCount();
    c.Send({0x01, 0x03, 0x00, 0x01, 0x00, 0x01, 0x12, 0x34}); // bad CRC
    ASSERT_TRUE(WaitFor([&] { return h.Server().DiscardCount() > discards; }));
    EXPECT_TRUE(c.Receive(1, 50).empty());
    EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply);
    // An unknown function is judged after the line goes quiet.
    EXPECT_EQ(c.Exchange(WithCrc({1, 0x41, 0x00}), 5), WithCrc({1, 0xC1, 1}));
}

TEST(SimServerTest, PseudoTerminalOutlivesClientsAndIdlesWithoutCpu) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    {
        Client c(h.Device());
        EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply);
    }
    {
        Client c(h.Device());
        EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply);
    }
    // Idle serving waits in poll(): measured over a fixed window.
    timespec a{}, b{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
    poll(nullptr, 0, 300);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
    double cpuMs = (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 30.0);
}

TEST(SimServerTest, EachFaultDoesWhatItSays) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    Client c(h.Device());
    CSimServer& s = h.Server();

    s.InjectFault(EFault::Silent);
    EXPECT_TRUE(c.Exchange(kReadVersion, 1, 300).empty());
    EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply); // count 1: over

    s.InjectFault(EFault::BadCrc);
    Bytes r = c.Exchange(kReadVersion, 7);
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(Bytes(r.begin(), r.end() - 1), Bytes(kVersionReply.begin(), kVersionReply.end() - 1));
    EXPECT_FALSE(CrcOk(r));

    s.InjectFault(EFault::ForeignAddress);
    r = c.Exchange(kReadVersion, 7);
    ASSERT_EQ(r.size(), 7u);
    EXPECT_NE(r[0], 1);
    EXPECT_TRUE(CrcOk(r));

    s.InjectFault(EFault::WrongFunction);
    r = c.Exchange(kReadVersion, 7);
    ASSERT_GE(r.size(), 5u);
    EXPECT_NE(r[1], 0x03);
    EXPECT_TRUE(CrcOk(Bytes(r.begin(), r.end())));

    // An injected exception refuses the request: nothing is written.
    s.InjectFault(EFault::Exception, 0x0B);
    EXPECT_EQ(c.Exchange(WithCrc({1, 0x06, 0x00, 0x50, 0x00, 0x63}), 5), WithCrc({1, 0x86, 0x0B}));
    EXPECT_EQ(h.Driver().GetRegister(0x0050), 0);

    s.InjectFault(EFault::Trailing, 3);
    r = c.Exchange(kReadVersion, 10);
    ASSERT_EQ(r.size(), 10u);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 7), kVersionReply);

    // The first half arrives alone; the second follows after the gap.
    s.InjectFault(EFault::Split, 400);
    auto t0 = Clock::now();
    c.Send(kReadVersion);
    Bytes first = c.Receive(3, 2000);
    EXPECT_EQ(first.size(), 3u);
    Bytes rest = c.Receive(7 - first.size(), 2000);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    first.insert(first.end(), rest.begin(), rest.end());
    EXPECT_EQ(first, kVersionReply);
    EXPECT_GE(took, 380);

    s.InjectFault(EFault::Delay, 400);
    t0 = Clock::now();
    EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count(),
              350);

    // count -1 lasts until cleared.
    s.InjectFault(EFault::Silent, 0, -1);
    EXPECT_TRUE(c.Exchange(kReadVersion, 1, 200).empty());
    EXPECT_TRUE(c.Exchange(kReadVersion, 1, 200).empty());
    s.ClearFaults();
    EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply);
}

TEST(SimServerTest, EndlessDeviceIdKeepsSayingMoreFollows) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    Client c(h.Device());
    h.Server().InjectFault(EFault::EndlessDeviceId, 0, 2);
    EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply); // not counted
    for (uint8_t id : {0, 2}) {
        c.Send(WithCrc({1, 0x2B, 0x0E, 0x01, id}));
        Bytes r = c.ReceiveFrame();
        ASSERT_GE(r.size(), 10u);
        EXPECT_EQ(r[5], 0xFF);
        EXPECT_EQ(r[6], id);
    }
    c.Send(WithCrc({1, 0x2B, 0x0E, 0x01, 0x02}));
    Bytes r = c.ReceiveFrame();
    ASSERT_GE(r.size(), 10u);
    EXPECT_EQ(r[5], 0x00); // the two counted replies are over
}

TEST(SimServerTest, ComLinksAreMadeReclaimedAndRemoved) {
    std::string folder = UsePrivatePortFolder();
    ASSERT_FALSE(folder.empty());
    // A dead simulator's link and a user's link to an unplugged adapter.
    ASSERT_EQ(symlink("/dev/pts/999999", (folder + "/COM1").c_str()), 0);
    ASSERT_EQ(symlink("/dev/ttyUSB-unplugged", (folder + "/COM2").c_str()), 0);

    CVirtualDriver d1, d2, d3;
    CSimServer s1(d1), s2(d2), s3(d3);
    ASSERT_TRUE(s1.Start(0));
    EXPECT_EQ(s1.ComNumber(), 1);
    char target[256] = {};
    ASSERT_GT(readlink((folder + "/COM1").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), s1.DevicePath());

    ASSERT_TRUE(s2.Start(0));
    EXPECT_GT(s2.ComNumber(), 2); // COM2 stays the user's
    EXPECT_FALSE(s3.Start(1));    // a live simulator's number
    EXPECT_FALSE(s3.Start(2));    // the user's mapping

    // A live pty whose recorded owner has ended: the number is taken over.
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    ASSERT_EQ(symlink(s1.DevicePath().c_str(), (folder + "/COM9").c_str()), 0);
    std::ofstream(folder + "/.COM9.owner") << child << "\n";
    ASSERT_TRUE(s3.Start(9));
    {
        Client c(folder + "/COM9");
        EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply);
    }
    EXPECT_EQ(d3.RequestLog().size(), 1u); // s3 answered, not s1

    std::string link1 = s1.LinkPath(), link2 = s2.LinkPath();
    s1.Stop();
    s2.Stop();
    s3.Stop();
    struct stat st {};
    EXPECT_NE(lstat(link1.c_str(), &st), 0);
    EXPECT_NE(lstat(link2.c_str(), &st), 0);
    EXPECT_NE(lstat((folder + "/COM9").c_str(), &st), 0);
    EXPECT_EQ(lstat((folder + "/COM2").c_str(), &st), 0);
}

TEST(SimServerTest, ParseFaultNamesEveryKind) {
    EFault k = EFault::None;
    int p = -1;
    EXPECT_TRUE(ParseFault("exception=11", k, p));
    EXPECT_EQ(k, EFault::Exception);
    EXPECT_EQ(p, 11);
    EXPECT_TRUE(ParseFault("split", k, p));
    EXPECT_EQ(k, EFault::Split);
    EXPECT_EQ(p, 0);
    EXPECT_TRUE(ParseFault("delay=2000", k, p));
    EXPECT_EQ(p, 2000);
    for (const char* ok : {"silent", "badcrc", "foreign", "wrongfunc", "trailing=5", "endlessid"})
        EXPECT_TRUE(ParseFault(ok, k, p)) << ok;
    for (const char* bad : {"", "loud", "exception=x", "exception=300", "silent=3", "delay=-1"})
        EXPECT_FALSE(ParseFault(bad, k, p)) << bad;
}

TEST(SimHarnessTest, WaitForHoldsItsDeadline) {
    auto t0 = Clock::now();
    EXPECT_FALSE(WaitFor([] { return false; }, 100));
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 2000);
    int calls = 0;
    EXPECT_TRUE(WaitFor([&] { return ++calls == 3; }, 5000));
}

} // namespace
