// What the file code of both systems shares: the bounded read of a stream
// and the texts of its errors.
#include "driver/FileIo.h"

#include <cerrno>
#include <cstring>

int ReadBoundedStream(FILE* f, size_t maxBytes, std::string& text) {
    std::string out;
    char buf[65536];
    int err = 0;
    for (;;) {
        size_t n = std::fread(buf, 1, sizeof buf, f);
        if (out.size() + n > maxBytes) {
            err = EFBIG;
            break;
        }
        out.append(buf, n);
        if (n < sizeof buf) {
            if (std::ferror(f))
                err = errno ? errno : EIO;
            break;
        }
    }
    std::fclose(f);
    if (err == 0)
        text = std::move(out);
    return err;
}

// The same texts on both systems: the errors are errno values there too.
std::string FileErrorText(int err) {
    if (err == ELOOP)
        return "the name is a symbolic link, which is not followed";
    if (err == kNotRegularFile)
        return "not a regular file";
    return std::strerror(err);
}
