#include "serial/PortMap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A private runtime folder for this test, so the user's own COM links are
// never seen or touched.
class PortMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/halvik-portmap-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_root = tmpl;
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        setenv("XDG_RUNTIME_DIR", m_root.c_str(), 1);
    }
    void TearDown() override {
        if (m_hadOld)
            setenv("XDG_RUNTIME_DIR", m_old.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    std::string m_root, m_old;
    bool m_hadOld = false;
};

} // namespace

TEST_F(PortMapTest, LinksInThePortFolderNameComPorts) {
    const std::string folder = PortFolder();
    EXPECT_EQ(folder, m_root + "/halvik/ports");
    ASSERT_TRUE(EnsurePortFolder());
    ASSERT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(EnsurePortFolder()); // already there

    // Stand-ins for pseudo-terminals: the map only follows the links.
    const std::string stand = m_root + "/tty-a";
    std::ofstream(stand).put('x');
    fs::create_symlink(stand, folder + "/COM7");
    fs::create_symlink(stand, folder + "/COM12");
    std::string com7 = ResolveComPort(7);
    ASSERT_FALSE(com7.empty());
    EXPECT_EQ(fs::canonical(com7), fs::canonical(stand)) << com7;
    EXPECT_FALSE(ResolveComPort(12).empty());

    auto ports = ListComPorts(32);
    bool saw7 = false, saw12 = false;
    for (const auto& [n, dev] : ports) {
        EXPECT_FALSE(dev.empty());
        saw7 |= n == 7;
        saw12 |= n == 12;
    }
    EXPECT_TRUE(saw7);
    EXPECT_TRUE(saw12);
    // The list stops at the number asked for.
    for (const auto& [n, dev] : ListComPorts(10))
        EXPECT_LE(n, 10) << dev;

    // A new virtual driver takes a number that nothing answers to yet.
    fs::create_symlink(stand, folder + "/COM1");
    int free = LowestFreeComNumber();
    EXPECT_NE(free, 1);
    EXPECT_NE(free, 7);
    EXPECT_GT(free, 0);
    EXPECT_EQ(ResolveComPort(free), "");

    // Links never count as serial devices of their own.
    for (const std::string& dev : ScanSerialDevices())
        EXPECT_EQ(dev.find(folder), std::string::npos) << dev;
}

TEST_F(PortMapTest, NumbersOutsideTheRangeAndDanglingLinksResolveToNothing) {
    ASSERT_TRUE(EnsurePortFolder());
    fs::create_symlink(m_root + "/no-such-device", PortFolder() + "/COM9");
    EXPECT_EQ(ResolveComPort(0), "");
    EXPECT_EQ(ResolveComPort(-3), "");
    EXPECT_EQ(ResolveComPort(kMaxComNumber + 1), "");
    // A link to nothing must not make COM9 look present.
    std::string com9 = ResolveComPort(9);
    if (!com9.empty()) {
        EXPECT_TRUE(fs::exists(com9)) << com9;
    }
}
