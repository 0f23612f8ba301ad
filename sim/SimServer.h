#pragma once
// Serves a CVirtualDriver on a pseudo-terminal, optionally linked as COMn in
// the port folder, and misbehaves on demand. A tap can carry the line's bytes
// to a listener.

#include "serial/ComPort.h"
#include "sim/LineTap.h"
#include "sim/SimPty.h"
#include "sim/VirtualDriver.h"

#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class EFault {
    None,
    Silent,          // no reply
    BadCrc,          // last CRC byte flipped
    ForeignAddress,  // reply carries another slave address
    WrongFunction,   // reply carries another function code (valid CRC)
    Exception,       // exception reply with code param (default 4); the request is not carried out
    Split,           // reply in two halves, param ms apart (default 30)
    Trailing,        // param garbage bytes after the reply (default 3)
    Delay,           // reply after param ms (default 1500)
    EndlessDeviceId, // device-identification replies say "more follows" with the same next id
    LineGone,        // after param more replies the line hangs up, as a pulled adapter's does
};

// Parses "silent", "badcrc", "foreign", "wrongfunc", "exception=N", "split",
// "split=MS", "trailing", "trailing=N", "delay", "delay=MS", "endlessid".
// param is 0 when the text names none (the fault's default then applies).
bool ParseFault(const std::string& text, EFault& kind, int& param);

class CSimServer {
public:
    explicit CSimServer(CVirtualDriver& driver);
    // More virtual drivers on the same line (before Start), each at its own
    // slave address: only the one addressed answers; a broadcast (address 0)
    // is carried out by all and answered by none.
    void AddDriver(CVirtualDriver& driver);
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Creates the pseudo-terminal and starts serving. comNumber > 0 links it
    // as COMn in the port folder, 0 takes the lowest free number, -1 makes no
    // link. False when the pty or the link cannot be made (0 without a usable
    // port folder serves without a link; PortFolderProblem says why). A link left by a dead
    // simulator is taken over; a link to anything else is never touched.
    bool Start(int comNumber = -1);
    void Stop(); // removes the link, and the tap's

    std::string DevicePath() const { return m_strSlavePath; } // /dev/pts/N
    std::string LinkPath() const { return m_link.Path(); }    // "" without link
    int ComNumber() const { return m_link.Number(); }

    // A second pseudo-terminal that carries every byte of the line, both
    // ways, as a listening adapter on the same pair hears it (CLineTap);
    // comNumber as for Start. Before or after Start.
    bool OpenTap(int comNumber = -1) { return m_tap.Open(comNumber); }
    const CLineTap& Tap() const { return m_tap; }

    // Wire timing. Paced, each reply byte reaches the client when a real line
    // at the baud rate and framing the client has set would deliver it: after
    // the request's own time on the wire and the turnaround. Unpaced, replies
    // go out at once (for tests that do not measure time). Paced by default.
    void SetPacing(bool on) { m_bPaced = on; }
    bool Pacing() const { return m_bPaced.load(); }
    // How long after a request's end the reply begins: for every slave, or
    // (slave > 0) for that slave only, so one slow driver can share the line
    // with quick ones.
    void SetTurnaround(std::chrono::microseconds t, int slave = 0);

    // The next count replies (-1: every reply until cleared) misbehave; with
    // slave > 0 only that slave's replies. EndlessDeviceId counts
    // device-identification replies only. LineGone
    // answers param more requests, then hangs up on the next one (count 0
    // disarms it); Stop and Start bring a new line.
    void InjectFault(EFault kind, int param = 0, int count = 1, int slave = 0);
    void ClearFaults();
    // Requests received so far (complete frames for this or another slave).
    size_t RequestCount() const { return m_nRequests.load(); }
    // Replies written to the line so far (each counted once all its bytes are out).
    size_t ReplyCount() const { return m_nReplies.load(); }
    // Times the line went quiet on bytes that were no acceptable request
    // (corrupt, incomplete or of an unknown function) and they were dropped,
    // and requests heard at another baud rate or parity than the driver's
    // communication block sets (to a real driver they are noise). On a
    // pseudo-terminal only odd parity shows: even cannot be told from none.
    size_t DiscardCount() const { return m_nDiscards.load(); }

private:
    using Clock = std::chrono::steady_clock;

    void Serve();
    // firstSeen: when the request's first byte came in.
    void OnFrame(const std::vector<uint8_t>& frame, Clock::time_point firstSeen);
    // Writes the bytes at once (charNs 0) or one character time apart, the
    // first complete charNs after start. Returns when the last is complete.
    Clock::time_point Send(const std::vector<uint8_t>& bytes, Clock::time_point start,
                           int64_t charNs);
    void WriteAll(const uint8_t* data, size_t len);
    // True when the client's line settings are the driver's own.
    static bool LineMatches(const LineSettings& line, const CVirtualDriver& driver);
    bool Pause(int ms); // false when stopping
    void HangUp();

    std::vector<CVirtualDriver*> m_drivers; // the first given to the constructor
    int m_hMaster = -1;
    int m_hSlaveKeep = -1; // keeps the pty alive and its settings raw
    int m_hWake[2] = {-1, -1};
    std::string m_strSlavePath;
    CComLink m_link;
    CLineTap m_tap;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::atomic<size_t> m_nRequests{0};
    std::atomic<size_t> m_nReplies{0};
    std::atomic<size_t> m_nDiscards{0};
    std::atomic<bool> m_bPaced{true};
    // Turnaround by slave address; index 0 is every slave's, -1 elsewhere
    // means that slave has none of its own.
    std::array<std::atomic<int64_t>, 256> m_turnaroundUs;
    std::mutex m_faultLock;
    struct SFault {
        EFault kind = EFault::None;
        int param = 0;
        int count = 0; // replies still to spoil; -1 every one
    };
    std::map<int, SFault> m_faults; // by slave address; 0: any slave
    int m_nGoneAfter = -1;          // replies still given before the line goes (-1: not armed)
};
