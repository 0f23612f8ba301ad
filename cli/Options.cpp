#include "cli/Options.h"

#include "driver/CanOpen.h"
#include "driver/Format.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>

namespace {

// One option of a command: a flag when value is null.
struct OptionSpec {
    const char* name;
    const char* value; // what the value is called in the help ("MS")
    const char* what;  // one line for the help
};

struct CommandSpec {
    const char* name;
    const char* synopsis; // usage lines after "halvik-cli"; several joined by '\n'
    const char* brief;    // for the overview
    std::string what;
    std::vector<OptionSpec> options;
};

const std::vector<OptionSpec> kLineOptions = {
    {"--port", "COMn|DEVICE", "COM number (COM3 or 3) or device path (default COM1)"},
    {"--baud", "N", "line speed (default 9600)"},
    {"--framing", "n2|o1|e1|n1", "parity and stop bits: n2 none+2, o1 odd+1, e1 even+1, n1 none+1"},
    {"--slave", "N", "slave address 0..255 (default 1)"},
    {"--timeout", "MS", "reply time-out in ms, 1..60000 (default 1000)"},
    {"--json", nullptr, "one JSON document on standard output instead of text"},
};

const std::vector<CommandSpec> kCommands = {
    {"ports",
     "ports",
     "COM numbers and the devices they resolve to",
     "COM numbers and the devices they resolve to",
     {}},
    {"info",
     "info",
     "device information block",
     "device information block (identifier, model, version, PWM, currents)",
     {}},
    {"ident", "ident", "device identification text", "device identification text", {}},
    {"status",
     "status [--watch] [--interval MS] [--count N]",
     "real-time status (watch: 0 = until Ctrl-C)",
     "real-time status: raw registers, engineering values, units and texts",
     {{"--watch", nullptr, "repeat, then sum up the link on standard error"},
      {"--interval", "MS", "time between samples when watching, 10..3600000 (default 500)"},
      {"--count", "N", "samples to take when watching (default 0: until Ctrl-C)"}}},
    {"read",
     "read BLOCK",
     "a register block",
     "a register block with addresses, raw values and decoded fields; BLOCK is one of\n"
     "device-info, status, ramp, motor, system-a, comm-a, system-b, comm-b, reciprocate,\n"
     "preset-speed, pid, learn, safety, canopen",
     {}},
    {"reg",
     "reg read ADDR [--count N] [--type T]\nreg write ADDR VALUE [--type T]",
     "any holding registers, typed",
     "any holding registers; 32-bit types high word first. VALUE is decimal within the\n"
     "type's range, or a 0x bit pattern",
     {{"--type", "T", "u16 (default), i16, u32, i32 or f32"},
      {"--count", "N", "values to read (default 1)"}}},
    {"sdo",
     "sdo upload INDEX SUB\nsdo download INDEX SUB VALUE --size 1|2|3|4\nsdo save [SUB]",
     "SDO upload, download, store parameters",
     StrFormat("one expedited SDO exchange, or the store command to object 0x%04X (SUB %u:\n"
               "communication parameters, as the desktop store button; %u: all)",
               kObjStore, kStoreComm, kStoreAll),
     {{"--size", "1|2|3|4", "bytes of a download"}}},
    {"run",
     "run pwm PERCENT\nrun freq HZ [--raw]",
     "output PWM or commutation frequency",
     "output PWM (-100.0..100.0 %) or commutation frequency (Hz, scaled by the driver's\n"
     "speed unit)",
     {{"--raw", nullptr, "send the frequency's register value as given"}}},
    {"move",
     "move --freq HZ --position N [--relative] [--raw]",
     "position move",
     "position move",
     {{"--freq", "HZ", "commutation frequency of the move"},
      {"--position", "N", "target position (or distance with --relative)"},
      {"--relative", nullptr, "move by N from where the motor is"},
      {"--raw", nullptr, "send the frequency's register value as given"}}},
    {"stop",
     "stop [normal|emergency|free]",
     "stop the motor",
     "stop the motor (default normal)",
     {}},
    {"clear-position",
     "clear-position",
     "set the rotation position to 0",
     "set the rotation position to 0",
     {}},
    {"learn",
     "learn [--timeout-s S]",
     "motor learning (default limit 120 s)",
     "motor learning, with a progress line on standard error",
     {{"--timeout-s", "S", "give up after S seconds, 1..86400 (default 120)"}}},
    {"export",
     "export FILE",
     "save blocks, PDOs and SYNC to a file (\"-\": stdout)",
     "save the parameter blocks, the eight PDOs and the SYNC objects to a JSON file\n"
     "(\"-\": standard output)",
     {}},
    {"import",
     "import FILE [--dry-run] [--yes]",
     "check, show differences, write, verify",
     "check the file, show the differences, write, read back and compare",
     {{"--dry-run", nullptr, "only show the differences; write nothing"},
      {"--yes", nullptr, "write without asking"}}},
    {"scan",
     "scan [--first N] [--last N] [--all-lines] [--reply-ms MS]",
     "find drivers on the bus",
     "tries every slave address of a range at the line settings given (--baud, --framing),\n"
     "or at every baud rate and parity the desktop tool offers, and prints one line per\n"
     "driver that answers: address, line settings, identifier and model. Progress goes\n"
     "to standard error; exit status 3 when no driver answered",
     {{"--first", "N", "first slave address to try, 1..247 (default 1)"},
      {"--last", "N", "last slave address to try, 1..247 (default 247)"},
      {"--all-lines", nullptr, "try every baud rate with every parity, not only --baud/--framing"},
      {"--reply-ms", "MS", "reply time-out of each try, 1..60000 (default: wire time + 50 ms)"}}},
    {"help",
     "help [COMMAND]",
     "this overview, or a command's options",
     "the overview, or a command's options",
     {}},
};

bool IsNegativeNumber(const std::string& s) {
    return s.size() >= 2 && s[0] == '-' &&
           (std::isdigit(static_cast<unsigned char>(s[1])) || s[1] == '.');
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const auto& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

std::string OptionLines(const std::vector<OptionSpec>& opts) {
    std::vector<std::string> left;
    size_t width = 0;
    for (const auto& o : opts) {
        left.push_back(std::string(o.name) + (o.value ? std::string(" ") + o.value : ""));
        width = std::max(width, left.back().size());
    }
    std::string text;
    for (size_t i = 0; i < opts.size(); ++i)
        text += "  " + left[i] + std::string(width - left[i].size() + 2, ' ') + opts[i].what + "\n";
    return text;
}

bool ApplyLineOption(const std::string& opt, const std::string& val, LineOptions& line,
                     std::string& error) {
    int64_t v = 0;
    if (opt == "--port") {
        if (val.empty()) {
            error = "--port needs a COM number or a device path";
            return false;
        }
        line.port = val;
    } else if (opt == "--baud") {
        if (!ParseIntegerIn(val, 1, 4000000, "--baud", v, error))
            return false;
        line.baud = static_cast<int>(v);
    } else if (opt == "--framing") {
        int c = FramingChoice(val);
        if (c < 0) {
            error = "--framing must be n2, o1, e1 or n1, not '" + val + "'";
            return false;
        }
        line.framing = c;
    } else if (opt == "--slave") {
        if (!ParseIntegerIn(val, 0, 255, "--slave", v, error))
            return false;
        line.slave = static_cast<int>(v);
    } else if (opt == "--timeout") {
        if (!ParseIntegerIn(val, 1, 60000, "--timeout (milliseconds)", v, error))
            return false;
        line.timeoutMs = static_cast<int>(v);
    }
    return true;
}

// CLI11's words for a parse error as one line in the program's own terms.
std::string ParseErrorText(const CLI::ParseError& e) {
    std::string what = e.what();
    const size_t flag = what.find(" was given a disallowed flag override");
    if (flag != std::string::npos) {
        std::string name = what.substr(0, flag);
        return (name.rfind("--", 0) == 0 ? name : "--" + name) + " takes no value";
    }
    if (what.find("required") != std::string::npos && what.find("missing") != std::string::npos)
        return what.substr(0, what.find(':')) + " needs a value";
    for (auto& c : what)
        if (c == '\n')
            c = ' ';
    return what;
}

} // namespace

bool ParseInteger(std::string_view t, int64_t& out) {
    bool neg = false;
    size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        neg = t[i] == '-';
        ++i;
    }
    int base = 10;
    if (t.size() - i > 2 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= t.size())
        return false;
    uint64_t mag = 0;
    auto r = std::from_chars(t.data() + i, t.data() + t.size(), mag, base);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return false;
    if (mag > static_cast<uint64_t>(INT64_MAX))
        return false;
    out = neg ? -static_cast<int64_t>(mag) : static_cast<int64_t>(mag);
    return true;
}

bool ParseIntegerIn(std::string_view text, int64_t lo, int64_t hi, const char* what, int64_t& out,
                    std::string& error) {
    int64_t v;
    if (!ParseInteger(text, v)) {
        error = StrFormat("%s: '%.*s' is not an integer", what, static_cast<int>(text.size()),
                          text.data());
        return false;
    }
    if (v < lo || v > hi) {
        error = StrFormat("%s: %lld is out of range %lld..%lld", what, static_cast<long long>(v),
                          static_cast<long long>(lo), static_cast<long long>(hi));
        return false;
    }
    out = v;
    return true;
}

bool IsStrictDecimal(std::string_view t) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+'))
        ++i;
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        ++i;
        ++digits;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '-' || t[i] == '+'))
            ++i;
        size_t e = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
            ++i;
            ++e;
        }
        if (e == 0)
            return false;
    }
    return i == t.size();
}

int FramingChoice(std::string_view t) {
    if (t == "n2")
        return 0;
    if (t == "o1")
        return 1;
    if (t == "e1")
        return 2;
    if (t == "n1")
        return 3;
    return -1;
}

const char* FramingName(int choice) {
    static const char* const kNames[] = {"n2", "o1", "e1", "n1"};
    return choice >= 0 && choice < 4 ? kNames[choice] : "n1";
}

bool ParseCommandLine(const std::vector<std::string>& argv, CommandLine& out, std::string& error) {
    CLI::App app("halvik-cli", "halvik-cli");
    // Unknown words are named below in the program's own terms.
    app.allow_extras();
    app.require_subcommand(0, 1);
    app.set_help_flag("-h,--help");
    std::map<std::string, std::string> lineValues;
    std::vector<std::pair<std::string, CLI::Option*>> lineOpts;
    for (const auto& o : kLineOptions) {
        if (!o.value)
            continue;
        lineOpts.emplace_back(o.name, app.add_option(o.name, lineValues[o.name])
                                          ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast));
    }
    app.add_flag("--json", out.line.json)->disable_flag_override();

    struct SBound {
        const CommandSpec* spec;
        CLI::App* app;
        std::vector<std::string> args;
        std::map<std::string, std::string> values;
        std::map<std::string, CLI::Option*> opts;
    };
    std::vector<std::unique_ptr<SBound>> commands;
    for (const auto& spec : kCommands) {
        auto b = std::make_unique<SBound>();
        b->spec = &spec;
        b->app = app.add_subcommand(spec.name);
        b->app->fallthrough(); // line options may follow the command
        b->app->set_help_flag("-h,--help");
        // Words after the command are its arguments, even where they name
        // another command ("reg read").
        b->app->add_option("args", b->args)->expected(0, -1);
        for (const auto& o : spec.options)
            b->opts[o.name] = o.value ? b->app->add_option(o.name, b->values[o.name])
                                            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
                                      : b->app->add_flag(o.name)->disable_flag_override();
        commands.push_back(std::move(b));
    }

    // Words after "--" are arguments whatever they look like; CLI11 sees
    // only what comes before.
    const auto dashes = std::find(argv.begin(), argv.end(), "--");
    for (auto it = argv.begin(); it != dashes; ++it)
        if (it->size() > 3 && it->rfind("--", 0) == 0 && it->back() == '=') {
            const std::string name = it->substr(0, it->size() - 1);
            error = name == "--port" ? "--port needs a COM number or a device path"
                                     : name + " needs a value";
            return false;
        }
    const std::vector<std::string> afterDashes(dashes == argv.end() ? argv.end() : dashes + 1,
                                               argv.end());
    std::vector<std::string> args(std::make_reverse_iterator(dashes), argv.rend());
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        out.help = true;
        for (const auto& b : commands)
            if (b->app->parsed())
                out.command = b->spec->name;
        return true;
    } catch (const CLI::ParseError& e) {
        error = ParseErrorText(e);
        return false;
    }

    const SBound* chosen = nullptr;
    for (const auto& b : commands)
        if (b->app->parsed())
            chosen = b.get();
    std::vector<std::string> tail = afterDashes;
    if (!chosen && !tail.empty()) {
        for (const auto& b : commands)
            if (tail[0] == b->spec->name)
                chosen = b.get();
        if (!chosen) {
            error = "unknown command '" + tail[0] + "'";
            return false;
        }
        tail.erase(tail.begin());
    }
    // CLI11 takes "-.5" for an option; such numbers are arguments.
    std::vector<std::string> numbers;
    for (const std::string& extra : app.remaining()) {
        if (IsNegativeNumber(extra) && chosen) {
            numbers.push_back(extra);
            continue;
        }
        const bool isOption = extra.size() > 1 && extra[0] == '-';
        if (!isOption && !chosen) {
            error = "unknown command '" + extra + "'";
            return false;
        }
        const std::string name = extra.substr(0, extra.find('='));
        error = isOption ? "unknown option '" + name + "'" +
                               (chosen ? " for command '" + std::string(chosen->spec->name) + "'"
                                       : std::string())
                         : "unexpected argument '" + extra + "'";
        return false;
    }
    for (const auto& [name, opt] : lineOpts)
        if (opt->count() > 0 && !ApplyLineOption(name, lineValues[name], out.line, error))
            return false;
    if (chosen) {
        out.command = chosen->spec->name;
        // The arguments in the order they were typed: CLI11's and the
        // numbers it left over, merged by their places on the command line.
        size_t ia = 0, in = 0;
        for (auto it = argv.begin(); it != dashes; ++it) {
            if (ia < chosen->args.size() && *it == chosen->args[ia])
                out.args.push_back(chosen->args[ia++]);
            else if (in < numbers.size() && *it == numbers[in])
                out.args.push_back(numbers[in++]);
        }
        out.args.insert(out.args.end(), tail.begin(), tail.end());
        for (const auto& o : chosen->spec->options) {
            if (chosen->opts.at(o.name)->count() == 0)
                continue;
            if (o.value)
                out.values[o.name] = chosen->values.at(o.name);
            else
                out.flags.insert(o.name);
        }
    }
    return true;
}

std::string UsageText() {
    std::string text = R"(usage: halvik-cli [--port COMn|DEVICE] [--baud N] [--framing n2|o1|e1|n1]
                  [--slave N] [--timeout MS] [--json] COMMAND ...

Commands:
)";
    for (const auto& c : kCommands) {
        const std::string synopsis = c.synopsis;
        for (size_t p = 0; p <= synopsis.size();) {
            const size_t e = std::min(synopsis.find('\n', p), synopsis.size());
            const std::string line = synopsis.substr(p, e - p);
            text += "  " + line;
            if (p == 0 && line.size() < 36)
                text += std::string(36 - line.size(), ' ') + c.brief;
            else if (p == 0)
                text += "\n" + std::string(38, ' ') + c.brief;
            text += "\n";
            p = e + 1;
        }
    }
    text += "\nLine options (before or after the command):\n" + OptionLines(kLineOptions);
    text += R"(
'halvik-cli COMMAND --help' shows a command's arguments and options.

Exit status: 0 ok, 1 cancelled at the prompt, 2 usage or file error,
3 device error or no answer, 4 import verification found differences,
130 interrupted.
)";
    return text;
}

bool IsCommand(const std::string& name) {
    return FindCommand(name) != nullptr;
}

std::string CommandHelp(const std::string& command) {
    const CommandSpec* c = FindCommand(command);
    if (!c)
        return UsageText();
    std::string text = "usage:";
    std::string synopsis = c->synopsis;
    for (size_t p = 0; p <= synopsis.size();) {
        const size_t e = std::min(synopsis.find('\n', p), synopsis.size());
        text += (p == 0 ? " halvik-cli " : "       halvik-cli ") + synopsis.substr(p, e - p) + "\n";
        p = e + 1;
    }
    text += "\n" + c->what + "\n";
    if (!c->options.empty())
        text += "\nOptions:\n" + OptionLines(c->options);
    text += "\nLine options (before or after the command):\n" + OptionLines(kLineOptions);
    return text;
}
