#pragma once
// A slave on a pseudo-terminal whose every answer the test writes itself, for
// replies the virtual driver would never give (over-long, endless, half
// answered). Requests are framed by their function code; the responder gets
// each whole request and returns the bytes to send (nothing for silence).

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CScriptedPeer {
public:
    using Frame = std::vector<uint8_t>;

    explicit CScriptedPeer(std::function<Frame(const Frame&)> responder)
        : m_responder(std::move(responder)) {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (openpty(&m_hPty, &m_hKeep, name, &raw, nullptr) != 0)
            return;
        m_strPath = name;
        m_thread = std::thread([this] { Serve(); });
    }
    ~CScriptedPeer() {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        close(m_hKeep);
        close(m_hPty);
    }

    bool Ok() const { return m_thread.joinable(); }
    const std::string& Path() const { return m_strPath; }
    std::vector<Frame> Requests() const {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_requests;
    }
    size_t RequestCount() const { return Requests().size(); }

private:
    static size_t RequestLength(const Frame& b) {
        if (b.size() < 2)
            return 0;
        if (b[1] == 0x10)
            return b.size() < 7 ? 0 : 9u + b[6];
        return b[1] == 0x2B ? 7 : 8;
    }

    void Serve() {
        Frame buf;
        uint8_t chunk[512];
        while (!m_bStop) {
            pollfd p{m_hPty, POLLIN, 0};
            ssize_t n = poll(&p, 1, 20) > 0 ? read(m_hPty, chunk, sizeof chunk) : 0;
            buf.insert(buf.end(), chunk, chunk + std::max<ssize_t>(n, 0));
            for (size_t need; (need = RequestLength(buf)) && buf.size() >= need;) {
                Frame req(buf.begin(), buf.begin() + static_cast<long>(need));
                buf.erase(buf.begin(), buf.begin() + static_cast<long>(need));
                {
                    std::lock_guard<std::mutex> lk(m_lock);
                    m_requests.push_back(req);
                }
                Frame reply = m_responder(req);
                for (size_t done = 0; done < reply.size() && !m_bStop;) {
                    ssize_t w = write(m_hPty, reply.data() + done, reply.size() - done);
                    done += static_cast<size_t>(std::max<ssize_t>(w, 0));
                    if (w <= 0)
                        poll(nullptr, 0, 1);
                }
            }
        }
    }

    std::function<Frame(const Frame&)> m_responder;
    int m_hPty = -1, m_hKeep = -1;
    std::string m_strPath;
    mutable std::mutex m_lock;
    std::vector<Frame> m_requests;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};
