// The files of the tools on Windows: whole replacements through a fresh
// temporary, UTF-8 names, bytes as given (no CRLF translation), and a
// recording opened only on a regular file.

#include "driver/FileIo.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <io.h>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class WindowsFileIo : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir =
            fs::temp_directory_path() / ("halvik-fileio-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // A UTF-8 path inside the test folder.
    std::string Path(const std::string& name) const {
        return reinterpret_cast<const char*>((m_dir / fs::u8path(name)).u8string().c_str());
    }
    std::string Read(const std::string& path) const {
        std::string text;
        EXPECT_EQ(ReadBoundedFile(path, 1 << 20, text), 0) << path;
        return text;
    }
    size_t Entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), {}));
    }

    fs::path m_dir;
};

} // namespace

TEST_F(WindowsFileIo, AtomicWritesReplaceWholeUnderUtf8NamesAndLeaveNoTemporary) {
    const std::string path = Path("驱动配置.json");
    const std::string first = "{\n  \"a\": \"甲\\r\\n\"\r\n}\n";
    ASSERT_EQ(WriteFileAtomically(path, first), 0);
    EXPECT_EQ(Read(path), first); // byte for byte: no text-mode translation
    EXPECT_EQ(WriteFileAtomically(path, "short\n"), 0);
    EXPECT_EQ(Read(path), "short\n");
    EXPECT_EQ(Entries(), 1u);

    std::string text;
    EXPECT_EQ(ReadBoundedFile(path, 3, text), EFBIG);
    EXPECT_EQ(ReadBoundedFile(Path("missing.json"), 100, text), ENOENT);
    EXPECT_EQ(WriteFileAtomically(Path("no-folder/x.json"), "x"), ENOENT);
    fs::create_directory(Path("folder"));
    EXPECT_EQ(WriteFileAtomically(Path("folder"), "x"), EISDIR);
    EXPECT_TRUE(fs::is_directory(Path("folder")));
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(WindowsFileIo, WritersOfOneFileAtOnceEachLeaveItWhole) {
    const std::string path = Path("shared.json");
    std::vector<std::string> texts;
    for (int w = 0; w < 4; ++w)
        texts.push_back(std::string(1000 + 777 * w, static_cast<char>('a' + w)));
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&, w] {
            for (int i = 0; i < 10; ++i)
                EXPECT_EQ(WriteFileAtomically(path, texts[w]), 0);
        });
    for (auto& t : writers)
        t.join();
    const std::string got = Read(path);
    EXPECT_NE(std::find(texts.begin(), texts.end(), got), texts.end()) << got.size();
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(WindowsFileIo, ARecordingIsOpenedOnlyOnARegularFile) {
    const std::string path = Path("samples.csv");
    ASSERT_EQ(WriteFileAtomically(path, "old contents, longer than the new\n"), 0);
    int fd = -1;
    ASSERT_EQ(OpenFileForWriting(path, fd), 0);
    ASSERT_EQ(_write(fd, "a,b\n", 4), 4);
    _close(fd);
    EXPECT_EQ(Read(path), "a,b\n");

    fs::create_directory(Path("dir"));
    EXPECT_EQ(OpenFileForWriting(Path("dir"), fd), EISDIR);
    EXPECT_EQ(OpenFileForWriting("NUL", fd), kNotRegularFile);
    // A link in the recording's place is refused, its target left alone
    // (where the system makes one that shows as a link: Wine's does not).
    const std::wstring link = (m_dir / "link.csv").wstring();
    const bool made = CreateSymbolicLinkW(link.c_str(), fs::u8path(path).wstring().c_str(), 0);
    const DWORD attrs = made ? GetFileAttributesW(link.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        EXPECT_EQ(OpenFileForWriting(Path("link.csv"), fd), ELOOP);
        EXPECT_EQ(Read(path), "a,b\n");
    }
}
