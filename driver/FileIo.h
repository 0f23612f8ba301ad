#pragma once
// The files the tools read and write. Test benches share their machines: an
// export may go to /tmp or a folder other users can write to, so nothing is
// written through a name someone else could have placed there first (a link
// to one of our files, a temporary name guessed in advance).

#include <cstddef>
#include <cstdio>
#include <string>

// Reads at most maxBytes of a file: 0, or an errno value (EFBIG when larger).
int ReadBoundedFile(const std::string& path, size_t maxBytes, std::string& text);
// The same for a stream already open, on every system; it closes the stream.
int ReadBoundedStream(FILE* f, size_t maxBytes, std::string& text);

// Replaces path by text as a whole: a temporary file of a fresh name beside
// it (made exclusively, never through a link) is written, synced and renamed
// over path, so a failure never leaves half a file where a good one was and
// a link at path is replaced, not followed. An existing file keeps its
// permission bits; a new one gets 0666 less the umask. On failure the
// temporary file is removed and path untouched. 0, or an errno value.
int WriteFileAtomically(const std::string& path, const std::string& text);

// For a file written piece by piece (a recording): opens path for writing
// from its start, made if missing (0666 less the umask), emptied if there.
// A symbolic link is refused (ELOOP), not followed, and so is anything but a
// regular file (kNotRegularFile). 0 and fd, or an error.
constexpr int kNotRegularFile = -1;
int OpenFileForWriting(const std::string& path, int& fd);

// The reason behind a result of the functions above, for people.
std::string FileErrorText(int err);
