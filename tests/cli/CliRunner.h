#pragma once
// Runs the built halvik-cli as a child process with a bounded wait (standard
// input /dev/null, output captured, killed at the deadline), and a fixture
// that points it at a virtual driver on a pseudo-terminal.

#include "driver/Json.h"
#include "tests/core/TestBytes.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

struct CliRun {
    int status = -1; // exit status, or 128 + signal when killed by one (9 at the deadline)
    std::string out, err;
};

// The text at a dotted path of members, array indexes and, in arrays of
// fields, field names ("values.0.hex", "fields.output_pwm.unit"); "#" is a
// size, arrays and objects are compact JSON. "" and a test failure when there
// is nothing there.
std::string At(const Json& j, const std::string& path);

// "reg read 0x10" -> {"reg", "read", "0x10"}
std::vector<std::string> Words(const std::string& text);

// interruptWhen, when given, is asked every few milliseconds with the output
// so far; the first time it says yes the child gets SIGINT.
CliRun RunCli(const std::vector<std::string>& args, int deadlineMs = 30000,
              const std::function<bool(const CliRun&)>& interruptWhen = {});

class CliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_FALSE(UsePrivatePortFolder().empty()); }
    void SetUp() override { ASSERT_TRUE(m_sim.Ok()); }

    CliRun Cli(std::vector<std::string> args,
               const std::function<bool(const CliRun&)>& interruptWhen = {}) {
        args.insert(args.begin(), {"--port", m_sim.Device()});
        return RunCli(args, 30000, interruptWhen);
    }
    // Runs args (words split at blanks) and checks the exit status and the
    // texts that must be on standard output and on standard error.
    CliRun Expect(const std::string& args, int status, const std::vector<std::string>& out = {},
                  const std::vector<std::string>& err = {},
                  const std::function<bool(const CliRun&)>& interruptWhen = {}) {
        CliRun r = Cli(Words(args), interruptWhen);
        EXPECT_EQ(r.status, status) << args << "\n" << r.err;
        for (const std::string& text : out)
            EXPECT_NE(r.out.find(text), std::string::npos) << args << ": " << text << "\n" << r.out;
        for (const std::string& text : err)
            EXPECT_NE(r.err.find(text), std::string::npos) << args << ": " << text << "\n" << r.err;
        return r;
    }
    static Json Doc(const std::string& text) {
        Json j;
        std::string err;
        EXPECT_TRUE(ParseJson(text, j, err)) << err << "\n" << text;
        return j;
    }
    // A command that must succeed, with its --json output (given last: line
    // options go anywhere).
    Json JsonOf(std::vector<std::string> args) {
        args.push_back("--json");
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return Doc(r.out);
    }

    CSimHarness m_sim{1, -1};
};
