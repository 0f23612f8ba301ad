// The server over a real pseudo-terminal, seen from a raw client descriptor.

#include "tests/sim/RawLine.h"
#include "tests/support/SimHarness.h"

#include <ctime>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

using Clock = std::chrono::steady_clock;

const Bytes kReadVersion = WithCrc({1, 0x03, 0x00, 0x01, 0x00, 0x01});
const Bytes kVersionReply = WithCrc({1, 0x03, 0x02, 0x01, 0x02});

long MsSince(Clock::time_point t0) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

TEST(SimServerTest, AnswersFramedRequestsIgnoresOthersAndIdlesWithoutCpu) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(h.Server().LinkPath(), "");
    for (int i = 0; i < 2; ++i) { // the pty outlives its clients
        CRawLine c(h.Device());
        ASSERT_TRUE(c.Ok());
        EXPECT_EQ(c.Exchange(kReadVersion, 7), kVersionReply);
    }
    CRawLine c(h.Device());
    // A request written in two pieces is still one request.
    Bytes w = WithCrc({1, 0x10, 0x00, 0x50, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x00, 0x0B});
    c.Send(Bytes(w.begin(), w.begin() + 5));
    c.Send(Bytes(w.begin() + 5, w.end()));
    EXPECT_EQ(c.Receive(8), WithCrc({1, 0x10, 0x00, 0x50, 0x00, 0x02}));
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

    // Idle serving waits in poll(): measured over a fixed window.
    timespec a{}, b{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
    poll(nullptr, 0, 300);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
    EXPECT_LT((b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6, 30.0);
}

// The fault matrix sees every fault through the master's result codes; these
// are the ones a result code cannot show.
TEST(SimServerTest, FaultsTheMasterCannotTellApartDoWhatTheySay) {
    CSimHarness h;
    ASSERT_TRUE(h.Ok());
    CRawLine c(h.Device());
    CSimServer& s = h.Server();

    Bytes r;
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
    r = c.Exchange(kReadVersion, 3);
    EXPECT_EQ(r.size(), 3u);
    Bytes rest = c.Receive(7 - r.size());
    r.insert(r.end(), rest.begin(), rest.end());
    EXPECT_EQ(r, kVersionReply);
    EXPECT_GE(MsSince(t0), 380);
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
    EXPECT_EQ(CRawLine(folder + "/COM9").Exchange(kReadVersion, 7), kVersionReply);
    EXPECT_EQ(d3.RequestLog().size(), 1u); // s3 answered, not s1

    std::string link1 = s1.LinkPath(), link2 = s2.LinkPath();
    s1.Stop();
    s2.Stop();
    s3.Stop();
    struct stat st {};
    for (const std::string& gone : {link1, link2, folder + "/COM9"})
        EXPECT_NE(lstat(gone.c_str(), &st), 0) << gone;
    EXPECT_EQ(lstat((folder + "/COM2").c_str(), &st), 0);
}

TEST(SimServerTest, ParseFaultNamesEveryKind) {
    auto parsed = [](const char* text) {
        EFault k = EFault::None;
        int p = -1;
        return ParseFault(text, k, p) ? std::make_pair(k, p) : std::make_pair(EFault::None, -1);
    };
    using P = std::pair<EFault, int>;
    EXPECT_EQ(parsed("exception=11"), P(EFault::Exception, 11));
    EXPECT_EQ(parsed("split"), P(EFault::Split, 0));
    for (const char* bad : {"exception=300", "silent=3", "delay=-1"})
        EXPECT_EQ(parsed(bad), P(EFault::None, -1)) << bad;
}

} // namespace
