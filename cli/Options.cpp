#include "cli/Options.h"

#include "driver/Format.h"

#include <cctype>
#include <charconv>

namespace {

struct CommandSpec {
    const char* name;
    std::vector<std::string> valueOptions;
    std::vector<std::string> flagOptions;
};

const std::vector<CommandSpec> kCommands = {
    {"ports", {}, {}},
    {"info", {}, {}},
    {"ident", {}, {}},
    {"status", {"--interval", "--count"}, {"--watch"}},
    {"read", {}, {}},
    {"reg", {"--count", "--type"}, {}},
    {"sdo", {"--size"}, {}},
    {"run", {}, {"--raw"}},
    {"move", {"--freq", "--position"}, {"--relative", "--raw"}},
    {"stop", {}, {}},
    {"clear-position", {}, {}},
    {"learn", {"--timeout-s"}, {}},
    {"export", {}, {}},
    {"import", {}, {"--dry-run", "--yes"}},
    {"help", {}, {}},
};

const CommandSpec* FindCommand(const std::string& name) {
    for (const auto& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    for (const auto& x : v)
        if (x == s)
            return true;
    return false;
}

bool IsNegativeNumber(const std::string& s) {
    return s.size() >= 2 && s[0] == '-' &&
           (std::isdigit(static_cast<unsigned char>(s[1])) || s[1] == '.');
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
    static const std::vector<std::string> kLineOptions = {"--port", "--baud", "--framing",
                                                          "--slave", "--timeout"};
    const CommandSpec* spec = nullptr;
    bool optionsEnded = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        std::string tok = argv[i];
        bool isOption = !optionsEnded && tok.size() > 1 && tok[0] == '-' && !IsNegativeNumber(tok);
        if (!isOption) {
            if (!spec) {
                spec = FindCommand(tok);
                if (!spec) {
                    error = "unknown command '" + tok + "'";
                    return false;
                }
                out.command = tok;
            } else {
                out.args.push_back(tok);
            }
            continue;
        }
        if (tok == "--") {
            optionsEnded = true;
            continue;
        }
        if (tok == "-h" || tok == "--help") {
            out.help = true;
            continue;
        }
        std::string name = tok, value;
        bool inlineValue = false;
        size_t eq = tok.find('=');
        if (eq != std::string::npos && tok.compare(0, 2, "--") == 0) {
            name = tok.substr(0, eq);
            value = tok.substr(eq + 1);
            inlineValue = true;
        }
        bool lineOpt = Contains(kLineOptions, name);
        bool cmdValue = spec && Contains(spec->valueOptions, name);
        bool cmdFlag = spec && Contains(spec->flagOptions, name);
        if (name == "--json" || cmdFlag) {
            if (inlineValue) {
                error = name + " takes no value";
                return false;
            }
            if (name == "--json")
                out.line.json = true;
            else
                out.flags.insert(name);
            continue;
        }
        if (!lineOpt && !cmdValue) {
            error = "unknown option '" + name + "'" +
                    (spec ? " for command '" + out.command + "'" : std::string());
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= argv.size()) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (lineOpt) {
            if (!ApplyLineOption(name, value, out.line, error))
                return false;
        } else {
            out.values[name] = value;
        }
    }
    return true;
}

std::string UsageText() {
    return R"(usage: halvik-cli [--port COMn|DEVICE] [--baud N] [--framing n2|o1|e1|n1]
                  [--slave N] [--timeout MS] [--json] COMMAND ...

Line defaults: COM1, 9600 baud, n2, slave 1, 1000 ms reply time-out.

Commands:
  ports                               COM numbers and the devices they resolve to
  info                                device information block
  ident                               device identification text
  status [--watch] [--interval MS] [--count N]
                                      real-time status (watch: 0 = until Ctrl-C)
  read BLOCK                          a register block: device-info, status, ramp,
                                      motor, system-a, comm-a, system-b, comm-b,
                                      reciprocate, preset-speed, pid, learn, safety,
                                      canopen
  reg read ADDR [--count N] [--type u16|i16|u32|i32|f32]
  reg write ADDR VALUE [--type u16|i16|u32|i32|f32]
  sdo upload INDEX SUB
  sdo download INDEX SUB VALUE --size 1|2|3|4
  sdo save [SUB]                      store parameters (object 0x1010, default sub 2)
  run pwm PERCENT                     output PWM, -100.0 .. 100.0
  run freq HZ [--raw]                 commutation frequency
  move --freq HZ --position N [--relative] [--raw]
  stop [normal|emergency|free]
  clear-position                      set the rotation position to 0
  learn [--timeout-s S]               motor learning (default limit 120 s)
  export FILE                         save the parameter blocks, PDOs and SYNC ("-": stdout)
  import FILE [--dry-run] [--yes]     check, show differences, write, verify

Exit status: 0 ok, 1 cancelled at the prompt, 2 usage or file error,
3 device error or no answer, 4 import verification found differences,
130 interrupted.
)";
}
