#pragma once
// A slave on a pseudo-terminal whose every answer the test writes itself, for
// replies the virtual driver would never give (over-long, endless, half
// answered). Requests are framed by their function code; the responder gets
// each whole request and returns the bytes to send (nothing for silence).

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CScriptedPeer {
public:
    using Responder = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;

    explicit CScriptedPeer(Responder responder) : m_responder(std::move(responder)) {
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
        if (m_hKeep >= 0)
            close(m_hKeep);
        if (m_hPty >= 0)
            close(m_hPty);
    }
    CScriptedPeer(const CScriptedPeer&) = delete;
    CScriptedPeer& operator=(const CScriptedPeer&) = delete;

    bool Ok() const { return m_thread.joinable(); }
    const std::string& Path() const { return m_strPath; }
    std::vector<std::vector<uint8_t>> Requests() const {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_requests;
    }
    size_t RequestCount() const {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_requests.size();
    }

private:
    static size_t RequestLength(const std::vector<uint8_t>& b) {
        if (b.size() < 2)
            return 0;
        switch (b[1]) {
        case 0x10:
            return b.size() < 7 ? 0 : 9u + b[6];
        case 0x2B:
            return 7;
        default:
            return 8;
        }
    }

    void Serve() {
        std::vector<uint8_t> buf;
        uint8_t chunk[512];
        while (!m_bStop) {
            pollfd p{m_hPty, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            ssize_t n = read(m_hPty, chunk, sizeof chunk);
            if (n <= 0)
                continue;
            buf.insert(buf.end(), chunk, chunk + n);
            for (size_t need = RequestLength(buf); need && buf.size() >= need;
                 need = RequestLength(buf)) {
                std::vector<uint8_t> req(buf.begin(), buf.begin() + static_cast<long>(need));
                buf.erase(buf.begin(), buf.begin() + static_cast<long>(need));
                {
                    std::lock_guard<std::mutex> lk(m_lock);
                    m_requests.push_back(req);
                }
                std::vector<uint8_t> reply = m_responder(req);
                for (size_t done = 0; done < reply.size() && !m_bStop;) {
                    ssize_t w = write(m_hPty, reply.data() + done, reply.size() - done);
                    if (w > 0)
                        done += static_cast<size_t>(w);
                    else
                        poll(nullptr, 0, 1);
                }
            }
        }
    }

    Responder m_responder;
    int m_hPty = -1, m_hKeep = -1;
    std::string m_strPath;
    mutable std::mutex m_lock;
    std::vector<std::vector<uint8_t>> m_requests;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};
