#pragma once
// Looking for drivers on the bus: every slave address of a range, at one or
// more line settings, with a short reply time-out. Shared by the desktop
// tool's scan dialog and `halvik-cli scan`.
//
// Threads: ScanBus runs on the caller's thread (a worker or a command's main
// thread); the callbacks run there too. Stop may be set from any thread and
// is seen before the next request, so a stop takes at most one reply time-out.

#include "driver/MotorDriver.h"
#include "driver/SlaveList.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One line setting: the baud rate and the parity choice as the connection
// panel numbers it (0 "n,2", 1 "o,1", 2 "e,1", 3 "n,1").
struct SLineSetting {
    int baud = 9600;
    int parityChoice = 0;
    bool operator==(const SLineSetting&) const = default;
};

// Baud rates the connection panel offers, in its order.
inline constexpr int kPanelBauds[] = {9600, 14400, 19200, 38400, 57600, 115200};
inline constexpr int kParityChoices = 4;
// Every line setting of the connection panel: each baud rate with each parity.
std::vector<SLineSetting> AllLineSettings();

// Slave addresses a scan tries by default: every one a driver can answer at.
inline constexpr int kScanFirstSlave = kFirstSlaveAddress, kScanLastSlave = kLastSlaveAddress;

// The turnaround a scan allows by default: the driver begins its answer
// within about 2 ms, a USB adapter with its latency timer at 1 ms adds at
// most that; ten leaves room and keeps a scan of all addresses within 3 s
// at 115200 Bd. Slower devices, or adapters at the usual 16 ms latency
// timer, need more (SScanPlan::turnaroundMs).
inline constexpr uint32_t kScanTurnaroundMs = 10;

struct SScanPlan {
    std::vector<SLineSetting> lines; // empty: the port's present settings only
    int firstSlave = kScanFirstSlave;
    int lastSlave = kScanLastSlave;
    // Reply time-out of each probe; 0 picks ScanReplyTimeoutMs per baud rate.
    uint32_t replyTimeoutMs = 0;
    // How long after its request a driver may take to begin its answer:
    // an address that has not begun answering by then is taken as empty.
    uint32_t turnaroundMs = kScanTurnaroundMs;
};

// A probe's time-out: the wire time of the 8-byte request and its 7-byte
// answer at 11 bits a character, plus room for the driver's turnaround and a
// USB adapter's latency.
uint32_t ScanReplyTimeoutMs(int baud);

struct SScanHit {
    uint8_t slave = 0;
    SLineSetting line;
    // Reading the device information block after the probe; identifier and
    // model are valid when it is 0. A device that answers the probe with an
    // exception is listed with that code.
    ResultCode infoRc = kResultOk;
    uint16_t identifier = 0;
    std::string model;
};

struct SScanStep {
    size_t done = 0, total = 0; // probes finished, probes in all
    SLineSetting line;
    uint8_t slave = 0; // the address about to be tried
};

struct SScanOutcome {
    // 0 when every address was tried (or the scan was stopped); otherwise
    // why it could not go on: kResultPortClosed for a port that is closed or
    // went away, or (refusedLine) one that cannot take a line setting.
    ResultCode rc = kResultOk;
    bool refusedLine = false;
    SLineSetting line; // the setting tried last
    bool stopped = false;
    std::vector<SScanHit> hits;
};

// Probes each address with a one-register read of the device identifier
// (register 0x0000). Any proper answer, an exception included, counts as a
// driver; its device information is then read at the driver's usual reply
// time-out. The port must be open; its line settings and reply time-out are
// restored before returning, whatever happened.
SScanOutcome ScanBus(CMotorDriver& drv, const SScanPlan& plan, const std::atomic<bool>& stop,
                     const std::function<void(const SScanStep&)>& onStep = {},
                     const std::function<void(const SScanHit&)>& onHit = {});
