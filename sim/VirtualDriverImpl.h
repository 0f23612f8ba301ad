#pragma once
// What the virtual driver's source files share, and nothing outside sim/
// includes: the register addresses, the register map, the shape of an object
// dictionary entry and the state behind CVirtualDriver.
//
// RegisterMap.cpp   the map of addresses and every default value
// MotorModel.cpp    register writes as commands, and the motor, learning and
//                   test operations moving with the clock
// MotorLoop.cpp     the motor's shaft and the speed and position loops
// ObjectDictionary.cpp  the CANopen objects behind the SDO window
// SlaveFrames.cpp   requests in, replies out: function codes, exceptions,
//                   device identification
// VirtualDriver.cpp the locked public face

#include "sim/MotorLoop.h"
#include "sim/VirtualDriver.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace vdrv {

enum : uint16_t {
    kRegOutPwm = 0x0020,
    kRegPhaseCurrent = 0x0021,
    kRegOutFreq = 0x0022,
    kRegMoveDone = 0x0023,
    kRegPosition = 0x0024,
    kRegMoveTime = 0x0026,
    kRegErrorState = 0x0033,
    kRegSpeed = 0x0034,
    kRegSpeedScale = 0x0035,
    kRegSpeedUnit = 0x0036,
    kRegTemperature = 0x0037,
    kRegSupplyVolt = 0x0038,
    kRegSupplyCurrent = 0x003A,
    kRegStopCmd = 0x0040,
    kRegPwmCmd = 0x0042,
    kRegFreqCmd = 0x0043,
    kRegMoveFreq = 0x0044,
    kRegMoveType = 0x0045,
    kRegMoveTarget = 0x0046,
    kRegMoveLast = 0x0047,
    kRegPwmRise = 0x0050,
    kRegPwmFall = 0x0051,
    kRegAccel = 0x0052,
    kRegDecel = 0x0053,
    kRegPhaseData = 0x006D,
    kRegPoles = 0x0073,
    kRegGear = 0x0074,
    kRegLearned = 0x0075,
    kRegLearnDisabled = 0x0076,
    kRegSpeedRange = 0x0077,
    kRegCommBaudHigh = 0x0090, // then the low word, then the parity choice
    kRegSlaveAddr = 0x009C,
    kRegMaxLoadCurrent = 0x006B,
    kRegStroke = 0x00A2,
    kRegTestOp = 0x00AA,
    kRegSpeedKp = 0x00C0, // then Ki, Kd: IEEE floats, high word first
    kRegPositionKp = 0x00C6,
    kRegLearnReq = 0x00E1,
    kRegLearnState = 0x00E2,
    kRegLearnCount = 0x00E4,
    kRegLearnData = 0x00E5,
    kRegNodeId = 0x0121,
    kRegSdo = 0x0200,
    kRegSdoLast = 0x0205,
    kRegClearPos = 0x700A,
};

// Learning states of 0x00E2.
enum : uint16_t { kLearnPhase1 = 1, kLearnPhase2 = 2, kLearnOk = 3, kLearnFailed = 4 };

// Register ranges that exist; everything else answers exception 2.
struct RegRange {
    uint16_t first, last;
    bool writable;
};
const RegRange* FindRange(uint32_t addr);

enum EAccess : uint8_t { kRo, kRw, kWo };

struct ObjDef {
    uint16_t index;
    uint8_t sub;
    uint8_t bits;
    EAccess access;
    bool mappable;
};

constexpr uint32_t Key(uint16_t index, uint8_t sub) {
    return (static_cast<uint32_t>(index) << 8) | sub;
}

// Frames with their CRC.
std::vector<uint8_t> ExceptionReply(uint8_t slave, uint8_t fn, uint8_t code);
bool CrcOk(const uint8_t* f, size_t len);

} // namespace vdrv

struct CVirtualDriver::Impl {
    enum class EMode { Idle, Pwm, Freq, Move, Stopping, Coasting };

    uint8_t slave = 1;
    std::array<uint16_t, 0x10000> regs{};
    std::map<uint32_t, uint32_t> objects;       // (index << 8 | sub) -> value
    std::map<uint32_t, vdrv::ObjDef> extraDefs; // entries added by SetObject
    std::vector<std::vector<uint8_t>> log;
    std::vector<SSdoFault> sdoFaults;
    std::vector<SSdoExchange> sdoLog;
    uint32_t pendingAbort = 0; // abort code the next RunSdo answers with
    int saveCount = 0;
    bool deviceIdEndless = false;

    // Motor.
    EMode mode = EMode::Idle;
    double pwm = 0, pwmTarget = 0;   // 0.1 %
    double freq = 0, freqTarget = 0; // tenths of Hz, signed
    double position = 0;             // pulses
    double moveFreq = 0;             // tenths of Hz, positive
    int64_t moveTarget = 0;
    bool moveDone = false;
    bool stopByPwm = false;
    CMotorLoop loop;
    Clock::time_point nextTick{}; // the loops' next tick
    bool tracing = false;
    std::vector<SMotorTracePoint> trace;

    // Status registers a test has set by hand keep their value.
    std::array<bool, 0x3C - 0x20> pinned{};

    // Motor learning.
    std::chrono::milliseconds learnDuration{3000};
    ELearnOutcome learnOutcome = ELearnOutcome::Success;
    bool learning = false;
    double learnElapsedMs = 0;

    // Homing / stroke measurement started through 0x00AA. A measurement
    // runs out to the far limit and back, long enough to be watched.
    uint16_t testOp = 0;
    double testOpElapsedMs = 0;
    std::chrono::milliseconds measureDuration{4000};
    double measureStart = 0; // position when the measurement started
    size_t measureCount = 0;

    Clock::time_point lastAdvance{};
    bool advanced = false;

    void Defaults();
    void DefaultObjects();

    bool Learned() const { return (regs[vdrv::kRegLearned] & 1) != 0; }
    bool Running() const { return mode != EMode::Idle || testOp != 0; }
    // Frequencies in whole Hz (rather than tenths) while either flag is set.
    bool WholeHz() const {
        return regs[vdrv::kRegSpeedScale] != 0 || regs[vdrv::kRegSpeedUnit] != 0;
    }
    double FreqToTenths(double raw) const { return WholeHz() ? raw * 10 : raw; }
    double RateTenthsPerS(uint16_t reg) const { return FreqToTenths(regs[reg]); }
    double PwmRate(uint16_t reg) const {
        // Buffer in 0.1 s for the full 100 %; 0 switches at once.
        return regs[reg] == 0 ? 0 : 1000.0 / (regs[reg] * 0.1);
    }

    // Frequency runs, moves and normal stops out of them run the loops;
    // PWM runs and stops out of them are scripted.
    bool ClosedLoop() const {
        return mode == EMode::Freq || mode == EMode::Move ||
               (mode == EMode::Stopping && !stopByPwm);
    }
    // Hands the motor to the loops or takes it from them after a command.
    void Handover(bool wasClosedLoop);
    double FloatAt(uint16_t addr) const;
    CMotorLoop::SCommand LoopCommand() const;
    // The loops' ticks up to now, or the scripted motion over dt.
    void Step(Clock::time_point now, double dt);
    void Tick(Clock::time_point at);
    void UpdateStatus();

    std::vector<uint8_t> Handle(const uint8_t* f, size_t len);
    std::vector<uint8_t> ReadHolding(const uint8_t* f);
    std::vector<uint8_t> WriteSingle(const uint8_t* f);
    std::vector<uint8_t> WriteMultiple(const uint8_t* f, size_t len);
    std::vector<uint8_t> DeviceId(const uint8_t* f);
    uint8_t Write(uint16_t start, const std::vector<uint16_t>& values, bool multiple);
    uint8_t CheckWrite(uint16_t start, const std::vector<uint16_t>& values, bool multiple) const;

    const vdrv::ObjDef* FindObj(uint16_t index, uint8_t sub) const;
    bool ObjectExists(uint16_t index) const;
    uint32_t ObjectValue(const vdrv::ObjDef& def) const;
    void RunSdo();
    std::optional<SSdoFault> TakeSdoFault(uint16_t index, uint8_t sub);
    uint32_t SdoUpload(uint16_t index, uint8_t sub, uint32_t& value, int& bytes) const;
    uint32_t SdoDownload(uint16_t index, uint8_t sub, uint32_t value, int size);
    uint32_t CheckMapping(uint16_t index, uint32_t count) const;
};
