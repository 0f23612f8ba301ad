#include "serial/PortMap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
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

    // A new virtual driver takes a number that nothing answers to yet.
    const int free = LowestFreeComNumber();
    EXPECT_GT(free, 0);
    EXPECT_NE(free, 1);
    EXPECT_NE(free, 7);
    EXPECT_EQ(ResolveComPort(free), "");

    // Links never count as serial devices of their own.
    for (const std::string& dev : ScanSerialDevices())
        EXPECT_EQ(dev.find(folder), std::string::npos) << dev;
    std::error_code ec;
    fs::remove_all(root, ec);
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
