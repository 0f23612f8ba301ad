#pragma once
// A step-response test of the driver's speed or position loop: one step of
// the commutation frequency (from where it is to a target) or one position
// move, sampled as fast as the line allows, judged by StepFigures. The
// command line runs it; it has no thread of its own: the caller's clock and
// stop flag come in through the hooks, as for motor learning.
//
// Before the step it reads the PID gains, the motor parameters, the ramps
// and the status block, and refuses (writing nothing) a target beyond the
// driver's limits, a driver that reports an error state, or a motor that is
// already running unless asked to step from there. During the run it reads
// only the status registers from the phase current to the position, and the
// error state about once a second. Whatever ends the run (its duration, a
// failed transaction, an error state, the stop flag) it then writes the stop
// command with the caller's mode.

#include "driver/MotorDriver.h"
#include "driver/StepResponse.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using StepClock = std::chrono::steady_clock;

enum class EStepLoop { Speed, Position };

struct SStepRequest {
    EStepLoop loop = EStepLoop::Speed;
    // Speed: the commutation frequency to step to, Hz (signed). Position:
    // the target in pulses, or the distance with relative.
    double target = 0;
    bool relative = false;
    std::chrono::milliseconds duration{1000};
    uint16_t stopMode = kStopNormal;             // written at the end, whatever ended the run
    bool fromRunning = false;                    // step a motor that already runs, from where it is
    std::chrono::milliseconds errorPeriod{1000}; // between reads of the error state
};

struct SStepHooks {
    std::function<StepClock::time_point()> now = [] { return StepClock::now(); };
    std::function<bool()> stopRequested = [] { return false; };
};

enum class EStepEnd {
    Completed,    // ran for its duration
    Refused,      // not started (problem says why); nothing was written
    ReadFailed,   // reading the settings failed; nothing was written
    StartFailed,  // the run command failed
    SampleFailed, // a read during the run failed
    DriverError,  // the driver reported an error state during the run
    Stopped,      // the stop flag
};

struct SStepGains {
    double kp = 0, ki = 0, kd = 0;
};

struct SStepResult {
    EStepEnd end = EStepEnd::Refused;
    ResultCode rc = kResultOk; // of the failed transaction
    std::string problem;       // why refused
    uint16_t errorState = 0;   // as last read
    // What the run worked with.
    SStepGains speedGains, positionGains;
    double maxFrequency = 0;      // Hz, motor.max_commutation_frequency
    double maxCurrent = 0;        // A, motor.max_load_current
    double acceleration = 0;      // Hz/s, ramp.acceleration
    double deceleration = 0;      // Hz/s, ramp.deceleration
    double moveFrequency = 0;     // Hz, a position move's speed (the maximum)
    bool speedUnitHz = false;     // the driver counts whole Hz
    double start = 0, target = 0; // Hz or pulses
    // Samples from the step command on (t = 0 when the command was whole on
    // the wire, each sample at the moment its request was), and the figures.
    std::vector<SStepSample> samples;
    SStepFigures figures;
    StepClock::time_point commandAt{};
    bool stopWritten = false;
    ResultCode stopRc = kResultOk;
};

// What a run needs from the driver's settings, read and checked by
// PrepareStep. result.end is Refused or ReadFailed when the run cannot
// start (nothing was written), Completed while it can.
struct SStepPlan {
    SStepRequest request;
    SStepResult result;
    std::vector<uint16_t> status; // the status block as read
    int64_t commandRaw = 0;       // the frequency register, or the move's target
    int64_t moveRaw = 0;          // the move's frequency register
};

// "Hz" for the speed loop, "pulses" for the position loop.
const char* StepUnit(EStepLoop loop);

SStepPlan PrepareStep(CMotorDriver& drv, uint8_t slave, const SStepRequest& req);
// Runs a plan PrepareStep accepted (the caller may ask a person between).
SStepResult RunStep(CMotorDriver& drv, uint8_t slave, SStepPlan plan, const SStepHooks& hooks);
// Both, for callers that need not ask.
SStepResult RunStepResponse(CMotorDriver& drv, uint8_t slave, const SStepRequest& req,
                            const SStepHooks& hooks);
