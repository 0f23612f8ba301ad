// Files written where other users can write too: names planted beforehand
// are never followed, a replaced file keeps its permissions, and writers of
// one file at once each leave it whole.

#include "driver/FileIo.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class FileIo : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/halvik-fileio-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        m_victim = Path("victim");
        std::ofstream(m_victim) << "someone else's";
        chmod(m_victim.c_str(), 0644);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            names.insert(e.path().filename().string());
        return names;
    }

    std::string m_dir, m_victim;
};

TEST_F(FileIo, AtomicWritesFollowNoPlantedLinkKeepTheModeAndFailCleanly) {
    const mode_t oldMask = umask(027);
    const std::string target = Path("cfg.json");
    // A new file gets 0666 less the umask, a replaced one keeps its mode, and
    // a link in the target's place is replaced, its file left alone.
    const struct {
        mode_t existing; // the target's mode before, 0: someone's link there
        mode_t mode;     // of the file written
    } cases[] = {{0600, 0600}, {0, 0640}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.existing);
        if (c.existing) {
            std::ofstream(target) << "old";
            chmod(target.c_str(), c.existing);
        } else {
            fs::remove(target);
            fs::create_symlink(m_victim, target);
        }
        ASSERT_EQ(WriteFileAtomically(target, "new text"), 0);
        EXPECT_EQ(ReadFile(target), "new text");
        EXPECT_TRUE(S_ISREG(ModeOf(target)));
        EXPECT_EQ(ModeOf(target) & 07777, c.mode);
        EXPECT_EQ(ReadFile(m_victim), "someone else's");
        EXPECT_EQ(Entries(), (std::set<std::string>{"cfg.json", "victim"}))
            << "no temporary file is left";
    }
    umask(oldMask);

    // A failure leaves what was there and no temporary file.
    fs::create_directory(Path("folder"));
    const std::set<std::string> before = Entries();
    EXPECT_EQ(WriteFileAtomically(Path("folder"), "x"), EISDIR);
    EXPECT_EQ(Entries(), before);
    EXPECT_TRUE(fs::is_empty(Path("folder")));
}

TEST_F(FileIo, WritersOfOneFileAtOnceEachLeaveItWhole) {
    const std::string target = Path("cfg.json");
    // Big enough that one writer's text would be half written under another's.
    const std::string texts[2] = {std::string(300000, 'a') + "\n", std::string(200000, 'b') + "\n"};
    int failures[2] = {0, 0};
    std::thread writers[2];
    for (int w = 0; w < 2; ++w)
        writers[w] = std::thread([&, w] {
            for (int i = 0; i < 20; ++i)
                failures[w] += WriteFileAtomically(target, texts[w]) != 0;
        });
    // Every look at the file in between finds one text whole.
    int looks = 0, torn = 0;
    for (; looks < 200; ++looks) {
        const std::string seen = ReadFile(target);
        torn += !seen.empty() && seen != texts[0] && seen != texts[1];
    }
    for (auto& t : writers)
        t.join();
    EXPECT_EQ(failures[0] + failures[1], 0);
    EXPECT_EQ(torn, 0);
    const std::string last = ReadFile(target);
    EXPECT_TRUE(last == texts[0] || last == texts[1]) << last.size();
    EXPECT_EQ(Entries(), (std::set<std::string>{"cfg.json", "victim"}));
}

TEST_F(FileIo, AFileWrittenPieceByPieceIsNeverOpenedThroughALink) {
    const std::string fifo = Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(Path("old.csv")) << "old rows";
    chmod(Path("old.csv").c_str(), 0600);
    fs::create_symlink(m_victim, Path("link.csv"));
    const struct {
        const char* name;
        int result;
        mode_t mode;
    } cases[] = {
        {"old.csv", 0, 0600},
        {"link.csv", ELOOP, 0},
        {"fifo", kNotRegularFile, 0}, // with no reader: no wait
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int fd = -1;
        ASSERT_EQ(OpenFileForWriting(Path(c.name), fd), c.result);
        if (c.result != 0) {
            EXPECT_EQ(fd, -1);
            EXPECT_FALSE(FileErrorText(c.result).empty());
            continue;
        }
        ASSERT_EQ(write(fd, "row\n", 4), 4);
        close(fd);
        EXPECT_EQ(ReadFile(Path(c.name)), "row\n");
        EXPECT_EQ(ModeOf(Path(c.name)) & 07777, c.mode);
    }
    EXPECT_EQ(ReadFile(m_victim), "someone else's");
    EXPECT_TRUE(fs::is_symlink(Path("link.csv")));
}

} // namespace
