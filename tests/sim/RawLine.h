#pragma once
// Frames as bytes and a raw client end of the simulator's pty: a master with
// no Modbus layer of ours in between.

#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

// Reads fd until done(got) holds, fd reports its end or timeoutMs passes.
inline Bytes ReadUntil(int fd, const std::function<bool(const Bytes&)>& done, int timeoutMs) {
    Bytes got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(got)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        uint8_t buf[300];
        ssize_t n = 0;
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
            (n = read(fd, buf, sizeof buf)) <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

class CRawLine {
public:
    explicit CRawLine(const std::string& dev)
        : m_fd(open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios t{};
        if (m_fd >= 0 && tcgetattr(m_fd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(m_fd, TCSANOW, &t);
        }
    }
    ~CRawLine() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Ok() const { return m_fd >= 0; }
    void Send(const Bytes& b) const {
        EXPECT_EQ(write(m_fd, b.data(), b.size()), ssize_t(b.size()));
    }
    Bytes Receive(size_t want, int timeoutMs = 2000) const {
        return ReadUntil(
            m_fd, [&](const Bytes& got) { return got.size() >= want; }, timeoutMs);
    }
    Bytes Exchange(const Bytes& req, size_t want, int timeoutMs = 2000) const {
        Send(req);
        return Receive(want, timeoutMs);
    }

private:
    int m_fd = -1;
};
