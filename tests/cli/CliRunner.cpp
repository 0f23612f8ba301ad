#include "tests/cli/CliRunner.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

std::string At(const CJson& j, const std::string& path) {
    const CJson* at = &j;
    for (size_t p = 0; at && p <= path.size();) {
        const size_t dot = std::min(path.find('.', p), path.size());
        const std::string key = path.substr(p, dot - p);
        if (at->IsArray() && !key.empty() && std::isdigit(static_cast<unsigned char>(key[0])))
            at = std::stoul(key) < at->Size() ? &at->Items()[std::stoul(key)] : nullptr;
        else
            at = at->Find(key);
        p = dot + 1;
    }
    EXPECT_NE(at, nullptr) << path << " in " << j.Dump(false);
    return at ? at->Text() : "";
}

CliRun RunCli(const std::vector<std::string>& args, int deadlineMs,
              const std::function<bool(const CliRun&)>& interruptWhen) {
    CliRun r;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        return r;
    std::vector<std::string> full = {HALVIK_CLI_PATH};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : full)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls here. Default signal handling whatever
        // the test runner set (a background shell ignores SIGINT).
        const int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || dup2(outPipe[1], 1) < 0 || dup2(errPipe[1], 2) < 0)
            _exit(127);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        r.err = "fork failed";
        return r;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    bool interrupted = false;
    for (int open = 2; open > 0;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        // With a condition to watch, look again every few milliseconds.
        const bool watching = interruptWhen && !interrupted;
        if (poll(fds, 2, static_cast<int>(watching ? std::min<long>(left, 10) : left)) < 0 &&
            errno != EINTR)
            break;
        for (auto& fd : fds) {
            if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t got = read(fd.fd, buf, sizeof buf);
            if (got > 0) {
                (&fd == &fds[0] ? r.out : r.err).append(buf, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fd.fd);
                fd.fd = -1;
                --open;
            }
        }
        if (watching && interruptWhen(r)) {
            interrupted = true;
            kill(pid, SIGINT);
        }
    }
    for (auto& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int ws = 0;
    while (waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : WIFSIGNALED(ws) ? 128 + WTERMSIG(ws) : -1;
    return r;
}
