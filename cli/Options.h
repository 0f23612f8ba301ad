#pragma once
// Command-line parsing of halvik-cli (on CLI11): the line options, the
// command with its arguments and options, and the help texts. Nothing here
// touches a device.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

struct CommandLine {
    // Line options.
    std::string port = "COM1";
    int baud = 9600;
    int framing = 0; // parity choice of CMotorDriver::SettingsString: n2, o1, e1, n1
    int slave = 1;
    bool slaveGiven = false; // --slave was on the command line
    int timeoutMs = 1000;
    bool json = false;
    std::string lang; // the driver's texts: "en", "zh", or "" for the environment's

    std::string command; // "info", "reg read", ...
    // Arguments and options of the command; each command reads its own.
    std::string block, file, value, freq, type = "u16", mode = "normal";
    int64_t addr = 0, index = 0, sub = -1, size = 0, position = 0;
    int64_t count = -1, interval = 0; // -1 and 0: not given
    int64_t first = 1, last = 247, replyMs = 0, timeoutS = 120;
    bool watch = false, raw = false, relative = false, dryRun = false, yes = false;
    bool allLines = false;
    // step
    std::string loop = "speed";
    int64_t ms = 1000;
    bool running = false;
    // status and stop: several drivers, each by its own address ("1,2,5").
    std::vector<uint8_t> slaves;
    int64_t turnaroundMs = 0; // scan and status --slaves; 0: not given
    // get: the field names ("motor.rated_current") in words; set: the first
    // field's name, then in words its value and any further name-value pairs.
    std::string field;
    std::vector<std::string> words;
};

// Parses argv (without the program name). Help and usage errors are written
// here: the result is an exit status then, or -1 when the command is to run.
int ParseCommandLine(std::vector<std::string> argv, CommandLine& out, std::ostream& os,
                     std::ostream& err);

// Strict integers for arguments: the whole text is the number, decimal or
// hexadecimal with 0x.
bool ParseInteger(std::string_view text, int64_t& out);
// The message for text that is no integer within [lo, hi]; "" when it is one.
std::string IntegerProblem(std::string_view text, int64_t lo, int64_t hi, int64_t& out);

const char* FramingName(int choice); // n2, o1, e1, n1
