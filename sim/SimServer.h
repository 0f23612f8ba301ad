#pragma once
// Serves a CVirtualDriver on a pseudo-terminal, optionally linked as COMn in
// the port folder, and misbehaves on demand.

#include "sim/VirtualDriver.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

enum class EFault {
    None,
    Silent,         // no reply
    BadCrc,         // last CRC byte flipped
    ForeignAddress, // reply carries another slave address
    WrongFunction,  // reply carries another function code (valid CRC)
    Exception,      // exception reply with code param
    Split,          // reply in two halves, param ms apart (default 30)
    Trailing,       // param garbage bytes after the reply (default 3)
    Delay,          // reply after param ms (default 1500)
};

// Parses "silent", "badcrc", "foreign", "wrongfunc", "exception=N", "split",
// "split=MS", "trailing", "trailing=N", "delay", "delay=MS".
bool ParseFault(const std::string& text, EFault& kind, int& param);

class CSimServer {
public:
    explicit CSimServer(CVirtualDriver& driver);
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Creates the pseudo-terminal and starts serving. comNumber > 0 links it
    // as COMn in the port folder, 0 takes the lowest free number, -1 makes no
    // link. False when the pty or the link cannot be made.
    bool Start(int comNumber = -1);
    void Stop(); // removes the link

    std::string DevicePath() const { return m_strSlavePath; } // /dev/pts/N
    std::string LinkPath() const { return m_strLink; }        // "" without link
    int ComNumber() const { return m_nCom; }

    // The next count replies (-1: every reply until cleared) misbehave.
    void InjectFault(EFault kind, int param = 0, int count = 1);
    void ClearFaults();
    // Requests received so far (complete frames for this or another slave).
    size_t RequestCount() const { return m_nRequests.load(); }

private:
    void Serve();

    CVirtualDriver& m_driver;
    int m_hMaster = -1;
    int m_hSlaveKeep = -1; // keeps the pty alive and its settings raw
    int m_hWake[2] = {-1, -1};
    std::string m_strSlavePath, m_strLink;
    int m_nCom = -1;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::atomic<size_t> m_nRequests{0};
    std::mutex m_faultLock;
    EFault m_fault = EFault::None;
    int m_nFaultParam = 0;
    int m_nFaultCount = 0;
};
