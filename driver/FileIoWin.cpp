// The files the tools read and write, on Windows (FileIo.cpp on Linux).
// Names are UTF-8 in the program and UTF-16 for the system; errors are
// reported as the errno values FileIo.h promises.

#include "driver/FileIo.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <random>

namespace {

std::wstring Wide(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

int ErrnoOf(DWORD err) {
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return EINVAL;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return EIO;
    }
}

int LastErrno() {
    return ErrnoOf(GetLastError());
}

// What is at path without following a link there; INVALID_FILE_ATTRIBUTES
// when nothing is.
DWORD AttributesOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return INVALID_FILE_ATTRIBUTES;
    return data.dwFileAttributes;
}

int WriteAll(HANDLE h, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 30));
        DWORD n = 0;
        if (!WriteFile(h, text.data() + done, chunk, &n, nullptr))
            return LastErrno();
        if (n == 0)
            return EIO;
        done += n;
    }
    return 0;
}

// A fresh temporary name beside the target, made by this call alone:
// CREATE_NEW never opens what is there, a link included, so a name planted
// in advance costs another try and nothing else.
HANDLE CreateTemporary(const std::wstring& dir, const std::wstring& name, std::wstring& tmp) {
    static const wchar_t kChars[] =
        L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring suffix;
        for (int i = 0; i < 6; ++i)
            suffix += kChars[random() % (sizeof kChars / sizeof kChars[0] - 1)];
        tmp = dir + L"." + name.substr(0, 200) + L"." + suffix;
        HANDLE h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return h;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Puts tmp in place of path in one rename that replaces whatever is there, a
// link included, and is on the disk when it returns. Another writer or a
// virus scanner may hold the file for a moment: a few tries.
int PutInPlace(const std::wstring& tmp, const std::wstring& path) {
    DWORD err = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (attempt)
            Sleep(10);
        if (MoveFileExW(tmp.c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        err = GetLastError();
        if (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED &&
            err != ERROR_LOCK_VIOLATION)
            break;
    }
    return ErrnoOf(err);
}

} // namespace

int ReadBoundedFile(const std::string& path, size_t maxBytes, std::string& text) {
    FILE* f = _wfopen(Wide(path).c_str(), L"rb");
    if (!f)
        return errno ? errno : EIO;
    return ReadBoundedStream(f, maxBytes, text);
}

int WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::wstring wpath = Wide(path);
    const size_t slash = wpath.find_last_of(L"/\\");
    const std::wstring dir = slash == std::wstring::npos ? L"" : wpath.substr(0, slash + 1);
    const std::wstring name = wpath.substr(dir.size());
    const DWORD attrs = AttributesOf(wpath);
    const bool link = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
    if (name.empty() ||
        (!link && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)))
        return EISDIR;
    std::wstring tmp;
    HANDLE h = CreateTemporary(dir, name, tmp);
    if (h == INVALID_HANDLE_VALUE)
        return LastErrno();
    int err = WriteAll(h, text);
    // On the disk before the name points at it: a crash leaves the old file.
    if (!err && !FlushFileBuffers(h))
        err = LastErrno();
    if (!CloseHandle(h) && !err)
        err = LastErrno();
    // An existing file keeps its attributes (hidden, say; a read-only one is
    // refused by the rename). Its permissions are its folder's, as a new
    // file's are.
    if (!err && attrs != INVALID_FILE_ATTRIBUTES && !link)
        SetFileAttributesW(tmp.c_str(),
                           attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
    if (!err)
        err = PutInPlace(tmp, wpath);
    if (err)
        DeleteFileW(tmp.c_str());
    return err;
}

int OpenFileForWriting(const std::string& path, int& fd) {
    const std::wstring wpath = Wide(path);
    const DWORD attrs = AttributesOf(wpath);
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT))
        return ELOOP;
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
        return EISDIR;
    // The link check again on what was opened, as the name may change in
    // between: the reparse point itself is opened, never its target.
    HANDLE h = CreateFileW(wpath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return LastErrno();
    BY_HANDLE_FILE_INFORMATION info{};
    int err = 0;
    if (GetFileType(h) != FILE_TYPE_DISK)
        err = kNotRegularFile; // NUL, CON, a COM port
    else if (!GetFileInformationByHandle(h, &info))
        err = LastErrno();
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        err = ELOOP;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        err = EISDIR;
    // Emptied only once it is known to be a file.
    else if (!SetEndOfFile(h))
        err = LastErrno();
    int f = -1;
    if (!err && (f = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY)) < 0)
        err = EMFILE;
    if (err) {
        CloseHandle(h);
        return err;
    }
    fd = f;
    return 0;
}
