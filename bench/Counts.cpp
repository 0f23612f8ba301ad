// Instructions and system calls per read of ours and libmodbus's: this same
// program runs again as a child doing nothing but one client's reads, under
// valgrind's callgrind, strace or perf, and their totals are compared.

#include "bench/Bench.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {

namespace {

std::string SelfPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

bool RunChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ReadText(const std::string& path) {
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace

// Instructions of a whole run from callgrind's output; -1 on failure.
double CallgrindTotal(const std::string& client, const std::string& dev, int rounds) {
    const std::string out = "/tmp/halvik-bench-cg." + std::to_string(getpid());
    bool ok = RunChild({"valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, SelfPath(),
                        "--client", client, "--device", dev, "--baud", "9600", "--rounds",
                        std::to_string(rounds)});
    std::string text = ReadText(out);
    unlink(out.c_str());
    size_t at = text.find("\nsummary:");
    if (at == std::string::npos)
        at = text.find("\ntotals:");
    if (!ok || at == std::string::npos)
        return -1;
    return std::strtod(text.c_str() + text.find(':', at) + 1, nullptr);
}

// System calls of a whole run, all threads, from strace's summary; -1 on failure.
double StraceTotal(const std::string& client, const std::string& dev, int rounds) {
    const std::string out = "/tmp/halvik-bench-st." + std::to_string(getpid());
    bool ok = RunChild({"strace", "-f", "-c", "-o", out, SelfPath(), "--client", client, "--device",
                        dev, "--baud", "9600", "--rounds", std::to_string(rounds)});
    std::istringstream lines(ReadText(out));
    unlink(out.c_str());
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream t(line);
        std::vector<std::string> tok;
        for (std::string s; t >> s;)
            tok.push_back(s);
        if (ok && tok.size() >= 5 && tok.back() == "total")
            return std::strtod(tok[3].c_str(), nullptr);
    }
    return -1;
}

// The same counted by the kernel's tracepoint (perf stat), which does not
// slow the client down as strace does; -1 where perf cannot count it.
double PerfSyscallTotal(const std::string& client, const std::string& dev, int rounds) {
    const std::string out = "/tmp/halvik-bench-pf." + std::to_string(getpid());
    bool ok = RunChild({"perf", "stat", "-x", ",", "-e", "raw_syscalls:sys_enter", "-o", out, "--",
                        SelfPath(), "--client", client, "--device", dev, "--baud", "9600",
                        "--rounds", std::to_string(rounds)});
    std::istringstream lines(ReadText(out));
    unlink(out.c_str());
    std::string line;
    while (std::getline(lines, line))
        if (ok && line.find("raw_syscalls:sys_enter") != std::string::npos && !line.empty() &&
            std::isdigit(static_cast<unsigned char>(line[0])))
            return std::strtod(line.c_str(), nullptr);
    return -1;
}

double PerRead(double (*total)(const std::string&, const std::string&, int),
               const std::string& client, const std::string& dev, int rounds) {
    const int shortRun = std::max(1, rounds / 6);
    double a = total(client, dev, shortRun), b = total(client, dev, rounds);
    return a < 0 || b < 0 ? -1 : (b - a) / (rounds - shortRun);
}

int ChildMain(const Options& o) {
    int failures = 0;
    bool ok = o.client == "ours" ? OursBlock(o.device, o.baud, o.rounds, nullptr, failures)
                                 : LibmodbusBlock(o.device, o.baud, o.rounds, nullptr, failures);
    return ok && failures == 0 ? 0 : 1;
}

} // namespace bench
