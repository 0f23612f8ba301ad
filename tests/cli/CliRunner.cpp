#include "tests/cli/CliRunner.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

std::string At(const Json& j, const std::string& path) {
    const Json* at = &j;
    for (size_t p = 0; at && p <= path.size();) {
        const size_t dot = std::min(path.find('.', p), path.size());
        const std::string key = path.substr(p, dot - p);
        p = dot + 1;
        if (key == "#")
            return std::to_string(at->size());
        const Json* next = nullptr;
        if (at->is_object() && at->contains(key))
            next = &(*at)[key];
        for (size_t i = 0; at->is_array() && i < at->size(); ++i)
            if (key == std::to_string(i) ||
                ((*at)[i].is_object() && JsonText((*at)[i].value("name", Json())) == key))
                next = &(*at)[i];
        at = next;
    }
    EXPECT_NE(at, nullptr) << path << " in " << DumpJson(j, false);
    return !at ? "" : at->is_structured() ? DumpJson(*at, false) : JsonText(*at);
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// Output goes to files, read while the program runs when there is a condition
// to watch and once more at the end.
CliRun RunCli(const std::vector<std::string>& args, int deadlineMs,
              const std::function<bool(const CliRun&)>& interruptWhen) {
    CliRun r;
    char outName[] = "/tmp/halvik-cli-out-XXXXXX", errName[] = "/tmp/halvik-cli-err-XXXXXX";
    const int out = mkostemp(outName, O_CLOEXEC), err = mkostemp(errName, O_CLOEXEC);
    std::vector<std::string> full = {HALVIK_CLI_PATH};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : full)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = out < 0 || err < 0 ? -1 : fork();
    if (pid == 0) {
        // Only async-signal-safe calls here. Default signal handling whatever
        // the test runner set (a background shell ignores SIGINT).
        const int in = open("/dev/null", O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(127);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    auto collect = [&] {
        r.out = ReadFile(outName);
        r.err = ReadFile(errName);
    };
    int ws = 0;
    bool interrupted = false;
    auto exited = [&] {
        if (waitpid(pid, &ws, WNOHANG) == pid)
            return true;
        if (interruptWhen && !interrupted) {
            collect();
            if ((interrupted = interruptWhen(r)))
                kill(pid, SIGINT);
        }
        return false;
    };
    if (pid > 0 && !WaitFor(exited, deadlineMs)) {
        kill(pid, SIGKILL);
        waitpid(pid, &ws, 0);
    }
    collect();
    for (int fd : {out, err})
        if (fd >= 0)
            close(fd);
    unlink(outName);
    unlink(errName);
    r.status = pid <= 0          ? -1
               : WIFEXITED(ws)   ? WEXITSTATUS(ws)
               : WIFSIGNALED(ws) ? 128 + WTERMSIG(ws)
                                 : -1;
    return r;
}
