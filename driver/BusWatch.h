#pragma once
// Several drivers on one line: each one's live summary read in turn (one
// read of the status block per driver per round), with the health of its
// link; and a stop written to every driver of a list, each by its own
// address. Shared by the desktop tool's bus view and `halvik-cli status
// --slaves` / `stop --slaves`.
//
// Threads: WatchBus and StopAll run on the caller's thread (a worker or a
// command's main thread), the callback there too. stop may be set from any
// thread; it is seen between two transactions and while waiting for a round.
// While they run, the master's first-byte budget is theirs; it is restored
// when they return.

#include "driver/BusScan.h"
#include "driver/Catalogue.h"
#include "driver/MotorDriver.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

struct SWatchPlan {
    std::vector<uint8_t> slaves; // polled in this order, one each per round
    // How long a driver may take to begin its answer, as for a scan: a
    // silent driver then costs its request's wire time and this, not a whole
    // reply time-out, so it barely slows the others.
    uint32_t turnaroundMs = kScanTurnaroundMs;
    // From one round's start to the next; 0: as fast as the line allows.
    std::chrono::milliseconds roundPeriod{0};
    int64_t rounds = 0; // 0: until stopped
    // Failures in a row after which a driver is marked as not answering; a
    // marked driver is tried once per retryEvery until it answers again.
    int markAfter = 2;
    std::chrono::milliseconds retryEvery{1000};
};

struct SLinkHealth {
    size_t polls = 0;    // reads sent
    size_t updates = 0;  // reads answered with the status block
    size_t timeouts = 0; // no answer
    size_t errors = 0;   // any other failure: exception, bad reply, port gone
    int consecutiveFailures = 0;
    bool marked = false;             // not answering: tried once per retryEvery
    ResultCode lastRc = kResultOk;   // of the latest poll
    double updatesPerSecond = 0;     // achieved over the last seconds
    double lastMs = 0, medianMs = 0; // round trips of answered reads; 0 before the first
};

struct SWatchUpdate {
    uint8_t slave = 0;
    int64_t round = 0;            // from 1
    bool polled = false;          // false: a marked driver left out of this round
    ResultCode rc = kResultOk;    // of this poll, or of the latest one when not polled
    std::vector<uint16_t> status; // the status block, when polled and rc is 0
    SLinkHealth health;
};

struct SWatchOutcome {
    ResultCode rc = kResultOk; // kResultPortClosed: the port is closed or went away
    bool stopped = false;
    int64_t rounds = 0;              // rounds finished
    std::vector<SLinkHealth> health; // per slave, in the plan's order
};

// Round after round, every driver not marked is read, and a marked one when
// its retry is due; onUpdate then gets one update per driver of the plan.
// A round in which no driver would be read waits until one is due. Each
// read's reply time-out is the master's.
SWatchOutcome WatchBus(CMotorDriver& drv, const SWatchPlan& plan, const std::atomic<bool>& stop,
                       const std::function<void(const SWatchUpdate&)>& onUpdate = {});

// What a bus view shows of a driver, decoded from its status block in this
// order: supply voltage, commutation frequency, phase current, temperature,
// error state.
inline constexpr const char* kSummaryFields[] = {
    "status.input_voltage", "status.commutation_frequency", "status.phase_current",
    "status.temperature",   "status.error_state",
};
std::vector<DecodedField> StatusSummary(const std::vector<uint16_t>& status);

struct SStopResult {
    uint8_t slave = 0;
    ResultCode rc = kResultOk;
};

// Writes the stop command in this mode (kStopNormal, kStopEmergency,
// kStopFree) to each slave by its own address. Those that do not begin to
// answer within the turnaround budget are left for a second pass at the
// master's reply time-out, so one silent driver does not hold back the
// others' stop; with a budget of 0 there is one pass, each at the reply
// time-out. One result per slave, in the list's order.
std::vector<SStopResult> StopAll(CMotorDriver& drv, const std::vector<uint8_t>& slaves,
                                 uint16_t mode, uint32_t turnaroundMs = kScanTurnaroundMs);
