#include "sim/LineTap.h"

#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

bool CLineTap::Open(int comNumber) {
    if (IsOpen())
        return false;
    int master = -1, slave = -1;
    if (!OpenRawPty(master, slave, m_strPath))
        return false;
    // No slave side of ours stays open: with none, the master reports a hang-up
    // until a listener opens the tap, and nothing piles up for no one.
    close(slave);
    if (comNumber != -1 && !m_link.Make(m_strPath, comNumber) && comNumber > 0) {
        close(master);
        return false;
    }
    m_hMaster = master;
    return true;
}

void CLineTap::Close() {
    const int fd = m_hMaster.exchange(-1);
    if (fd >= 0)
        close(fd);
    m_link.Remove();
}

void CLineTap::Pass(const uint8_t* data, size_t len) {
    const int fd = m_hMaster.load();
    if (fd < 0 || len == 0)
        return;
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, 0);
    if (p.revents & POLLHUP) {
        // No listener. What the last one left unread would greet the next
        // one as if it had just passed.
        if (m_bListened)
            tcflush(fd, TCOFLUSH);
        m_bListened = false;
        m_nDropped += len;
        return;
    }
    m_bListened = true;
    // What a listener writes goes nowhere.
    uint8_t junk[256];
    while (read(fd, junk, sizeof junk) > 0) {
    }
    size_t done = 0;
    while (done < len) {
        const ssize_t n = write(fd, data + done, len - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // full: the listener does not keep up
    }
    m_nDropped += len - done;
}
