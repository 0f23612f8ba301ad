#pragma once
// A listening adapter hung on the virtual driver's RS-485 pair: a second
// pseudo-terminal that carries every byte on the line, what the master sent
// and what the driver answered, in the order and about the timing they passed.
// What a listener writes to it goes nowhere. A tap no one reads never holds
// the driver up: bytes that do not fit, or that pass while no one has the tap
// open, are dropped and counted.

#include "sim/SimPty.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

class CLineTap {
public:
    CLineTap() = default;
    ~CLineTap() { Close(); }
    CLineTap(const CLineTap&) = delete;
    CLineTap& operator=(const CLineTap&) = delete;

    // comNumber as CSimServer::Start: > 0 links COMn, 0 the lowest free
    // number, -1 makes no link. False when the pty or the link asked for
    // cannot be made. May be called while the line is served.
    bool Open(int comNumber = -1);
    // Only once nothing passes bytes any more (after the server's Stop).
    void Close();

    // The bytes as they pass the line; called by the one thread serving it.
    void Pass(const uint8_t* data, size_t len);

    bool IsOpen() const { return m_hMaster.load() >= 0; }
    std::string DevicePath() const { return m_strPath; }
    std::string LinkPath() const { return m_link.Path(); }
    int ComNumber() const { return m_link.Number(); }
    size_t DroppedCount() const { return m_nDropped.load(); }

private:
    std::atomic<int> m_hMaster{-1};
    bool m_bListened = false; // someone had the tap open when bytes last passed
    std::string m_strPath;
    CComLink m_link;
    std::atomic<size_t> m_nDropped{0};
};
