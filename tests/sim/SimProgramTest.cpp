// The halvik-sim program: its one line, its link, its exit on SIGTERM.

#include "modbus/Crc16.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// One run of the program with its stdout and stderr on pipes.
class CSimProcess {
public:
    explicit CSimProcess(std::vector<std::string> args) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        args.insert(args.begin(), HALVIK_SIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, HALVIK_SIM_PATH, &fa, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~CSimProcess() {
        if (m_pid > 0 && !m_bExited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
        close(m_err);
    }
    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // Everything the program wrote to fd until it closes it or timeoutMs ends.
    std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& enough,
                          int timeoutMs) {
        std::string text;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!enough(text)) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buf[256];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            text.append(buf, static_cast<size_t>(n));
        }
        return text;
    }
    std::string Line(int timeoutMs = 5000) {
        return ReadUntil(
            m_out, [](const std::string& t) { return t.find('\n') != t.npos; }, timeoutMs);
    }
    std::string RestOfStdout() {
        return ReadUntil(
            m_out, [](const std::string&) { return false; }, 2000);
    }
    std::string Stderr() {
        return ReadUntil(
            m_err, [](const std::string&) { return false; }, 2000);
    }
    // The exit status once the program has ended, or -1 after timeoutMs.
    int Wait(int timeoutMs = 5000) {
        int status = 0;
        bool ended = WaitFor([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeoutMs);
        if (!ended)
            return -1;
        m_bExited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1, m_err = -1;
    bool m_bExited = false;
};

std::vector<uint8_t> Exchange(const std::string& dev, std::vector<uint8_t> req, size_t want) {
    int fd = open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    size_t n = req.size();
    req.resize(n + 2);
    AppendCrc(req.data(), n);
    std::vector<uint8_t> got;
    if (write(fd, req.data(), req.size()) == static_cast<ssize_t>(req.size())) {
        auto deadline = Clock::now() + std::chrono::seconds(3);
        while (got.size() < want && Clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                uint8_t buf[300];
                ssize_t r = read(fd, buf, sizeof buf);
                if (r > 0)
                    got.insert(got.end(), buf, buf + r);
            }
        }
    }
    close(fd);
    return got;
}

// Splits the program's line "COMn /dev/pts/X\n" (or "- /dev/pts/X\n").
bool ParseLine(const std::string& line, std::string& com, std::string& dev) {
    size_t sp = line.find(' ');
    if (sp == std::string::npos || line.empty() || line.back() != '\n')
        return false;
    com = line.substr(0, sp);
    dev = line.substr(sp + 1, line.size() - sp - 2);
    auto digits = [](const std::string& t) {
        return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
    };
    bool comOk = com == "-" || (com.rfind("COM", 0) == 0 && digits(com.substr(3)));
    return comOk && dev.rfind("/dev/pts/", 0) == 0 && digits(dev.substr(9));
}

class SimProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = UsePrivatePortFolder();
        ASSERT_FALSE(m_folder.empty());
    }
    std::string m_folder;
};

TEST_F(SimProgramTest, PrintsItsLineServesAndRemovesItsLinkOnSigterm) {
    CSimProcess p({"--com", "5", "--slave", "7"});
    ASSERT_TRUE(p.Started());
    std::string line = p.Line();
    std::string com, dev;
    ASSERT_TRUE(ParseLine(line, com, dev)) << line;
    EXPECT_EQ(com, "COM5");
    char target[256] = {};
    ASSERT_GT(readlink((m_folder + "/COM5").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(dev, target);

    // It answers as slave 7 through its link.
    auto reply = Exchange(m_folder + "/COM5", {7, 0x03, 0x00, 0x01, 0x00, 0x01}, 7);
    ASSERT_EQ(reply.size(), 7u);
    EXPECT_EQ(reply[0], 7);
    EXPECT_EQ(reply[3], 0x01);
    EXPECT_EQ(reply[4], 0x02);

    ASSERT_EQ(kill(p.Pid(), SIGTERM), 0);
    EXPECT_EQ(p.Wait(), 0);
    EXPECT_EQ(p.RestOfStdout(), ""); // exactly one line
    struct stat st {};
    EXPECT_NE(lstat((m_folder + "/COM5").c_str(), &st), 0);
}

TEST_F(SimProgramTest, DefaultTakesAFreeNumberAndSigintEndsIt) {
    CSimProcess a({});
    std::string lineA = a.Line(), comA, devA;
    ASSERT_TRUE(ParseLine(lineA, comA, devA)) << lineA;
    CSimProcess b({});
    std::string lineB = b.Line(), comB, devB;
    ASSERT_TRUE(ParseLine(lineB, comB, devB)) << lineB;
    EXPECT_NE(comA, "-");
    EXPECT_NE(comB, "-");
    EXPECT_NE(comA, comB);
    EXPECT_NE(devA, devB);
    ASSERT_EQ(kill(a.Pid(), SIGINT), 0);
    EXPECT_EQ(a.Wait(), 0);
    ASSERT_EQ(kill(b.Pid(), SIGTERM), 0);
    EXPECT_EQ(b.Wait(), 0);
}

TEST_F(SimProgramTest, NoLinkFaultsAndBadArguments) {
    CSimProcess p({"--com", "-1", "--fault", "exception=4", "--learn-ms", "100"});
    std::string line = p.Line();
    std::string com, dev;
    ASSERT_TRUE(ParseLine(line, com, dev)) << line;
    EXPECT_EQ(com, "-");
    auto reply = Exchange(dev, {1, 0x03, 0x00, 0x01, 0x00, 0x01}, 5);
    ASSERT_EQ(reply.size(), 5u);
    EXPECT_EQ(reply[1], 0x83);
    EXPECT_EQ(reply[2], 4);
    kill(p.Pid(), SIGTERM);
    EXPECT_EQ(p.Wait(), 0);

    for (std::vector<std::string> bad : {std::vector<std::string>{"--fault", "loud"},
                                         {"--slave", "0"},
                                         {"--com"},
                                         {"--bogus", "1"}}) {
        CSimProcess q(bad);
        EXPECT_EQ(q.Wait(), 2) << bad[0];
        EXPECT_EQ(q.RestOfStdout(), "");
        EXPECT_NE(q.Stderr(), "");
    }
}

TEST_F(SimProgramTest, WithoutAPortFolderItServesUnlinkedUnlessANumberWasAsked) {
    setenv("XDG_RUNTIME_DIR", "/proc/halvik-no-such-dir", 1);
    CSimProcess p({});
    std::string line = p.Line(), com, dev;
    ASSERT_TRUE(ParseLine(line, com, dev)) << line;
    EXPECT_EQ(com, "-");
    kill(p.Pid(), SIGTERM);
    EXPECT_EQ(p.Wait(), 0);

    CSimProcess q({"--com", "3"});
    EXPECT_EQ(q.Wait(), 1);
    EXPECT_EQ(q.RestOfStdout(), "");
    EXPECT_NE(q.Stderr().find("COM3"), std::string::npos);
}

} // namespace
