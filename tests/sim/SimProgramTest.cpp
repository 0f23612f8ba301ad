// The halvik-sim program: its line, its link, its tap, its exit on a signal.

#include "tests/sim/RawLine.h"
#include "tests/support/SimHarness.h"

#include <csignal>
#include <filesystem>
#include <regex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace {

// One run of the program with its stdout and stderr on pipes.
class CSimProcess {
public:
    explicit CSimProcess(std::vector<std::string> args) {
        int pipes[2][2];
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(pipe2(pipes[i], O_CLOEXEC), 0);
            posix_spawn_file_actions_adddup2(&fa, pipes[i][1], i + 1);
        }
        args.insert(args.begin(), HALVIK_SIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, HALVIK_SIM_PATH, &fa, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        for (int i = 0; i < 2; ++i) {
            close(pipes[i][1]);
            m_fd[i] = pipes[i][0];
        }
    }
    ~CSimProcess() {
        if (m_pid > 0 && !m_bExited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_fd[0]);
        close(m_fd[1]);
    }
    pid_t Pid() const { return m_pid; }

    // What the program wrote to fd, up to the first line end (oneLine) or
    // until it closed fd, within a few seconds.
    static std::string Read(int fd, bool oneLine) {
        Bytes b = ReadUntil(
            fd, [&](const Bytes& t) { return oneLine && t.size() && t.back() == '\n'; }, 5000);
        return std::string(b.begin(), b.end());
    }
    // The next line the program printed (both may come in one piece).
    std::string NextLine() {
        if (m_strPending.find('\n') == std::string::npos)
            m_strPending += Read(m_fd[0], true);
        const size_t end = m_strPending.find('\n');
        const std::string line = m_strPending.substr(0, end == std::string::npos ? end : end + 1);
        m_strPending.erase(0, line.size());
        return line;
    }
    // The program's line split into its link ("COMn" or "-") and its pty;
    // both empty when the line has another form.
    std::pair<std::string, std::string> Line() {
        std::smatch m;
        std::string line = NextLine();
        if (!std::regex_match(line, m, std::regex("(COM[0-9]+|-) (/dev/pts/[0-9]+)\n")))
            return {};
        return {m[1], m[2]};
    }
    std::string Stdout() const { return m_strPending + Read(m_fd[0], false); }
    std::string Stderr() const { return Read(m_fd[1], false); }
    // The exit status once the program has ended, or -1 after a few seconds.
    int Wait() {
        int status = 0;
        if (!WaitFor([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }))
            return -1;
        m_bExited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Stop(int sig = SIGTERM) {
        kill(m_pid, sig);
        return Wait();
    }

private:
    pid_t m_pid = -1;
    int m_fd[2] = {-1, -1}; // stdout, stderr
    bool m_bExited = false;
    std::string m_strPending; // read past the line asked for
};

class SimProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = UsePrivatePortFolder();
        ASSERT_FALSE(m_folder.empty());
    }
    std::string m_folder;
};

TEST_F(SimProgramTest, PrintsItsLineServesAndRemovesItsLinkOnSignals) {
    CSimProcess p({"--com", "5", "--slave", "7"});
    ASSERT_GT(p.Pid(), 0);
    const std::string com = p.Line().first;
    EXPECT_EQ(com, "COM5");
    // It answers as slave 7 through its link.
    EXPECT_EQ(CRawLine(m_folder + "/COM5").Exchange(WithCrc({7, 0x03, 0x00, 0x01, 0x00, 0x01}), 7),
              WithCrc({7, 0x03, 0x02, 0x01, 0x02}));

    // By default it takes a free number of its own; the server's test picks it.
    CSimProcess a({});
    const auto lineA = a.Line();
    EXPECT_EQ(lineA.first.rfind("COM", 0), 0u) << lineA.first;
    EXPECT_NE(lineA.first, com);

    EXPECT_EQ(p.Stop(), 0);
    EXPECT_EQ(a.Stop(SIGINT), 0);
    EXPECT_EQ(p.Stdout(), ""); // exactly one line
    struct stat st {};
    for (const std::string& link : {std::string("COM5"), lineA.first})
        EXPECT_NE(lstat((m_folder + "/" + link).c_str(), &st), 0) << link;
}

TEST_F(SimProgramTest, NoLinkFaultsAndBadArguments) {
    CSimProcess p({"--com", "-1", "--fault", "exception=4", "--learn-ms", "100"});
    auto [com, dev] = p.Line();
    EXPECT_EQ(com, "-");
    EXPECT_EQ(CRawLine(dev).Exchange(WithCrc({1, 0x03, 0x00, 0x01, 0x00, 0x01}), 5),
              WithCrc({1, 0x83, 4}));
    EXPECT_EQ(p.Stop(), 0);

    // An SDO fault for one object: its window write is refused.
    CSimProcess s({"--com", "-1", "--sdo-fault", "0x1801:1=exception:6"});
    CRawLine line(s.Line().second);
    const Bytes sdo =
        WithCrc({1, 0x10, 0x02, 0x00, 0x00, 0x06, 12, 0, 0x40, 0x18, 0x01, 0, 1, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(line.Exchange(sdo, 5), WithCrc({1, 0x90, 6}));
    EXPECT_EQ(s.Stop(), 0);

    for (std::vector<std::string> bad : {std::vector<std::string>{"--fault", "loud"},
                                         {"--sdo-fault", "0x1801=loud"},
                                         {"--motor", "4e-4,0,1e-4,0.01"}, // a motor without torque
                                         {"--slaves", "1;0x01"},
                                         {"--com"}}) {
        CSimProcess q(bad);
        EXPECT_EQ(q.Wait(), 2) << bad[0];
        EXPECT_EQ(q.Stdout(), "");
        EXPECT_NE(q.Stderr(), "");
    }
}

// A listener on the pair hears each request and its reply, byte for byte in
// the order they passed; what it writes goes nowhere, and one that never
// reads holds nothing up.
TEST_F(SimProgramTest, TheTapCarriesTheLineBothWaysInOrder) {
    CSimProcess p({"--com", "-1", "--tap-com", "6", "--no-pacing"});
    const std::string dev = p.Line().second;
    std::smatch m;
    const std::string tapLine = p.NextLine();
    ASSERT_TRUE(std::regex_match(tapLine, m, std::regex("tap (/dev/pts/[0-9]+) COM6\n")))
        << tapLine;
    char target[256] = {};
    ASSERT_GT(readlink((m_folder + "/COM6").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(m[1], target);

    CRawLine tap(m_folder + "/COM6"), line(dev);
    const Bytes request = WithCrc({1, 0x03, 0x00, 0x20, 0x00, 0x1C});
    Bytes heard = request;
    for (int i = 0; i < 2; ++i) {
        const Bytes reply = line.Exchange(request, 61);
        ASSERT_EQ(reply.size(), 61u);
        heard.insert(heard.end(), reply.begin(), reply.end());
        heard.insert(heard.end(), request.begin(), request.end());
    }
    heard.resize(heard.size() - request.size());
    EXPECT_EQ(tap.Receive(heard.size()), heard);
    tap.Send(request);
    EXPECT_TRUE(line.Receive(1, 100).empty());

    // Some 110 kB pass a tap no one reads, far more than a pty holds.
    for (int i = 0; i < 1600; ++i)
        ASSERT_EQ(line.Exchange(request, 61).size(), 61u) << i;
    EXPECT_EQ(p.Stop(), 0);
    EXPECT_NE(p.Stderr().find(" bytes dropped"), std::string::npos);
    struct stat st {};
    EXPECT_NE(lstat((m_folder + "/COM6").c_str(), &st), 0);
}

// A port folder that cannot be made, or that others can write to: served
// without a link, the reason named when there is one; a COM number asked for
// is refused.
TEST_F(SimProgramTest, WithoutAUsablePortFolderItServesUnlinkedUnlessANumberWasAsked) {
    for (const bool writable : {true, false}) {
        SCOPED_TRACE(writable ? "writable by others" : "no folder");
        if (writable)
            ASSERT_EQ(chmod(m_folder.c_str(), 0777), 0);
        else
            setenv("XDG_RUNTIME_DIR", "/proc/halvik-no-such-dir", 1);
        const std::string why = writable ? m_folder + " is writable by others (mode 0777)" : "";
        CSimProcess p({});
        EXPECT_EQ(p.Line().first, "-");
        EXPECT_EQ(p.Stop(), 0);
        EXPECT_NE(p.Stderr().find(why), std::string::npos);

        CSimProcess q({"--com", "3"});
        EXPECT_EQ(q.Wait(), 1);
        EXPECT_EQ(q.Stdout(), "");
        const std::string err = q.Stderr();
        EXPECT_NE(err.find("COM3"), std::string::npos) << err;
        EXPECT_NE(err.find(why), std::string::npos) << err;
        EXPECT_TRUE(std::filesystem::is_empty(m_folder));
    }
}

} // namespace
