#include "serial/PortMap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(PortMap, LinksInThePortFolderNameComPorts) {
    // A private runtime folder, so the user's own COM links are never seen or touched.
    char tmpl[] = "/tmp/halvik-portmap-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    const std::string folder = PortFolder();
    EXPECT_EQ(folder, root + "/halvik/ports");
    ASSERT_TRUE(EnsurePortFolder());
    ASSERT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(EnsurePortFolder()); // already there
    EXPECT_EQ(PortFolderProblem(), "");
    for (const std::string& level : {root + "/halvik", folder})
        EXPECT_EQ(fs::status(level).permissions(), fs::perms::owner_all) << level;

    // Stand-ins for pseudo-terminals: the map only follows the links.
    const std::string stand = root + "/tty-a";
    std::ofstream(stand).put('x');
    for (const char* name : {"/COM1", "/COM7", "/COM12"})
        fs::create_symlink(stand, folder + name);
    fs::create_symlink(root + "/no-such-device", folder + "/COM9");
    EXPECT_EQ(fs::canonical(ResolveComPort(7)), fs::canonical(stand));
    EXPECT_FALSE(ResolveComPort(12).empty());
    for (int n : {0, -3, kMaxComNumber + 1})
        EXPECT_EQ(ResolveComPort(n), "") << n;
    // A link to nothing must not make COM9 look present.
    const std::string com9 = ResolveComPort(9);
    EXPECT_TRUE(com9.empty() || fs::exists(com9)) << com9;

    int seen = 0;
    for (const auto& [n, dev] : ListComPorts(32)) {
        EXPECT_FALSE(dev.empty());
        seen += (n == 7) + (n == 12);
    }
    EXPECT_EQ(seen, 2);
    // The list stops at the number asked for.
    for (const auto& [n, dev] : ListComPorts(10))
        EXPECT_LE(n, 10) << dev;

    // Links never count as serial devices of their own.
    for (const std::string& dev : ScanSerialDevices())
        EXPECT_EQ(dev.find(folder), std::string::npos) << dev;
    std::error_code ec;
    fs::remove_all(root, ec);
}

// Runs fn in a child process as uid without XDG_RUNTIME_DIR, so the port
// folder is the one in /tmp; returns what fn returned.
std::string AsUser(uid_t uid, const std::function<std::string()>& fn) {
    int out[2];
    if (pipe(out) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        unsetenv("XDG_RUNTIME_DIR");
        const std::string text = setgid(uid) == 0 && setuid(uid) == 0 ? fn() : "setuid failed";
        [[maybe_unused]] ssize_t n = write(out[1], text.data(), text.size());
        _exit(0);
    }
    close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    waitpid(child, nullptr, 0);
    return text;
}

constexpr uid_t kOurs = static_cast<uid_t>(-1);
constexpr uid_t kOther = 65534;

TEST(PortMap, AFolderAnotherUserOwnsOrCanWriteToIsNotUsed) {
    const struct {
        const char* level; // made as the case says: halvik or halvik/ports
        char kind;         // d: directory, l: link to a private folder of ours, f: file
        mode_t mode;
        uid_t owner;
        const char* problem; // after "<runtime folder>/"; "" when the folder is used
    } cases[] = {
        {"halvik/ports", 'd', 0700, kOurs, ""},
        {"halvik", 'd', 0755, kOurs, ""},
        {"halvik", 'd', 0777, kOurs, "halvik is writable by others (mode 0777)"},
        {"halvik/ports", 'd', 01777, kOurs, "halvik/ports is writable by others (mode 1777)"},
        {"halvik/ports", 'd', 0770, kOurs, "halvik/ports is writable by its group (mode 0770)"},
        {"halvik", 'd', 0755, kOther, "halvik is owned by uid 65534, not by uid "},
        {"halvik/ports", 'd', 0700, kOther, "halvik/ports is owned by uid 65534, not by uid "},
        {"halvik", 'l', 0700, kOurs, "halvik is a symbolic link"},
        {"halvik/ports", 'f', 0600, kOurs, "halvik/ports is not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.level) + " " + c.kind + " " + std::to_string(c.mode) +
                     (c.owner == kOther ? " another user's" : ""));
        if (c.owner == kOther && geteuid() != 0)
            continue; // only root can give a folder away
        char tmpl[] = "/tmp/halvik-portmap-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        const std::string root = tmpl, made = root + "/" + c.level;
        setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
        // A COM3 link to a stand-in for someone's pseudo-terminal.
        const std::string stand = root + "/their-tty", home = c.kind == 'l' ? root + "/mine" : root;
        std::ofstream(stand).put('x');
        fs::create_directories(home + "/halvik/ports");
        if (c.kind != 'f')
            fs::create_symlink(stand, home + "/halvik/ports/COM3");
        if (c.kind == 'l')
            fs::create_directory_symlink(home + "/halvik", made);
        if (c.kind == 'f') {
            fs::remove(made);
            std::ofstream(made).put('x');
        }
        ASSERT_EQ(chmod(made.c_str(), c.mode), 0);
        if (c.owner != kOurs) {
            ASSERT_EQ(chown(made.c_str(), c.owner, c.owner), 0);
        }

        const bool used = *c.problem == '\0';
        const std::string problem = PortFolderProblem(),
                          want = used ? ""
                                      : "port folder " + PortFolder() + " not used: " + root + "/" +
                                            c.problem;
        EXPECT_EQ(problem.empty(), used) << problem;
        EXPECT_EQ(problem.substr(0, want.size()), want);
        EXPECT_EQ(EnsurePortFolder(), used);
        const std::string com3 = ResolveComPort(3);
        EXPECT_EQ(!com3.empty() && fs::equivalent(com3, stand), used) << com3;
        for (const auto& [n, dev] : ListComPorts(8))
            EXPECT_TRUE(used || !fs::equivalent(dev, stand)) << n;
        fs::remove_all(root);
    }
}

TEST(PortMap, TheFolderInTmpIsMadePrivateAndAnotherUsersIsPassedOver) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as two users";
    // A user of our own that nothing else on the machine is.
    const uid_t uid = 40000 + static_cast<uid_t>(getpid() % 20000);
    const std::string base = "/tmp/halvik-" + std::to_string(uid), folder = base + "/ports";
    char tmpl[] = "/tmp/halvik-portmap-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string stand = std::string(tmpl) + "/their-tty";
    std::ofstream(stand).put('x');
    ASSERT_EQ(chmod(tmpl, 0755), 0);
    const auto devices = ScanSerialDevices();
    const std::string thirdDevice = devices.size() >= 3 ? devices[2] : "";
    auto look = [] {
        return PortFolder() + "|" + PortFolderProblem() + "|" + ResolveComPort(3) + "|" +
               (EnsurePortFolder() ? "made" : "refused");
    };

    // Made first by another user, writable by all, with a COM3 link planted.
    fs::remove_all(base);
    fs::create_directories(folder);
    fs::create_symlink(stand, folder + "/COM3");
    for (const std::string& level : {base, folder}) {
        ASSERT_EQ(chown(level.c_str(), kOther, kOther), 0);
        ASSERT_EQ(chmod(level.c_str(), 0777), 0);
    }
    EXPECT_EQ(AsUser(uid, look), folder + "|port folder " + folder + " not used: " + base +
                                     " is owned by uid 65534, not by uid " + std::to_string(uid) +
                                     "|" + thirdDevice + "|refused");

    // Not there: made for that user alone.
    fs::remove_all(base);
    EXPECT_EQ(AsUser(uid, look), folder + "||" + thirdDevice + "|made");
    for (const std::string& level : {base, folder}) {
        struct stat st {};
        ASSERT_EQ(lstat(level.c_str(), &st), 0) << level;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << level;
        EXPECT_EQ(st.st_uid, uid) << level;
    }
    fs::remove_all(base);
    fs::remove_all(tmpl);
}

TEST(PortMap, UsbLatencyTimerAboveOneMsIsPointedOut) {
    // A fake sysfs tree: an FTDI adapter at 16 ms, one already at 1 ms, a
    // CDC-ACM device without a timer, and a broken attribute.
    char tmpl[] = "/tmp/halvik-sysfs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string sys = tmpl;
    auto timer = [&](const char* tty, const char* text) {
        const std::string dir = sys + "/class/tty/" + tty + "/device";
        fs::create_directories(dir);
        if (text)
            std::ofstream(dir + "/latency_timer") << text;
    };
    timer("ttyUSB3", "16\n");
    timer("ttyUSB4", "1\n");
    timer("ttyACM0", nullptr);
    timer("ttyUSB5", "fast\n");
    // A COM link leads to the adapter's name.
    const std::string link = sys + "/COM2";
    fs::create_symlink(sys + "/ttyUSB3", link);
    std::ofstream(sys + "/ttyUSB3").put('x');

    const struct {
        std::string device;
        int ms;
        bool hint;
    } cases[] = {{"/dev/ttyUSB3", 16, true},  {link, 16, true},
                 {"/dev/ttyUSB4", 1, false},  {"/dev/ttyACM0", -1, false},
                 {"/dev/ttyUSB5", -1, false}, {"/dev/ttyUSB9", -1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        EXPECT_EQ(LatencyTimerMs(c.device, sys), c.ms);
        EXPECT_EQ(LatencyHint(c.device, sys).empty(), !c.hint);
    }
    EXPECT_EQ(LatencyHint("/dev/ttyUSB3", sys),
              "USB latency timer 16 ms (replies arrive late); for 1 ms: echo 1 | sudo tee " + sys +
                  "/bus/usb-serial/devices/ttyUSB3/latency_timer");
    fs::remove_all(sys);
}
