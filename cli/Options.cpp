#include "cli/Options.h"

#include "driver/BusScan.h"
#include "driver/CanOpen.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"
#include "driver/SlaveList.h"
#include "version/Version.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <climits>
#include <ostream>

namespace {

const std::vector<std::string> kFramings = {"n2", "o1", "e1", "n1"};
constexpr char kMark = '\x01'; // an argument, whatever it looks like

void Unmark(std::string& s) {
    s.erase(std::remove(s.begin(), s.end(), kMark), s.end());
}

// An integer within [lo, hi], 0x hexadecimal too; handed on as decimal.
CLI::Validator Int(int64_t lo, int64_t hi) {
    return CLI::Validator(
        [lo, hi](std::string& s) {
            Unmark(s);
            int64_t v = 0;
            std::string problem = IntegerProblem(s, lo, hi, v);
            if (problem.empty())
                s = std::to_string(v);
            return problem;
        },
        "");
}

// IsMember without the list in the help's type column: the descriptions
// name the choices.
CLI::Validator OneOf(std::vector<std::string> words) {
    return CLI::IsMember(std::move(words)).description("");
}

std::string Path(const CLI::App* app) {
    return app->get_parent() ? Path(app->get_parent()) + " " + app->get_name() : app->get_name();
}

// "halvik-cli reg read ADDR [--count N] [--type T]"
std::string Synopsis(const CLI::App* app) {
    std::string args, opts;
    for (const CLI::Option* o : app->get_options()) {
        if (o == app->get_help_ptr())
            continue;
        const std::string u =
            o->get_name() +
            (o->get_positional() || o->get_type_name().empty() ? "" : " " + o->get_type_name());
        (o->get_positional() ? args : opts) += " " + (o->get_required() ? u : "[" + u + "]");
    }
    return Path(app) + args + opts + (app->get_subcommands({}).empty() ? "" : " COMMAND ...");
}

// CLI11's help with the usage lines first (one per command under this one),
// and commands listed by their synopses.
class CHelpFormatter : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string,
                          CLI::AppFormatMode mode) const override {
        const std::string what = make_description(app);
        return make_usage(app, "") + (what.empty() ? "" : "\n" + what) + make_positionals(app) +
               make_subcommands(app, mode) + make_groups(app, mode) + "\n" + make_footer(app);
    }
    std::string make_usage(const CLI::App* app, std::string) const override {
        std::string text;
        for (const CLI::App* sub : Leaves(app, app->get_parent() != nullptr)) {
            std::string line = (text.empty() ? "usage: " : "       ") + Synopsis(sub);
            // A long line breaks before an option, under the first word after the program.
            for (size_t start = 0, b; line.size() - start > 80; start = b + 1) {
                b = line.rfind(" [", start + 80);
                if (b == std::string::npos || b < start + 18)
                    break;
                line.replace(b, 1, "\n" + std::string(18, ' '));
            }
            text += line + "\n";
        }
        return text;
    }
    std::string make_subcommand(const CLI::App* sub) const override {
        std::stringstream out;
        for (const CLI::App* leaf : Leaves(sub, true)) {
            const std::string synopsis = Synopsis(leaf).substr(sizeof "halvik-cli");
            if (leaf == Leaves(sub, true).front())
                CLI::detail::format_help(out, synopsis, sub->get_description(), column_width_);
            else
                out << "  " << synopsis << "\n";
        }
        return out.str();
    }
    std::string make_option_opts(const CLI::Option* opt) const override {
        return opt->get_positional() ? "" : CLI::Formatter::make_option_opts(opt);
    }

private:
    // The commands under app, or app itself.
    static std::vector<const CLI::App*> Leaves(const CLI::App* app, bool expand) {
        std::vector<const CLI::App*> subs = app->get_subcommands({});
        return expand && !subs.empty() ? subs : std::vector<const CLI::App*>{app};
    }
};

// CLI11's words for a parse error as one line in the program's own terms.
std::string ParseErrorText(const CLI::ParseError& e) {
    std::string what = e.what();
    Unmark(what);
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

// The message for a --slaves list the shared grammar refuses; "" for a good one.
std::string SlaveListProblem(std::string_view text, std::vector<uint8_t>& out) {
    SSlaveListError err;
    if (ParseSlaveList(text, out, err))
        return {};
    const std::string list = "'" + std::string(text) + "': ";
    switch (err.kind) {
    case SSlaveListError::kBadAddress:
        return list + StrFormat("'%s' is not a slave address %d..%d", err.item.c_str(),
                                kFirstSlaveAddress, kLastSlaveAddress);
    case SSlaveListError::kDuplicate:
        return list + "slave " + err.item + " twice";
    default:
        return list + "no slave address";
    }
}

} // namespace

bool ParseInteger(std::string_view t, int64_t& out) {
    const bool neg = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+'))
        t.remove_prefix(1);
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    uint64_t mag = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), mag, base);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || mag > INT64_MAX)
        return false;
    out = neg ? -static_cast<int64_t>(mag) : static_cast<int64_t>(mag);
    return true;
}

std::string IntegerProblem(std::string_view text, int64_t lo, int64_t hi, int64_t& out) {
    if (!ParseInteger(text, out))
        return "'" + std::string(text) + "' is not an integer";
    if (out < lo || out > hi)
        return StrFormat("%lld is out of range %lld..%lld", static_cast<long long>(out),
                         static_cast<long long>(lo), static_cast<long long>(hi));
    return {};
}

const char* FramingName(int choice) {
    return kFramings.at(choice >= 0 && choice < 4 ? static_cast<size_t>(choice) : 3).c_str();
}

int ParseCommandLine(std::vector<std::string> argv, CommandLine& cl, std::ostream& os,
                     std::ostream& err) {
    auto fail = [&err](const std::string& problem) {
        err << "halvik-cli: " << problem << "\n(see 'halvik-cli --help')\n";
        return 2;
    };
    CLI::App app("", "halvik-cli");
    app.formatter(std::make_shared<CHelpFormatter>());
    app.get_formatter()->label("Positionals", "Arguments");
    app.get_formatter()->column_width(38);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.option_defaults()->disable_flag_override();
    app.allow_extras(); // unknown words are named below in the program's own terms
    app.fallthrough();  // line options may follow the command
    app.require_subcommand(0, 1);
    const char* line = "Line options (before or after the command)";
    app.set_help_flag("-h,--help", "this help")->group(line);
    app.group("Commands");
    app.footer("Line options (--port, --baud, --framing, --slave, --timeout, --json) may come\n"
               "before or after the command: see 'halvik-cli --help'.");

    auto number = [](CLI::App* c, const char* name, auto& v, int64_t lo, int64_t hi,
                     const std::string& what, const char* type = "N") {
        return c->add_option(name, v, what)->transform(Int(lo, hi))->type_name(type);
    };
    std::string framing = "n2";
    app.add_option("--port", cl.port, "COM number (COM3 or 3) or device path (default COM1)")
        ->type_name("COMn|DEVICE")
        ->check([](const std::string& s) {
            return s.empty() ? std::string("needs a COM number or a device path") : std::string();
        })
        ->group(line);
    number(&app, "--baud", cl.baud, 1, 4000000, "line speed (default 9600)")->group(line);
    app.add_option("--framing", framing,
                   "parity and stop bits: n2 none+2, o1 odd+1, e1 even+1, n1 none+1")
        ->type_name("n2|o1|e1|n1")
        ->check(OneOf(kFramings))
        ->group(line);
    number(&app, "--slave", cl.slave, 0, 255, "slave address 0..255 (default 1)")->group(line);
    number(&app, "--timeout", cl.timeoutMs, 1, 60000,
           "reply time-out in ms, 1..60000 (default 1000)", "MS")
        ->group(line);
    app.add_flag("--json", cl.json, "one JSON document on standard output instead of text")
        ->group(line);
    app.add_option("--lang", cl.lang,
                   "language of the driver's texts: en or zh (default: en when LC_ALL, "
                   "LC_MESSAGES or LANG starts with en, else zh)")
        ->type_name("en|zh")
        ->check(OneOf({"en", "zh"}))
        ->group(line);
    app.set_version_flag("--version", VersionLine("halvik-cli"),
                         "the version, and the commit built from")
        ->group(line);

    auto regType = [&cl](CLI::App* c) {
        c->add_option("--type", cl.type,
                      "u16 (default), i16, u32, i32 or f32; 32-bit types high word first")
            ->type_name("T")
            ->check(OneOf({"u16", "i16", "u32", "i32", "f32"}));
    };

    std::string slaves;
    const auto slaveList = [&slaves](CLI::App* sub, const char* what) {
        sub->add_option("--slaves", slaves, what)
            ->type_name("LIST")
            ->check(CLI::Validator(
                [](std::string& s) {
                    Unmark(s);
                    std::vector<uint8_t> list;
                    return SlaveListProblem(s, list);
                },
                ""));
    };
    const auto turnaround = [&](CLI::App* sub, const char* what) {
        number(sub, "--turnaround-ms", cl.turnaroundMs, 1, 1000, what, "MS");
    };

    app.add_subcommand("ports", "COM numbers and the devices they resolve to");
    app.add_subcommand("info", "device information block");
    app.add_subcommand("ident", "device identification text");

    CLI::App* c = app.add_subcommand("status", "real-time status (watch: 0 = until Ctrl-C)");
    c->add_flag("--watch", cl.watch, "repeat, then sum up the link on standard error");
    number(c, "--interval", cl.interval, 10, 3600000,
           "time between samples when watching, 10..3600000 (default 500)", "MS");
    number(c, "--count", cl.count, 0, INT32_MAX,
           "samples to take when watching (default 0: until Ctrl-C)");
    slaveList(c, "several drivers in turn (1,2,5): a line each per round\n"
                 "(a round per --interval when watching)");
    turnaround(c, StrFormat("with --slaves: how long a driver may take to begin\n"
                            "answering, 1..1000 (default %u)",
                            kScanTurnaroundMs)
                      .c_str());

    std::vector<std::string> blocks;
    for (const auto& b : AllBlocks())
        blocks.push_back(b.name);
    app.add_subcommand("read", "a register block")
        ->add_option("BLOCK", cl.block,
                     "device-info, status, ramp, motor, system-a, comm-a, system-b,\n"
                     "comm-b, reciprocate, preset-speed, pid, learn, safety, canopen")
        ->required()
        ->check(OneOf(blocks));
    app.add_subcommand("get", "fields by name, in units")
        ->add_option("FIELD", cl.words, "block.field, as 'fields' lists them; more may follow")
        ->required();
    c = app.add_subcommand("set", "write fields given in units, then read them back");
    c->add_option("FIELD", cl.field, "block.field, as 'fields' lists them")->required();
    c->add_option("VALUE", cl.words,
                  "in the field's unit, a list item (text or index) or yes/no;\n"
                  "more FIELD VALUE pairs may follow")
        ->required();
    c->add_flag("--yes", cl.yes, "write communication fields (line settings, address)");
    app.add_subcommand("fields", "field names, ranges, access and labels")
        ->add_option("BLOCK", cl.block, "one block only")
        ->check(OneOf(blocks));

    CLI::App* reg = app.add_subcommand("reg", "any holding registers, typed");
    c = reg->add_subcommand("read", "values of a type from ADDR on");
    number(c, "ADDR", cl.addr, 0, 0xFFFF, "first register address")->required();
    number(c, "--count", cl.count, 1, 125, "values to read (default 1)");
    regType(c);
    c = reg->add_subcommand("write", "one value: 16-bit types with function 6, 32-bit with 16");
    number(c, "ADDR", cl.addr, 0, 0xFFFF, "register address")->required();
    c->add_option("VALUE", cl.value, "decimal within the type's range, or a 0x bit pattern")
        ->required();
    regType(c);

    CLI::App* sdo = app.add_subcommand("sdo", "SDO upload, download, store parameters");
    for (const char* op : {"upload", "download"}) {
        c = sdo->add_subcommand(
            op, *op == 'u' ? "one SDO upload: request and answer bytes, size, value, abort text"
                           : "one expedited SDO download");
        number(c, "INDEX", cl.index, 0, 0xFFFF, "object index")->required();
        number(c, "SUB", cl.sub, 0, 0xFF, "sub-index")->required();
    }
    c->add_option("VALUE", cl.value, "decimal within the size's range, or a 0x bit pattern")
        ->required();
    number(c, "--size", cl.size, 1, 4, "bytes of the value", "1|2|3|4")->required();
    number(
        sdo->add_subcommand("save", StrFormat("the \"save\" command to object 0x%04X", kObjStore)),
        "SUB", cl.sub, 1, 0xFF,
        StrFormat("%u (default): communication parameters, as the desktop\n"
                  "store button; %u: all",
                  kStoreComm, kStoreAll));

    CLI::App* run = app.add_subcommand("run", "output PWM or commutation frequency");
    run->add_subcommand("pwm", "output PWM")
        ->add_option("PERCENT", cl.value, "-100.0..100.0 %")
        ->required();
    c = run->add_subcommand("freq", "commutation frequency");
    c->add_option("HZ", cl.value, "in Hz, scaled by the driver's speed unit")->required();
    c->add_flag("--raw", cl.raw, "send the frequency's register value as given");

    c = app.add_subcommand("move", "position move");
    c->add_option("--freq", cl.freq, "commutation frequency of the move")
        ->type_name("HZ")
        ->required();
    number(c, "--position", cl.position, INT32_MIN, INT32_MAX,
           "target position (or distance with --relative)")
        ->required();
    c->add_flag("--relative", cl.relative, "move by N from where the motor is");
    c->add_flag("--raw", cl.raw, "send the frequency's register value as given");

    c = app.add_subcommand("stop", "stop the motor");
    c->add_option("MODE", cl.mode, "normal (default), emergency or free")
        ->check(OneOf({"normal", "emergency", "free"}));
    slaveList(c, "stop each of these drivers by its own address (1,2,5)");
    app.add_subcommand("clear-position", "set the rotation position to 0");
    number(app.add_subcommand("learn", "motor learning (default limit 120 s)"), "--timeout-s",
           cl.timeoutS, 1, 86400, "give up after S seconds, 1..86400 (default 120)", "S");
    app.add_subcommand("export", "save blocks, PDOs and SYNC to a file (\"-\": stdout)")
        ->add_option("FILE", cl.file, "a JSON file, written beside and renamed over")
        ->required();
    c = app.add_subcommand("import", "check, show differences, write, verify");
    c->add_option("FILE", cl.file, "a file written by export")->required();
    c->add_flag("--dry-run", cl.dryRun, "only show the differences; write nothing");
    c->add_flag("--yes", cl.yes, "write without asking");

    c = app.add_subcommand("scan", "find drivers on the bus");
    number(c, "--first", cl.first, kFirstSlaveAddress, kLastSlaveAddress,
           "first slave address to try, 1..247 (default 1)");
    number(c, "--last", cl.last, kFirstSlaveAddress, kLastSlaveAddress,
           "last slave address to try, 1..247 (default 247)");
    c->add_flag("--all-lines", cl.allLines,
                "try every baud rate with every parity, not only --baud/--framing");
    number(c, "--reply-ms", cl.replyMs, 1, 60000,
           "reply time-out of each try, 1..60000 (default: wire time + 50 ms)", "MS");
    turnaround(c, StrFormat("how long a driver may take to begin answering,\n"
                            "1..1000 (default %u; 20 or more behind a USB adapter\n"
                            "at the usual 16 ms latency timer)",
                            kScanTurnaroundMs)
                      .c_str());

    c = app.add_subcommand("monitor", "listen to a line another master drives; sends nothing");
    c->add_flag("--raw", cl.raw, "add each frame's bytes in hex");
    c->footer("With --slave, only that slave's transactions. Ctrl-C ends it with a summary.");

    c = app.add_subcommand("step", "step response of the speed or position loop (moves the motor)");
    c->add_option("--loop", cl.loop, "speed: a commutation-frequency step; position: a move")
        ->type_name("speed|position")
        ->required()
        ->check(OneOf({"speed", "position"}));
    c->add_option("--to", cl.value,
                  "the target: Hz (speed) or pulses (position; with --relative a distance)")
        ->type_name("VALUE")
        ->required();
    c->add_flag("--relative", cl.relative, "position: move by VALUE from where the motor is");
    number(c, "--ms", cl.ms, 100, 60000, "how long to sample, 100..60000 (default 1000)", "N");
    c->add_option("--mode", cl.mode, "the stop at the end: normal (default), emergency or free")
        ->type_name("normal|emergency|free")
        ->check(OneOf({"normal", "emergency", "free"}));
    c->add_flag("--running", cl.running, "step a motor that already runs, from where it is");
    c->add_flag("--yes", cl.yes, "start without asking (needed without a terminal)");
    c->footer("With --json the samples too. Ctrl-C stops the motor and ends.");

    std::vector<std::string> topic;
    app.add_subcommand("help", "this overview, or a command's options")
        ->add_option("COMMAND", topic, "a command");
    app.footer("'halvik-cli COMMAND --help' shows a command's arguments and options.\n\n"
               "Exit status: 0 ok, 1 cancelled at the prompt, 2 usage or file error,\n"
               "3 device error or no answer, 4 import verification found differences,\n"
               "5 set read back another value, 130 interrupted.");

    // CLI11 takes "-.5", and anything after "--" that begins with '-', for an
    // option. Marked, such words are arguments; the mark goes again below.
    bool dashes = false;
    std::vector<std::string> args;
    for (std::string& a : argv) {
        if (!dashes && a == "--") {
            dashes = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-' && (dashes || a[1] == '.' || std::isdigit(a[1])))
            a.insert(0, 1, kMark);
        else if (!dashes && a.size() > 3 && a.rfind("--", 0) == 0 && a.back() == '=')
            return fail(a.substr(0, a.size() - 1) +
                        " needs a value"); // CLI11 would take the next word
        args.push_back(a);
    }
    std::reverse(args.begin(), args.end());
    std::string problem;
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        os << app.help();
        return 0;
    } catch (const CLI::CallForVersion& e) {
        os << e.what() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        problem = ParseErrorText(e);
    }
    const CLI::App* leaf = &app;
    for (; !leaf->get_subcommands().empty(); leaf = leaf->get_subcommands().front())
        cl.command += (leaf == &app ? "" : " ") + leaf->get_subcommands().front()->get_name();
    // An unknown word explains a failure best.
    for (std::string extra : app.remaining(true)) {
        const bool argument = extra[0] == kMark;
        Unmark(extra);
        if (!argument && extra.size() > 1 && extra[0] == '-')
            return fail("unknown option '" + extra.substr(0, extra.find('=')) + "'" +
                        (cl.command.empty() ? "" : " for command '" + cl.command + "'"));
        return fail((cl.command.empty() ? "unknown command '" : "unexpected argument '") + extra +
                    "'");
    }
    if (!problem.empty())
        return fail(problem);
    cl.slaveGiven = app.get_option("--slave")->count() > 0;
    if (cl.command.empty()) {
        err << "halvik-cli: no command given\n" << app.help();
        return 2;
    }
    std::vector<std::string> ops;
    for (const CLI::App* sub : leaf->get_subcommands({}))
        ops.push_back(sub->get_name());
    if (!ops.empty())
        return fail(cl.command + " needs one of: " + CLI::detail::join(ops, ", "));
    if (cl.command == "help") {
        const CLI::App* at = &app;
        for (const std::string& word : topic) {
            auto subs =
                at->get_subcommands([&](const CLI::App* s) { return s->get_name() == word; });
            if (subs.empty())
                return fail("unknown command '" + word + "'");
            at = subs.front();
        }
        os << at->get_formatter()->make_help(at, "", CLI::AppFormatMode::Normal);
        return 0;
    }
    for (std::string* text : {&cl.value, &cl.freq, &cl.file, &cl.field})
        Unmark(*text);
    std::for_each(cl.words.begin(), cl.words.end(), Unmark);
    if (!slaves.empty())
        SlaveListProblem(slaves, cl.slaves); // checked while parsing
    cl.framing = static_cast<int>(std::find(kFramings.begin(), kFramings.end(), framing) -
                                  kFramings.begin());
    return -1;
}
