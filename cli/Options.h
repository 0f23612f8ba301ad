#pragma once
// Command-line parsing of halvik-cli (on CLI11): the line options, the
// command and its own options, and the help texts. Nothing here touches a
// device.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct LineOptions {
    std::string port = "COM1";
    int baud = 9600;
    int framing = 0; // parity choice of CMotorDriver::SettingsString: n2, o1, e1, n1
    int slave = 1;
    int timeoutMs = 1000;
    bool json = false;
};

struct CommandLine {
    LineOptions line;
    std::string command;                       // "" when none was given
    std::vector<std::string> args;             // positional arguments after the command
    std::map<std::string, std::string> values; // command options with a value
    std::set<std::string> flags;               // command options without a value
    bool help = false;

    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    const std::string* Value(const std::string& opt) const {
        auto it = values.find(opt);
        return it == values.end() ? nullptr : &it->second;
    }
};

// Parses argv (without the program name). On failure error names the problem.
bool ParseCommandLine(const std::vector<std::string>& argv, CommandLine& out, std::string& error);

// Strict numbers for arguments: the whole text must be the number. Decimal,
// or hexadecimal with 0x.
bool ParseInteger(std::string_view text, int64_t& out);
// As ParseInteger, checked against [lo, hi]; error says what was wrong.
bool ParseIntegerIn(std::string_view text, int64_t lo, int64_t hi, const char* what, int64_t& out,
                    std::string& error);
// A plain decimal number ("12.5", "-3", "1e3") with nothing after it.
bool IsStrictDecimal(std::string_view text);

// "n2" -> 0, "o1" -> 1, "e1" -> 2, "n1" -> 3; -1 when unknown.
int FramingChoice(std::string_view text);
const char* FramingName(int choice);

// The overview: synopsis, commands, line options, exit statuses.
std::string UsageText();
bool IsCommand(const std::string& name);
// One command's usage lines, what it does and a line per option.
std::string CommandHelp(const std::string& command);
