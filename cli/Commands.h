#pragma once
// halvik-cli as a library: RunCli takes the arguments and the streams and
// returns the exit status, so tests can run commands in-process.

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

enum : int {
    kExitOk = 0,
    kExitCancelled = 1, // the user said no at the prompt
    kExitUsage = 2,     // bad arguments or a bad file
    kExitDevice = 3,    // the device answered with an error or not at all
    kExitDiffers = 4,   // import verification found differences
    kExitInterrupted = 130,
};

struct CliContext {
    std::ostream& out;
    std::ostream& err;
    // Set by the program on Ctrl-C. Commands that can stop cleanly set
    // stopArmed while they run; the program ends at once otherwise.
    std::atomic<bool>* stopRequested = nullptr;
    std::atomic<bool>* stopArmed = nullptr;
    // Whether a person can answer the import prompt.
    bool interactive = false;
    // Asks the question and returns the answer line; the default reads stdin.
    std::function<std::string(const std::string&)> ask;
};

int RunCli(const std::vector<std::string>& args, CliContext& ctx);

// Display width of UTF-8 text in a terminal (CJK characters count two).
size_t DisplayWidth(const std::string& s);
