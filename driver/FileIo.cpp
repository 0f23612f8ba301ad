#include "driver/FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int ReadBoundedFile(const std::string& path, size_t maxBytes, std::string& text) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return errno ? errno : EIO;
    return ReadBoundedStream(f, maxBytes, text);
}

namespace {

// Read without setting it: umask() changes it, for a moment, for every thread.
mode_t CurrentUmask() {
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found)
            return static_cast<mode_t>(mask);
    }
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

int WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

int WriteFileAtomically(const std::string& path, const std::string& text) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(dir.size());
    if (name.empty())
        return EISDIR;
    // A link at path is replaced, so its target's bits do not count.
    struct stat old {};
    const bool keep = lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const mode_t mode = keep ? (old.st_mode & 0777) : (0666 & ~CurrentUmask());
    // Hidden, and short enough beside any name the target may have.
    std::string tmp = dir + "." + name.substr(0, 200) + ".XXXXXX";
    const int fd = mkostemp(tmp.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    int err = WriteAll(fd, text);
    if (!err && ::fchmod(fd, mode) != 0)
        err = errno;
    // On the disk before the name points at it: a crash leaves the old file.
    if (!err && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && std::rename(tmp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlink(tmp.c_str());
        return err;
    }
    // The rename itself is on the disk once the folder is.
    const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return 0;
}

int OpenFileForWriting(const std::string& path, int& fd) {
    // Told apart first for the message (a FIFO would say ENXIO), and checked
    // again on what was opened, as the name may change in between.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    // Non-blocking: a FIFO in the file's place must not hold the open up.
    const int f = ::open(path.c_str(),
                         O_WRONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (f < 0)
        return errno;
    int err = fstat(f, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : kNotRegularFile;
    // Emptied only once it is known to be a file.
    if (!err && ::ftruncate(f, 0) != 0)
        err = errno;
    if (!err && fcntl(f, F_SETFL, fcntl(f, F_GETFL) & ~O_NONBLOCK) != 0)
        err = errno;
    if (err) {
        ::close(f);
        return err;
    }
    fd = f;
    return 0;
}
