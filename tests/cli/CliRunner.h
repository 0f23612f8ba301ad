#pragma once
// Runs the built halvik-cli as a child process with a bounded wait: standard
// input from /dev/null, standard output and error captured, killed on the
// deadline. Nothing sleeps blindly; the wait is on the child's pipes.

#include <functional>
#include <string>
#include <vector>

struct CliRun {
    int status = -1;       // exit status, or 128 + signal when killed by one
    bool timedOut = false; // killed at the deadline
    std::string out, err;
};

// interruptWhen, when given, is asked after every chunk of output and every
// few milliseconds; the first time it says yes the child gets SIGINT.
CliRun RunCli(const std::vector<std::string>& args, int deadlineMs = 30000,
              const std::function<bool(const CliRun&)>& interruptWhen = {});
