// The motor behind the virtual driver: register writes taken as commands
// (run, stop, move, homing, stroke measurement, learning), and the machine
// moving with the clock, the real-time status following it.

#include "sim/VirtualDriverImpl.h"

#include "modbus/ResultCode.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace vdrv;

namespace {

// A stroke measurement finds about 51200 pulses, a few more or fewer each
// time as a real one does.
constexpr uint32_t kMeasuredStroke = 51200;
constexpr std::array<int, 4> kStrokeJitter = {0, 3, -2, 1};
constexpr double kHomingMs = 1000; // homing takes about a second
constexpr double kPwmToFreq = 20;  // tenths of Hz per 0.1 % PWM without load
constexpr std::array<uint8_t, 6> kLearnedPhases = {0x05, 0x01, 0x03, 0x02, 0x06, 0x04};
// Below this the loops call the motor stopped and let go of it; the load
// brings what is left to rest within a few milliseconds.
constexpr double kRestHz = 0.5;
constexpr size_t kTraceLimit = 600000; // ten minutes of ticks

// Moves value toward target at rate per second for dt seconds; returns the
// integral of the value over dt (exact for the ramp followed by the plateau).
double Ramp(double& value, double target, double rate, double dt) {
    double start = value;
    if (rate <= 0 || std::fabs(target - start) <= rate * dt) {
        double tRamp = rate <= 0 ? 0 : std::fabs(target - start) / rate;
        value = target;
        return (start + target) / 2 * tRamp + target * (dt - tRamp);
    }
    double end = start + (target > start ? rate : -rate) * dt;
    value = end;
    return (start + end) / 2 * dt;
}

// The value a register takes after the write, or its current value.
uint16_t After(const std::array<uint16_t, 0x10000>& regs, uint16_t start,
               const std::vector<uint16_t>& values, uint32_t addr) {
    if (addr >= start && addr < start + values.size())
        return values[addr - start];
    return regs[addr];
}

} // namespace

// --- simulation ----------------------------------------------------------

double CVirtualDriver::Impl::FloatAt(uint16_t addr) const {
    const uint32_t u = static_cast<uint32_t>(regs[addr]) << 16 | regs[addr + 1];
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

CMotorLoop::SCommand CVirtualDriver::Impl::LoopCommand() const {
    using EDrive = CMotorLoop::EDrive;
    CMotorLoop::SCommand c;
    c.drive = mode == EMode::Move ? EDrive::Position : ClosedLoop() ? EDrive::Speed : EDrive::Off;
    c.speedTarget = mode == EMode::Freq ? freqTarget / 10 : 0;
    c.positionTarget = static_cast<double>(moveTarget);
    c.speedLimit = moveFreq / 10;
    c.speed = {FloatAt(kRegSpeedKp), FloatAt(kRegSpeedKp + 2), FloatAt(kRegSpeedKp + 4)};
    c.position = {FloatAt(kRegPositionKp), FloatAt(kRegPositionKp + 2),
                  FloatAt(kRegPositionKp + 4)};
    c.currentLimit = regs[kRegMaxLoadCurrent] / 100.0;
    c.accel = RateTenthsPerS(kRegAccel) / 10;
    c.decel = RateTenthsPerS(kRegDecel) / 10;
    return c;
}

void CVirtualDriver::Impl::Handover(bool wasClosedLoop) {
    if (ClosedLoop() && !wasClosedLoop)
        loop.Engage(freq / 10);
    else if (!ClosedLoop())
        loop.Release();
}

void CVirtualDriver::Impl::Tick(Clock::time_point at) {
    double hz = freq / 10;
    loop.Tick(LoopCommand(), hz, position);
    freq = hz * 10;
    pwm = mode == EMode::Coasting ? 0 : std::clamp(freq / kPwmToFreq, -1000.0, 1000.0);
    const bool atRest = std::fabs(hz) < kRestHz;
    switch (mode) {
    case EMode::Freq:
    case EMode::Stopping:
        if (atRest && (mode == EMode::Stopping || freqTarget == 0) && loop.Reference() == 0)
            mode = EMode::Idle;
        break;
    case EMode::Move:
        if (atRest && std::fabs(static_cast<double>(moveTarget) - position) < 0.5) {
            mode = EMode::Idle;
            moveDone = true;
        }
        break;
    case EMode::Coasting:
        // Viscous friction alone never brings it to exactly 0.
        if (atRest)
            mode = EMode::Idle;
        break;
    default:
        break;
    }
    if (!ClosedLoop())
        loop.Release();
    if (tracing && trace.size() < kTraceLimit)
        trace.push_back({at, hz, position, loop.Current()});
}

void CVirtualDriver::Impl::Step(Clock::time_point now, double dt) {
    constexpr auto kTickTime = std::chrono::milliseconds(1);
    const bool scripted = mode == EMode::Pwm || (mode == EMode::Stopping && stopByPwm);
    // At rest or scripted, a command acts at the next tick after it came.
    if (!scripted)
        for (; nextTick <= now && (mode != EMode::Idle || freq != 0); nextTick += kTickTime)
            Tick(nextTick);
    if (scripted || (mode == EMode::Idle && freq == 0 && nextTick <= now))
        nextTick = now + kTickTime;
    if (dt <= 0)
        return;
    double travelled = 0; // integral of the scripted freq (tenths of Hz) over dt
    if (mode == EMode::Pwm) {
        double rate =
            std::fabs(pwmTarget) >= std::fabs(pwm) ? PwmRate(kRegPwmRise) : PwmRate(kRegPwmFall);
        travelled = Ramp(pwm, pwmTarget, rate, dt) * kPwmToFreq;
        freq = pwm * kPwmToFreq;
        if (pwmTarget == 0 && pwm == 0)
            mode = EMode::Idle;
    } else if (mode == EMode::Stopping && stopByPwm) {
        // Stopping out of PWM mode follows the PWM fall buffer.
        travelled = Ramp(pwm, 0, PwmRate(kRegPwmFall), dt) * kPwmToFreq;
        freq = pwm * kPwmToFreq;
        if (freq == 0)
            mode = EMode::Idle;
    }
    position += travelled / 10;

    if (learning) {
        learnElapsedMs += dt * 1000;
        if (learnElapsedMs >= static_cast<double>(learnDuration.count())) {
            learning = false;
            regs[kRegLearnReq] = 0;
            if (learnOutcome == ELearnOutcome::Abort) {
                // The request drops while the state still says running.
            } else if (learnOutcome != ELearnOutcome::Failure) {
                regs[kRegLearnState] = kLearnOk;
                for (size_t i = 0; i < kLearnedPhases.size(); ++i)
                    regs[kRegLearnData + i] = kLearnedPhases[i];
                for (int i = 0; i < 3; ++i)
                    regs[kRegPhaseData + i] = static_cast<uint16_t>(kLearnedPhases[2 * i] << 8 |
                                                                    kLearnedPhases[2 * i + 1]);
                regs[kRegLearned] = static_cast<uint16_t>(regs[kRegLearned] | 1);
            } else {
                regs[kRegLearnState] = kLearnFailed;
                for (size_t i = 0; i < kLearnedPhases.size(); ++i)
                    regs[kRegLearnData + i] = 0;
                regs[kRegLearned] = static_cast<uint16_t>(regs[kRegLearned] & ~1u);
            }
        } else {
            regs[kRegLearnState] = learnElapsedMs * 2 < static_cast<double>(learnDuration.count())
                                       ? kLearnPhase1
                                       : kLearnPhase2;
        }
    }

    if (testOp != 0) {
        testOpElapsedMs += dt * 1000;
        const bool measuring = testOp == 4;
        const double total = measuring ? static_cast<double>(measureDuration.count()) : kHomingMs;
        if (testOpElapsedMs >= total) {
            if (measuring) {
                const uint32_t stroke =
                    static_cast<uint32_t>(static_cast<int64_t>(kMeasuredStroke) +
                                          kStrokeJitter[measureCount++ % kStrokeJitter.size()]);
                regs[kRegStroke] = static_cast<uint16_t>(stroke >> 16);
                regs[kRegStroke + 1] = static_cast<uint16_t>(stroke & 0xFFFF);
            }
            position = 0; // ends homed: the limit switch is the zero point
            testOp = 0;
            regs[kRegTestOp] = 0;
        } else if (measuring) {
            // Home first, out to the far limit, then back.
            const double f = testOpElapsedMs / total;
            position = f < 0.1 ? measureStart * (1 - f / 0.1)
                               : kMeasuredStroke * (f < 0.55 ? (f - 0.1) / 0.45 : (1 - f) / 0.45);
        }
    }
}

void CVirtualDriver::Impl::UpdateStatus() {
    // The unit flag first: the frequencies below are shown in its unit.
    if (!pinned[kRegSpeedUnit - 0x20])
        regs[kRegSpeedUnit] = regs[kRegSpeedRange] & 1;
    std::array<uint16_t, 0x3C - 0x20> st{};
    auto at = [&st](uint16_t a) -> uint16_t& { return st[static_cast<size_t>(a - 0x20)]; };
    auto put32 = [&at](uint16_t a, uint32_t v) {
        at(a) = static_cast<uint16_t>(v >> 16);
        at(static_cast<uint16_t>(a + 1)) = static_cast<uint16_t>(v & 0xFFFF);
    };
    double absPwm = std::fabs(pwm);
    at(kRegOutPwm) = static_cast<uint16_t>(static_cast<int16_t>(std::lround(pwm)));
    if (learning)
        at(kRegOutPwm) = 150; // the learning run drives the motor gently
    // Open-loop PWM: 1.50 A at 100 %; otherwise the loops' current.
    const bool scripted = mode == EMode::Pwm || (mode == EMode::Stopping && stopByPwm);
    const double amps = scripted ? absPwm * 0.0015 : std::fabs(loop.Current());
    auto phase = static_cast<uint16_t>(std::min(65535L, std::lround(amps * 100)));
    at(kRegPhaseCurrent) = phase;
    double shownFreq = std::clamp(WholeHz() ? freq / 10 : freq, -32768.0, 32767.0);
    at(kRegOutFreq) = static_cast<uint16_t>(static_cast<int16_t>(std::lround(shownFreq)));
    at(kRegMoveDone) = moveDone ? 1 : 0;
    put32(kRegPosition, static_cast<uint32_t>(static_cast<int64_t>(std::llround(position))));
    uint32_t remainingMs = 0;
    if (mode == EMode::Move && moveFreq > 0) {
        // A long way at a crawl takes longer than the register can say.
        const double ms = std::ceil(std::fabs(static_cast<double>(moveTarget) - position) /
                                    (moveFreq / 10) * 1000);
        remainingMs = static_cast<uint32_t>(std::min(ms, 4294967295.0));
    }
    put32(kRegMoveTime, remainingMs);
    // Inputs: IN1 at mid scale, everything else idle; limit inputs open.
    at(0x0028) = 1650;
    at(0x002C) = 1;
    at(0x002D) = 1;
    at(kRegErrorState) = Learned() ? 0 : 1;
    double hz = std::fabs(freq) / 10;
    double poles = regs[kRegPoles] ? regs[kRegPoles] : 8;
    double gear = regs[kRegGear] ? regs[kRegGear] / 10.0 : 1;
    double rpm = hz * 60 / (3 * poles) / gear; // six commutations per pole pair
    if (regs[kRegSpeedScale] != 0)
        rpm /= 10;
    at(kRegSpeed) = static_cast<uint16_t>(std::min(65534.0, std::round(rpm)));
    at(kRegSpeedScale) = regs[kRegSpeedScale];
    at(kRegSpeedUnit) = regs[kRegSpeedUnit];
    at(kRegTemperature) = static_cast<uint16_t>(253 + std::lround(absPwm / 100));
    at(kRegSupplyVolt) = 240;
    at(kRegSupplyCurrent) = static_cast<uint16_t>(5 + std::lround(phase * absPwm / 1000));
    for (size_t i = 0; i < st.size(); ++i)
        if (!pinned[i])
            regs[0x20 + i] = st[i];
}

uint8_t CVirtualDriver::Impl::CheckWrite(uint16_t start, const std::vector<uint16_t>& values,
                                         bool multiple) const {
    uint32_t end = static_cast<uint32_t>(start) + static_cast<uint32_t>(values.size());
    for (uint32_t a = start; a < end; ++a) {
        const RegRange* r = FindRange(a);
        if (!r || !r->writable)
            return kResultIllegalAddress;
    }
    auto touches = [&](uint32_t a) { return a >= start && a < end; };
    auto runCheck = [&]() -> uint8_t {
        if (learning)
            return kResultNotAllowed;
        if (!Learned())
            return kResultNotLearned;
        return 0;
    };
    if (touches(kRegStopCmd) && After(regs, start, values, kRegStopCmd) > 2)
        return kResultIllegalValue;
    if (touches(kRegPwmCmd)) {
        auto v = static_cast<int16_t>(After(regs, start, values, kRegPwmCmd));
        if (uint8_t ex = runCheck())
            return ex;
        if (v < -1000 || v > 1000)
            return kResultIllegalValue;
    }
    if (touches(kRegFreqCmd))
        if (uint8_t ex = runCheck())
            return ex;
    if (multiple && touches(kRegMoveLast)) {
        if (uint8_t ex = runCheck())
            return ex;
        if (After(regs, start, values, kRegMoveType) > 1 ||
            After(regs, start, values, kRegMoveFreq) == 0)
            return kResultIllegalValue;
    }
    if (touches(kRegTestOp)) {
        uint16_t op = After(regs, start, values, kRegTestOp);
        if (op > 4)
            return kResultIllegalValue;
        if (op >= 2) {
            if (uint8_t ex = runCheck())
                return ex;
            if (testOp != 0 || mode != EMode::Idle)
                return kResultDeviceBusy;
        }
    }
    if (touches(kRegLearnReq)) {
        uint16_t req = After(regs, start, values, kRegLearnReq);
        if (req != 0 && learning)
            return kResultDeviceBusy; // already learning; the tool takes this as accepted
        if (req != 0 &&
            (Running() || (regs[kRegLearnDisabled] & 1) || learnOutcome == ELearnOutcome::Refuse))
            return kResultNotAllowed;
    }
    return 0;
}

uint8_t CVirtualDriver::Impl::Write(uint16_t start, const std::vector<uint16_t>& values,
                                    bool multiple) {
    if (uint8_t ex = CheckWrite(start, values, multiple))
        return ex;
    uint32_t end = static_cast<uint32_t>(start) + static_cast<uint32_t>(values.size());
    auto touches = [&](uint32_t a) { return a >= start && a < end; };
    const bool wasLearning = learning, wasClosedLoop = ClosedLoop();
    bool startBusy = false;
    for (uint32_t a = start; a < end; ++a)
        if (a != kRegClearPos)
            regs[a] = values[a - start];

    if (touches(kRegClearPos) && values[kRegClearPos - start] == 1) {
        pinned[kRegPosition - 0x20] = pinned[kRegPosition + 1 - 0x20] = false;
        if (mode == EMode::Move)
            moveTarget -= std::llround(position);
        position = 0;
    }
    if (touches(kRegStopCmd)) {
        switch (regs[kRegStopCmd]) {
        case 0: // normal: ramp down
            stopByPwm = mode == EMode::Pwm;
            if (mode != EMode::Idle)
                mode = EMode::Stopping;
            break;
        case 1: // emergency: at once
            mode = EMode::Idle;
            pwm = freq = 0;
            break;
        default: // free: output off, the motor coasts
            if (mode != EMode::Idle)
                mode = EMode::Coasting;
            pwm = 0;
            break;
        }
        pwmTarget = freqTarget = 0;
        testOp = 0;
        regs[kRegTestOp] = 0;
    }
    // A run to 0 leaves a motor that is already winding down to its stop.
    bool windingDown = mode == EMode::Stopping || mode == EMode::Coasting;
    if (touches(kRegPwmCmd)) {
        pwmTarget = static_cast<int16_t>(regs[kRegPwmCmd]);
        if (!(pwmTarget == 0 && windingDown)) {
            if (mode != EMode::Pwm)
                pwm = freq / kPwmToFreq;
            mode = pwmTarget == 0 && pwm == 0 ? EMode::Idle : EMode::Pwm;
        }
        moveDone = false;
    }
    if (touches(kRegFreqCmd)) {
        freqTarget = FreqToTenths(static_cast<int16_t>(regs[kRegFreqCmd]));
        if (!(freqTarget == 0 && windingDown))
            mode = freqTarget == 0 && freq == 0 ? EMode::Idle : EMode::Freq;
        moveDone = false;
    }
    if (multiple && touches(kRegMoveLast)) {
        auto target = static_cast<int32_t>(static_cast<uint32_t>(regs[kRegMoveTarget]) << 16 |
                                           regs[kRegMoveTarget + 1]);
        moveFreq = FreqToTenths(regs[kRegMoveFreq]);
        moveTarget = regs[kRegMoveType] == 1 ? std::llround(position) + target : target;
        mode = EMode::Move;
        moveDone = false;
        loop.RestartPosition();
        if (moveTarget == std::llround(position)) {
            mode = EMode::Idle;
            moveDone = true;
        }
    }
    Handover(wasClosedLoop);
    if (touches(kRegTestOp)) {
        uint16_t op = regs[kRegTestOp];
        testOp = op >= 2 ? op : 0;
        testOpElapsedMs = 0;
        measureStart = position;
        if (op < 2)
            regs[kRegTestOp] = 0; // 1 cancels; nothing runs afterwards
    }
    if (touches(kRegLearnReq)) {
        if (regs[kRegLearnReq] != 0 && !wasLearning) {
            learning = true;
            learnElapsedMs = 0;
            regs[kRegLearnReq] = 1;
            regs[kRegLearnState] = kLearnPhase1;
            for (size_t i = 0; i < kLearnedPhases.size(); ++i)
                regs[kRegLearnData + i] = 0;
            startBusy = learnOutcome == ELearnOutcome::BusyStart;
        } else if (regs[kRegLearnReq] == 0 && wasLearning) {
            // Aborted: the state stays at its running value.
            learning = false;
        }
    }
    if (touches(kRegSdoLast) && start <= kRegSdo && multiple)
        RunSdo();
    if (touches(0x0129))
        objects[Key(0x1017, 0)] = regs[0x0129];
    UpdateStatus();
    return startBusy ? kResultDeviceBusy : 0; // carried out all the same
}
