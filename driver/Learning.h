#pragma once
// Motor learning through the learn block (0x00E0..): the request register,
// the state the driver reports, the learned phases and the outcome texts.
// The motor parameters page and `halvik-cli learn` run the same procedure:
// write the request, poll the block, withdraw the request whatever ended it.

#include "driver/Blocks.h"
#include "modbus/ResultCode.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class CMotorDriver;

enum : uint16_t {
    kRegLearnRequest = 0x00E1, // 1 starts a run; the driver clears it when a run is dropped
    kRegLearnState = 0x00E2,
    kRegLearnExtra = 0x00E4, // registers to read after the first five
    kRegLearnPhase = 0x00E5, // six learned phase bytes, one per register
};
constexpr int kLearnPhaseRegs = 6;
// The first five registers and the learned phases.
constexpr uint16_t kLearnReadCount = 5 + kLearnPhaseRegs;

// Values of the state register that end a run.
enum : uint16_t { kLearnStateSucceeded = 3, kLearnStateFailed = 4 };

// Where a learning run stands after a read of the learn block.
enum class ELearnState { Running, Succeeded, Failed, Aborted };
ELearnState LearnStateOf(const LearnBlock& b);
// "学习成功", "学习失败", "学习异常终止"; "" while running.
const char* LearnOutcomeText(ELearnState state);
// The learned phases as "%02X %02X %02X %02X %02X %02X".
std::string LearnedPhaseText(const LearnBlock& b);

// --- The procedure -------------------------------------------------------------

using LearnClock = std::chrono::steady_clock;

// What the caller supplies: its clock, a wait that ends early when the run
// is to stop, what to do with each read, and an optional time limit.
struct SLearnHooks {
    std::function<LearnClock::time_point()> now = [] { return LearnClock::now(); };
    // Waits until the time; false when the run is to stop.
    std::function<bool(LearnClock::time_point)> waitUntil;
    // After each successful read of the learn block (optional).
    std::function<void(const LearnBlock&)> onRead;
    std::chrono::milliseconds period{250};
    std::chrono::milliseconds limit{0}; // 0: no limit
};

// How a run ended.
enum class ELearnEnd { Succeeded, Failed, Aborted, StartRefused, ReadFailed, TimedOut, Stopped };
struct SLearnOutcome {
    ELearnEnd end = ELearnEnd::Stopped;
    ResultCode rc = kResultOk; // of the refused start or the failed read
    LearnBlock last{};         // the learn block as last read
    bool withdrawn = false;    // the closing write was made
    ResultCode closeRc = kResultOk;
};

// Writes the request (a "device busy" answer means a run is under way: it is
// followed), reads the learn block and its phases every period until the run
// ends, fails, times out or is stopped, then withdraws the request with the
// block as last read, whatever ended it. A refused start writes nothing more.
SLearnOutcome RunMotorLearning(CMotorDriver& drv, uint8_t slave, const SLearnHooks& hooks);
