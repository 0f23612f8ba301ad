// What the file code of both systems shares: the bounded read of a stream
// and the texts of its errors.
#include "driver/FileIo.h"

#include "lang/Tr.h"

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

// The same texts on both systems: the errors are errno values there too. The
// common ones in the language in use; the system's own text for the rest.
std::string FileErrorText(int err) {
    if (err == ELOOP)
        return lang::translate("driver/FileIo", "文件名是符号链接, 不会跟随");
    if (err == kNotRegularFile)
        return lang::translate("driver/FileIo", "不是普通文件");
    if (err == ENOENT)
        return lang::translate("driver/FileIo", "文件或文件夹不存在");
    if (err == EACCES || err == EPERM)
        return lang::translate("driver/FileIo", "没有访问权限");
    if (err == EISDIR)
        return lang::translate("driver/FileIo", "这是一个文件夹");
    if (err == ENOSPC)
        return lang::translate("driver/FileIo", "磁盘空间不足");
    if (err == EROFS)
        return lang::translate("driver/FileIo", "文件系统只读");
    return std::strerror(err);
}
