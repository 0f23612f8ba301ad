#include "sim/VirtualDriver.h"

#include "modbus/Crc16.h"
#include "modbus/ResultCode.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>

namespace {

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
    kRegStroke = 0x00A2,
    kRegTestOp = 0x00AA,
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

// A stroke measurement finds about 51200 pulses, a few more or fewer each
// time as a real one does.
constexpr uint32_t kMeasuredStroke = 51200;
constexpr std::array<int, 4> kStrokeJitter = {0, 3, -2, 1};
constexpr double kHomingMs = 1000; // homing takes about a second
constexpr double kPwmToFreq = 20;  // tenths of Hz per 0.1 % PWM without load
constexpr std::array<uint8_t, 6> kLearnedPhases = {0x05, 0x01, 0x03, 0x02, 0x06, 0x04};

// Register ranges that exist; everything else answers exception 2.
struct RegRange {
    uint16_t first, last;
    bool writable;
};
constexpr RegRange kRanges[] = {
    {0x0000, 0x000F, false}, // device information
    {0x0020, 0x003B, false}, // real-time status
    {0x0040, 0x0047, true},  // run, stop and move commands
    {0x0050, 0x0053, true},  // ramps
    {0x0060, 0x007A, true},  // motor parameters
    {0x0080, 0x009D, true},  // system and communication parameters
    {0x00A0, 0x00AA, true},  // reciprocating motion and its command register
    {0x00B0, 0x00B3, true},  // preset speeds
    {0x00BA, 0x00CB, true},  // PID gains
    {0x00E0, 0x00E3, true},  // learning request
    {0x00E4, 0x00EF, false}, // learning results
    {0x0100, 0x010D, true},  // safety
    {0x0120, 0x0129, true},  // CAN / CANopen
    {0x0200, 0x0205, true},  // SDO window
    {0x700A, 0x700A, true},  // position clear
};

const RegRange* FindRange(uint32_t addr) {
    for (const auto& r : kRanges)
        if (addr >= r.first && addr <= r.last)
            return &r;
    return nullptr;
}

// --- object dictionary ---------------------------------------------------

enum EAccess : uint8_t { kRo, kRw, kWo };

struct ObjDef {
    uint16_t index;
    uint8_t sub;
    uint8_t bits;
    EAccess access;
    bool mappable;
};

// Records whose sub-index 0 is the highest sub-index present: a sub-index
// above it does not exist.
bool CountLimited(uint16_t index) {
    return (index >= 0x1400 && index <= 0x1403) || (index >= 0x1800 && index <= 0x1803) ||
           index == 0x1018 || index == 0x2000;
}

bool IsMapping(uint16_t index) {
    return (index >= 0x1600 && index <= 0x1603) || (index >= 0x1A00 && index <= 0x1A03);
}

bool IsPdoComm(uint16_t index) {
    return (index >= 0x1400 && index <= 0x1403) || (index >= 0x1800 && index <= 0x1803);
}

std::vector<ObjDef> BuildDictionary() {
    std::vector<ObjDef> d;
    auto add = [&d](uint16_t i, uint8_t s, uint8_t bits, EAccess a, bool map = false) {
        d.push_back({i, s, bits, a, map});
    };
    add(0x1000, 0, 32, kRo);
    add(0x1001, 0, 8, kRo, true);
    add(0x1005, 0, 32, kRw);
    add(0x1006, 0, 32, kRw);
    add(0x1007, 0, 32, kRw);
    add(0x1010, 0, 8, kRo);
    for (uint8_t s = 1; s <= 3; ++s)
        add(0x1010, s, 32, kRw);
    add(0x1017, 0, 16, kRw);
    add(0x1018, 0, 8, kRo);
    for (uint8_t s = 1; s <= 4; ++s)
        add(0x1018, s, 32, kRo);
    for (uint16_t base : {0x1400, 0x1800}) {
        for (uint16_t n = 0; n < 4; ++n) {
            auto i = static_cast<uint16_t>(base + n);
            add(i, 0, 8, kRo);
            add(i, 1, 32, kRw);
            add(i, 2, 8, kRw);
            add(i, 3, 16, kRw);
            // Sub-index 4 is reserved and therefore absent.
            add(i, 5, 16, kRw);
        }
    }
    for (uint16_t base : {0x1600, 0x1A00}) {
        for (uint16_t n = 0; n < 4; ++n) {
            auto i = static_cast<uint16_t>(base + n);
            add(i, 0, 8, kRw);
            for (uint8_t s = 1; s <= 8; ++s)
                add(i, s, 32, kRw);
        }
    }
    // Manufacturer objects: live values, a user parameter, outputs, a command.
    add(0x2000, 0, 8, kRo);
    add(0x2000, 1, 16, kRo, true); // supply voltage, 0.1 V
    add(0x2000, 2, 16, kRo, true); // internal temperature, 0.1 C
    add(0x2000, 3, 16, kRo, true); // output PWM, 0.1 %
    add(0x2001, 0, 32, kRw, true); // user parameter
    add(0x2002, 0, 8, kRw, true);  // digital outputs
    add(0x2003, 0, 24, kRw);       // user parameter, three bytes
    add(0x2004, 0, 16, kRw, true); // user parameter, two bytes
    add(0x2010, 0, 16, kWo);       // fault reset command
    // Drive profile objects that PDOs usually carry.
    add(0x6040, 0, 16, kRw, true); // control word
    add(0x6041, 0, 16, kRo, true); // status word
    add(0x6064, 0, 32, kRo, true); // position actual value
    add(0x606C, 0, 32, kRo, true); // velocity actual value, Hz
    add(0x607A, 0, 32, kRw, true); // target position
    add(0x60FF, 0, 32, kRw, true); // target velocity
    return d;
}

const std::vector<ObjDef>& Dictionary() {
    static const std::vector<ObjDef> dict = BuildDictionary();
    return dict;
}

constexpr uint32_t Key(uint16_t index, uint8_t sub) {
    return (static_cast<uint32_t>(index) << 8) | sub;
}

uint32_t MaskBits(uint32_t v, int bits) {
    return bits >= 32 ? v : v & ((1u << bits) - 1);
}

// --- device identification -----------------------------------------------

struct IdObject {
    uint8_t id;
    const char* text;
};
constexpr IdObject kIdObjects[] = {
    {0x00, "Halvik Motion"},
    {0x01, "HVK-BLD4810"},
    {0x02, "V1.02"},
    {0x03, "http://www.halvik-motion.example"},
    {0x04, "Halvik BLDC Driver"},
    {0x05, "HVK-BLD4810"},
    {0x06, "halvik-sim"},
    {0x80, "virtual driver, no motor attached"},
};
constexpr size_t kIdObjectsPerReply = 2; // the basic stream takes two replies

uint8_t LastIdOfCategory(uint8_t code) {
    return code == 1 ? 0x02 : code == 2 ? 0x06 : 0xFF;
}

// --- frames --------------------------------------------------------------

uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void PutBe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v & 0xFF));
}

std::vector<uint8_t> Finish(std::vector<uint8_t> out) {
    size_t n = out.size();
    out.resize(n + 2);
    AppendCrc(out.data(), n);
    return out;
}

std::vector<uint8_t> ExceptionReply(uint8_t slave, uint8_t fn, uint8_t code) {
    return Finish({slave, static_cast<uint8_t>(fn | 0x80), code});
}

bool CrcOk(const uint8_t* f, size_t len) {
    if (len < 4)
        return false;
    uint16_t c = Crc16(f, len - 2);
    return f[len - 2] == (c >> 8) && f[len - 1] == (c & 0xFF);
}

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

} // namespace

// ---------------------------------------------------------------------------

struct CVirtualDriver::Impl {
    enum class EMode { Idle, Pwm, Freq, Move, Stopping, Coasting };

    uint8_t slave = 1;
    std::array<uint16_t, 0x10000> regs{};
    std::map<uint32_t, uint32_t> objects; // (index << 8 | sub) -> value
    std::map<uint32_t, ObjDef> extraDefs; // entries added by SetObject
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

    bool Learned() const { return (regs[kRegLearned] & 1) != 0; }
    bool Running() const { return mode != EMode::Idle || testOp != 0; }
    // Frequencies in whole Hz (rather than tenths) while either flag is set.
    bool WholeHz() const { return regs[kRegSpeedScale] != 0 || regs[kRegSpeedUnit] != 0; }
    double FreqToTenths(double raw) const { return WholeHz() ? raw * 10 : raw; }
    double RateTenthsPerS(uint16_t reg) const { return FreqToTenths(regs[reg]); }
    double PwmRate(uint16_t reg) const {
        // Buffer in 0.1 s for the full 100 %; 0 switches at once.
        return regs[reg] == 0 ? 0 : 1000.0 / (regs[reg] * 0.1);
    }

    void Step(double dt);
    void UpdateStatus();

    std::vector<uint8_t> Handle(const uint8_t* f, size_t len);
    std::vector<uint8_t> ReadHolding(const uint8_t* f);
    std::vector<uint8_t> WriteSingle(const uint8_t* f);
    std::vector<uint8_t> WriteMultiple(const uint8_t* f, size_t len);
    std::vector<uint8_t> DeviceId(const uint8_t* f);
    uint8_t Write(uint16_t start, const std::vector<uint16_t>& values, bool multiple);
    uint8_t CheckWrite(uint16_t start, const std::vector<uint16_t>& values, bool multiple) const;

    const ObjDef* FindObj(uint16_t index, uint8_t sub) const;
    bool ObjectExists(uint16_t index) const;
    uint32_t ObjectValue(const ObjDef& def) const;
    void RunSdo();
    std::optional<SSdoFault> TakeSdoFault(uint16_t index, uint8_t sub);
    uint32_t SdoUpload(uint16_t index, uint8_t sub, uint32_t& value, int& bytes) const;
    uint32_t SdoDownload(uint16_t index, uint8_t sub, uint32_t value, int size);
    uint32_t CheckMapping(uint16_t index, uint32_t count) const;
};

void CVirtualDriver::Impl::Defaults() {
    regs.fill(0);
    auto set = [this](uint16_t start, std::initializer_list<uint16_t> v) {
        for (uint16_t x : v)
            regs[start++] = x;
    };
    // Device information: id, version 1.02, model name, PWM 1/1000 at 16 kHz,
    // 10.00 A maximum at 10 mA resolution, speed range x10 available.
    set(0x0000, {0x1501, 0x0102});
    const char model[16] = "HVK-BLD4810";
    for (int i = 0; i < 8; ++i)
        regs[0x0002 + i] = static_cast<uint16_t>((static_cast<uint8_t>(model[2 * i]) << 8) |
                                                 static_cast<uint8_t>(model[2 * i + 1]));
    set(0x000A, {1000, 16000, 1000, 10, 1, 0});
    // Ramps: no PWM buffering, 500.0 Hz/s either way.
    set(kRegPwmRise, {0, 0, 5000, 5000});
    // Motor parameters (0x006D-0x006F: phase data of the learned motor).
    set(0x0060,
        {5,      5,      20000, 5000, 20000, 5000, 30000, 10000, 0, 0, 300, 500, 100, 0x0501,
         0x0302, 0x0604, 0,     10,   1,     8,    10,    1,     0, 0, 50,  200, 30});
    // System A: inputs; 0x008C-0x008D pulse ratio 1.0f.
    set(0x0080, {0, 0, 0, 0, 0, 2, 0, 5000, 0, 10000, 1500, 100, 0x3F80, 0x0000, 30, 0});
    // Communication A: 9600 baud, no parity + 1 stop bit, 0.5 s braking.
    set(0x0090, {0x0000, 0x2580, 3, 0, 0, 5});
    // System B: analog adjustment y = 1.0 x + 0.
    set(0x0096, {0x3F80, 0x0000, 0, 0, 0, 0});
    set(kRegSlaveAddr, {slave, 1});
    // Reciprocating motion: stroke 10000 pulses, homing 200.0 / 20.0 Hz.
    set(0x00A0, {0, 1, 0x0000, 0x2710, 2000, 200, 1000, 5, 0, 0, 0});
    set(0x00B0, {2, 0, 5000, 5000});
    // PID gains as floats, high word first: self-locking, speed, position.
    set(0x00BA, {0x3F80, 0, 0x3DCC, 0xCCCD, 0, 0, 0x3F00, 0, 0x3D4C, 0xCCCD, 0, 0, 0x4000, 0, 0, 0,
                 0x3DCC, 0xCCCD});
    regs[kRegLearnCount] = 6;
    // Safety: 85 / 75 C, 60.0 / 18.0 V, 15.00 A, 100 ms Hall delay, k = 1.0.
    set(0x0100, {85, 75, 600, 180, 1500, 100, 1, 0, 1, 0, 10000, 0, 10000, 0});
    // CANopen: 485/CAN mode, node 1, 250 kbps, heartbeat 1000 ms.
    set(0x0120, {0, 1, 4, 0, 0, 0, 0, 0, 0, 1000});

    pinned.fill(false);
    mode = EMode::Idle;
    stopByPwm = false;
    pwm = pwmTarget = freq = freqTarget = position = moveFreq = 0;
    moveTarget = 0;
    moveDone = false;
    learning = false;
    learnElapsedMs = 0;
    testOp = 0;
    testOpElapsedMs = 0;
    measureCount = 0;
    saveCount = 0;
    DefaultObjects();
    UpdateStatus();
}

void CVirtualDriver::Impl::DefaultObjects() {
    objects.clear();
    extraDefs.clear();
    uint32_t node = regs[kRegNodeId] & 0x7F;
    auto set = [this](uint16_t i, uint8_t s, uint32_t v) { objects[Key(i, s)] = v; };
    set(0x1000, 0, 0x00020192); // servo drive profile
    set(0x1005, 0, 0x00000080);
    set(0x1006, 0, 0);
    set(0x1007, 0, 0);
    set(0x1010, 0, 3);
    set(0x1017, 0, regs[0x0129]);
    set(0x1018, 0, 4);
    set(0x1018, 1, 0x000004A7);
    set(0x1018, 2, 0x00004810);
    set(0x1018, 3, 0x00010002);
    set(0x1018, 4, 0x00000001);
    for (uint16_t n = 0; n < 4; ++n) {
        // PDO 1 is valid, PDOs 2 to 4 start invalid (bit 31).
        uint32_t invalid = n == 0 ? 0 : 0x80000000u;
        auto rx = static_cast<uint16_t>(0x1400 + n), tx = static_cast<uint16_t>(0x1800 + n);
        set(rx, 0, 2);
        set(rx, 1, invalid | (0x200u + 0x100u * n + node));
        set(rx, 2, 255);
        set(rx, 3, 0);
        set(rx, 5, 0);
        set(tx, 0, 5);
        set(tx, 1, invalid | (0x180u + 0x100u * n + node));
        set(tx, 2, 255);
        set(tx, 3, 0);
        set(tx, 5, 0);
        for (uint8_t s = 0; s <= 8; ++s) {
            set(static_cast<uint16_t>(0x1600 + n), s, 0);
            set(static_cast<uint16_t>(0x1A00 + n), s, 0);
        }
    }
    // RPDO1 carries the control word; TPDO1 the status word and the position.
    set(0x1600, 1, 0x60400010);
    set(0x1600, 0, 1);
    set(0x1A00, 1, 0x60410010);
    set(0x1A00, 2, 0x60640020);
    set(0x1A00, 0, 2);
    set(0x2000, 0, 3);
    set(0x2001, 0, 0);
    set(0x2002, 0, 0);
    set(0x2003, 0, 0);
    set(0x2004, 0, 0);
    set(0x2010, 0, 0);
    set(0x6040, 0, 0);
    set(0x607A, 0, 0);
    set(0x60FF, 0, 0);
}

// --- simulation ----------------------------------------------------------

void CVirtualDriver::Impl::Step(double dt) {
    if (dt <= 0)
        return;
    double travelled = 0; // integral of freq (tenths of Hz) over dt
    switch (mode) {
    case EMode::Idle:
        break;
    case EMode::Pwm: {
        double rate =
            std::fabs(pwmTarget) >= std::fabs(pwm) ? PwmRate(kRegPwmRise) : PwmRate(kRegPwmFall);
        travelled = Ramp(pwm, pwmTarget, rate, dt) * kPwmToFreq;
        freq = pwm * kPwmToFreq;
        if (pwmTarget == 0 && pwm == 0)
            mode = EMode::Idle;
        break;
    }
    case EMode::Freq: {
        bool speedingUp = std::fabs(freqTarget) > std::fabs(freq) && freqTarget * freq >= 0;
        double rate = RateTenthsPerS(speedingUp ? kRegAccel : kRegDecel);
        travelled = Ramp(freq, freqTarget, rate, dt);
        pwm = std::clamp(freq / kPwmToFreq, -1000.0, 1000.0);
        if (freqTarget == 0 && freq == 0)
            mode = EMode::Idle;
        break;
    }
    case EMode::Move: {
        double dir = moveTarget >= position ? 1 : -1;
        double dist = std::fabs(static_cast<double>(moveTarget) - position);
        double step = moveFreq / 10 * dt;
        if (step >= dist) {
            position = static_cast<double>(moveTarget);
            mode = EMode::Idle;
            moveDone = true;
            freq = pwm = 0;
        } else {
            position += dir * step;
            freq = dir * moveFreq;
            pwm = std::clamp(freq / kPwmToFreq, -1000.0, 1000.0);
        }
        break;
    }
    case EMode::Stopping: {
        if (stopByPwm) {
            // Stopping out of PWM mode follows the PWM fall buffer.
            travelled = Ramp(pwm, 0, PwmRate(kRegPwmFall), dt) * kPwmToFreq;
            freq = pwm * kPwmToFreq;
        } else {
            travelled = Ramp(freq, 0, RateTenthsPerS(kRegDecel), dt);
            pwm = std::clamp(freq / kPwmToFreq, -1000.0, 1000.0);
        }
        if (freq == 0)
            mode = EMode::Idle;
        break;
    }
    case EMode::Coasting: {
        // No drive: the motor runs down at half the deceleration.
        double rate = RateTenthsPerS(kRegDecel) / 2;
        travelled = Ramp(freq, 0, rate, dt);
        pwm = 0;
        if (freq == 0)
            mode = EMode::Idle;
        break;
    }
    }
    if (mode != EMode::Move)
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
    auto phase = static_cast<uint16_t>(std::lround(absPwm * 0.15)); // 1.50 A at 100 %
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

// --- Modbus functions ----------------------------------------------------

std::vector<uint8_t> CVirtualDriver::Impl::Handle(const uint8_t* f, size_t len) {
    uint8_t fn = f[1];
    switch (fn) {
    case 0x03:
        if (len != 8)
            return {};
        return ReadHolding(f);
    case 0x06:
        if (len != 8)
            return {};
        return WriteSingle(f);
    case 0x10:
        return WriteMultiple(f, len);
    case 0x2B:
        if (len != 7)
            return {};
        return DeviceId(f);
    default:
        return ExceptionReply(slave, fn, kResultIllegalFunction);
    }
}

std::vector<uint8_t> CVirtualDriver::Impl::ReadHolding(const uint8_t* f) {
    uint16_t start = Be16(f + 2), count = Be16(f + 4);
    if (count == 0 || count > 125)
        return ExceptionReply(slave, 0x03, kResultIllegalValue);
    for (uint32_t a = start; a < static_cast<uint32_t>(start) + count; ++a)
        if (!FindRange(a))
            return ExceptionReply(slave, 0x03, kResultIllegalAddress);
    std::vector<uint8_t> out = {slave, 0x03, static_cast<uint8_t>(count * 2)};
    for (uint32_t a = start; a < static_cast<uint32_t>(start) + count; ++a)
        PutBe16(out, a == kRegClearPos ? 0 : regs[a]);
    return Finish(std::move(out));
}

std::vector<uint8_t> CVirtualDriver::Impl::WriteSingle(const uint8_t* f) {
    uint16_t addr = Be16(f + 2), value = Be16(f + 4);
    if (uint8_t ex = Write(addr, {value}, false))
        return ExceptionReply(slave, 0x06, ex);
    return Finish(std::vector<uint8_t>(f, f + 6));
}

std::vector<uint8_t> CVirtualDriver::Impl::WriteMultiple(const uint8_t* f, size_t len) {
    if (len < 9)
        return {};
    uint16_t start = Be16(f + 2), count = Be16(f + 4);
    uint8_t bytes = f[6];
    if (count == 0 || count > 123 || bytes != count * 2 || len != 9u + bytes)
        return ExceptionReply(slave, 0x10, kResultIllegalValue);
    std::vector<uint16_t> values;
    for (uint16_t i = 0; i < count; ++i)
        values.push_back(Be16(f + 7 + 2 * i));
    if (start <= kRegSdo && start + count > kRegSdoLast) {
        // A request for the SDO window: an injected fault may hit it.
        const uint16_t* w = values.data() + (kRegSdo - start);
        SSdoExchange x{static_cast<uint8_t>(w[0] & 0xFF), w[1], static_cast<uint8_t>(w[2] & 0xFF),
                       static_cast<uint32_t>(w[4]) << 16 | w[5]};
        if (std::optional<SSdoFault> fault = TakeSdoFault(x.index, x.sub)) {
            switch (fault->kind) {
            case SSdoFault::EKind::Exception:
                x.refused = true;
                sdoLog.push_back(x);
                return ExceptionReply(slave, 0x10,
                                      static_cast<uint8_t>(fault->code ? fault->code : 4));
            case SSdoFault::EKind::Silent:
                x.refused = true;
                sdoLog.push_back(x);
                return {};
            case SSdoFault::EKind::Abort:
                pendingAbort = fault->code ? fault->code : 0x08000000;
                break;
            }
        }
    }
    uint8_t ex = Write(start, values, true);
    pendingAbort = 0;
    if (ex)
        return ExceptionReply(slave, 0x10, ex);
    return Finish(std::vector<uint8_t>(f, f + 6));
}

// The value a register takes after the write, or its current value.
static uint16_t After(const std::array<uint16_t, 0x10000>& regs, uint16_t start,
                      const std::vector<uint16_t>& values, uint32_t addr) {
    if (addr >= start && addr < start + values.size())
        return values[addr - start];
    return regs[addr];
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
    bool wasLearning = learning;
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
        if (moveTarget == std::llround(position)) {
            mode = EMode::Idle;
            moveDone = true;
        }
    }
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

std::vector<uint8_t> CVirtualDriver::Impl::DeviceId(const uint8_t* f) {
    if (f[2] != 0x0E)
        return ExceptionReply(slave, 0x2B, kResultIllegalFunction);
    uint8_t code = f[3], objectId = f[4];
    auto find = [](uint8_t id) -> const IdObject* {
        for (const auto& o : kIdObjects)
            if (o.id == id)
                return &o;
        return nullptr;
    };
    if (code < 1 || code > 4)
        return ExceptionReply(slave, 0x2B, kResultIllegalValue);
    std::vector<const IdObject*> objs;
    uint8_t more = 0, next = 0;
    if (code == 4) {
        const IdObject* o = find(objectId);
        if (!o)
            return ExceptionReply(slave, 0x2B, kResultIllegalAddress);
        objs.push_back(o);
    } else {
        uint8_t last = LastIdOfCategory(code);
        // An id outside the category starts the stream from the beginning.
        if (objectId > last || !find(objectId))
            objectId = 0;
        std::vector<const IdObject*> rest;
        for (const auto& o : kIdObjects)
            if (o.id >= objectId && o.id <= last)
                rest.push_back(&o);
        size_t n = std::min(rest.size(), kIdObjectsPerReply);
        objs.assign(rest.begin(), rest.begin() + static_cast<long>(n));
        if (n < rest.size()) {
            more = 0xFF;
            next = rest[n]->id;
        }
        if (deviceIdEndless) {
            more = 0xFF;
            next = objectId;
        }
    }
    std::vector<uint8_t> out = {slave, 0x2B, 0x0E, code,
                                0x83,  more, next, static_cast<uint8_t>(objs.size())};
    for (const IdObject* o : objs) {
        size_t l = std::strlen(o->text);
        out.push_back(o->id);
        out.push_back(static_cast<uint8_t>(l));
        out.insert(out.end(), o->text, o->text + l);
    }
    return Finish(std::move(out));
}

// --- SDO window ----------------------------------------------------------

const ObjDef* CVirtualDriver::Impl::FindObj(uint16_t index, uint8_t sub) const {
    for (const auto& d : Dictionary())
        if (d.index == index && d.sub == sub)
            return &d;
    auto it = extraDefs.find(Key(index, sub));
    return it == extraDefs.end() ? nullptr : &it->second;
}

bool CVirtualDriver::Impl::ObjectExists(uint16_t index) const {
    for (const auto& d : Dictionary())
        if (d.index == index)
            return true;
    for (const auto& [k, d] : extraDefs)
        if (d.index == index)
            return true;
    return false;
}

uint32_t CVirtualDriver::Impl::ObjectValue(const ObjDef& def) const {
    auto joined = [this](uint16_t a) { return static_cast<uint32_t>(regs[a]) << 16 | regs[a + 1]; };
    switch (Key(def.index, def.sub)) {
    case Key(0x1001, 0):
        return regs[kRegErrorState] != 0 ? 0x01 : 0x00;
    case Key(0x2000, 1):
        return regs[kRegSupplyVolt];
    case Key(0x2000, 2):
        return regs[kRegTemperature];
    case Key(0x2000, 3):
        return regs[kRegOutPwm];
    case Key(0x6041, 0):
        // Operation enabled while the motor runs, ready to switch on otherwise.
        return mode != EMode::Idle ? 0x0237 : 0x0231;
    case Key(0x6064, 0):
        return joined(kRegPosition);
    case Key(0x606C, 0):
        return static_cast<uint32_t>(static_cast<int32_t>(std::lround(freq / 10)));
    default: {
        auto it = objects.find(Key(def.index, def.sub));
        return it == objects.end() ? 0 : it->second;
    }
    }
}

uint32_t CVirtualDriver::Impl::SdoUpload(uint16_t index, uint8_t sub, uint32_t& value,
                                         int& bytes) const {
    if (!ObjectExists(index))
        return 0x06020000;
    const ObjDef* def = FindObj(index, sub);
    if (!def || (sub > 0 && CountLimited(index) && sub > ObjectValue(*FindObj(index, 0))))
        return 0x06090011;
    if (def->access == kWo)
        return 0x06010001;
    value = MaskBits(ObjectValue(*def), def->bits);
    if (index == 0x1010 && sub > 0)
        value = 1; // parameters are saved on command
    bytes = def->bits / 8;
    return 0;
}

uint32_t CVirtualDriver::Impl::CheckMapping(uint16_t index, uint32_t count) const {
    if (count > 8)
        return 0x06090031;
    uint32_t total = 0;
    for (uint8_t s = 1; s <= count; ++s) {
        auto it = objects.find(Key(index, s));
        uint32_t e = it == objects.end() ? 0 : it->second;
        auto mIndex = static_cast<uint16_t>(e >> 16);
        auto mSub = static_cast<uint8_t>((e >> 8) & 0xFF);
        auto mBits = static_cast<uint8_t>(e & 0xFF);
        const ObjDef* d = FindObj(mIndex, mSub);
        if (!d || !d->mappable || d->bits != mBits)
            return 0x06040041;
        total += mBits;
    }
    if (total > 64)
        return 0x06040042;
    return 0;
}

uint32_t CVirtualDriver::Impl::SdoDownload(uint16_t index, uint8_t sub, uint32_t value, int size) {
    if (!ObjectExists(index))
        return 0x06020000;
    const ObjDef* def = FindObj(index, sub);
    if (!def || (sub > 0 && CountLimited(index) && sub > ObjectValue(*FindObj(index, 0))))
        return 0x06090011;
    if (def->access == kRo)
        return 0x06010002;
    if (size != 0 && size * 8 != def->bits)
        return 0x06070010;
    value = MaskBits(value, def->bits);
    if (index == 0x1010) {
        if (value != 0x65766173) // "save", s in the lowest byte
            return 0x08000020;
        ++saveCount;
        return 0;
    }
    if (IsMapping(index)) {
        uint32_t enabled = objects[Key(index, 0)];
        // A mapping entry changes only while the mapping is disabled
        // (sub-index 0 = 0). Refused as "not in the present device state",
        // the abort that names the reason: the entry itself is writable.
        if (sub > 0 && enabled != 0)
            return 0x08000022;
        if (sub == 0 && value != 0)
            if (uint32_t ab = CheckMapping(index, value))
                return ab;
    }
    if (IsPdoComm(index) && sub == 2 && value >= 241 && value <= 251)
        return 0x06090030; // reserved transmission types
    objects[Key(index, sub)] = value;
    if (index == 0x1017 && sub == 0)
        regs[0x0129] = static_cast<uint16_t>(value);
    return 0;
}

void CVirtualDriver::Impl::RunSdo() {
    auto cmd = static_cast<uint8_t>(regs[kRegSdo] & 0xFF);
    uint16_t index = regs[kRegSdo + 1];
    auto sub = static_cast<uint8_t>(regs[kRegSdo + 2] & 0xFF);
    uint32_t data = static_cast<uint32_t>(regs[kRegSdo + 4]) << 16 | regs[kRegSdo + 5];
    uint8_t answer = 0x80;
    uint32_t answerData = 0;
    uint8_t ccs = cmd >> 5;
    if (pendingAbort != 0) {
        answerData = pendingAbort; // injected: the object is not touched
    } else if (ccs == 2) {         // initiate upload
        uint32_t value = 0;
        int bytes = 4;
        uint32_t ab = SdoUpload(index, sub, value, bytes);
        if (ab) {
            answerData = ab;
        } else {
            answer = static_cast<uint8_t>(0x43 | ((4 - bytes) << 2));
            answerData = value;
        }
    } else if (ccs == 1 && (cmd & 0x02)) { // expedited initiate download
        int size = (cmd & 0x01) ? 4 - ((cmd >> 2) & 0x03) : 0;
        uint32_t ab = SdoDownload(index, sub, data, size);
        if (ab) {
            answerData = ab;
        } else {
            answer = 0x60;
        }
    } else {
        // Segmented and block transfers do not fit the window.
        answerData = 0x05040001;
    }
    regs[kRegSdo] = answer;
    regs[kRegSdo + 1] = index;
    regs[kRegSdo + 2] = sub;
    regs[kRegSdo + 3] = 0;
    regs[kRegSdo + 4] = static_cast<uint16_t>(answerData >> 16);
    regs[kRegSdo + 5] = static_cast<uint16_t>(answerData & 0xFFFF);
    sdoLog.push_back({cmd, index, sub, data, answer, answerData, false});
}

std::optional<SSdoFault> CVirtualDriver::Impl::TakeSdoFault(uint16_t index, uint8_t sub) {
    for (auto it = sdoFaults.begin(); it != sdoFaults.end(); ++it) {
        if (it->index != index || (it->sub >= 0 && it->sub != sub))
            continue;
        if (it->skip > 0) {
            --it->skip;
            continue;
        }
        SSdoFault hit = *it;
        if (it->count > 0 && --it->count == 0)
            sdoFaults.erase(it);
        return hit;
    }
    return std::nullopt;
}

bool ParseSdoFault(const std::string& text, SSdoFault& fault) {
    auto number = [](const std::string& t, unsigned long max, unsigned long& out) {
        if (t.empty() || t[0] == '-' || t[0] == '+')
            return false;
        char* end = nullptr;
        errno = 0;
        unsigned long v = std::strtoul(t.c_str(), &end, 0);
        if (*end || errno || v > max)
            return false;
        out = v;
        return true;
    };
    SSdoFault f;
    unsigned long v = 0;
    std::string where = text, how;
    if (size_t at = where.find('@'); at != std::string::npos) {
        if (!number(where.substr(at + 1), 1000000, v))
            return false;
        f.skip = static_cast<int>(v);
        where.resize(at);
    }
    if (size_t eq = where.find('='); eq != std::string::npos) {
        how = where.substr(eq + 1);
        where.resize(eq);
    }
    std::string index = where;
    if (size_t colon = where.find(':'); colon != std::string::npos) {
        index = where.substr(0, colon);
        if (!number(where.substr(colon + 1), 255, v))
            return false;
        f.sub = static_cast<int>(v);
    }
    if (!number(index, 0xFFFF, v))
        return false;
    f.index = static_cast<uint16_t>(v);
    std::string kind = how, code;
    if (size_t colon = how.find(':'); colon != std::string::npos) {
        kind = how.substr(0, colon);
        code = how.substr(colon + 1);
    }
    if (kind.empty() || kind == "abort") {
        f.kind = SSdoFault::EKind::Abort;
        if (!code.empty() && (!number(code, 0xFFFFFFFF, v) || v == 0))
            return false;
    } else if (kind == "exception") {
        f.kind = SSdoFault::EKind::Exception;
        if (!code.empty() && (!number(code, 255, v) || v == 0))
            return false;
    } else if (kind == "silent" && code.empty()) {
        f.kind = SSdoFault::EKind::Silent;
    } else {
        return false;
    }
    f.code = code.empty() ? 0 : static_cast<uint32_t>(v);
    fault = f;
    return true;
}

// --- public face ---------------------------------------------------------

CVirtualDriver::CVirtualDriver(uint8_t slave) : m_p(std::make_unique<Impl>()) {
    m_p->slave = slave;
    m_p->Defaults();
}

CVirtualDriver::~CVirtualDriver() = default;

std::vector<uint8_t> CVirtualDriver::HandleFrame(const uint8_t* frame, size_t len) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!frame || len < 4 || !CrcOk(frame, len))
        return {};
    bool broadcast = frame[0] == 0;
    if (!broadcast && frame[0] != m_p->slave)
        return {};
    m_p->log.emplace_back(frame, frame + len);
    if (broadcast) {
        // Writes take effect; nobody answers a broadcast.
        if (frame[1] == 0x06 || frame[1] == 0x10)
            m_p->Handle(frame, len);
        return {};
    }
    return m_p->Handle(frame, len);
}

std::vector<uint8_t> CVirtualDriver::RefuseFrame(const uint8_t* frame, size_t len, uint8_t code) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!frame || len < 4 || !CrcOk(frame, len) || frame[0] != m_p->slave)
        return {};
    m_p->log.emplace_back(frame, frame + len);
    return ExceptionReply(m_p->slave, frame[1], code);
}

void CVirtualDriver::Advance(Clock::time_point now) {
    std::lock_guard<std::mutex> g(m_lock);
    double dt = 0;
    if (m_p->advanced && now > m_p->lastAdvance)
        dt = std::chrono::duration<double>(now - m_p->lastAdvance).count();
    if (!m_p->advanced || now > m_p->lastAdvance)
        m_p->lastAdvance = now;
    m_p->advanced = true;
    m_p->Step(dt);
    m_p->UpdateStatus();
}

uint8_t CVirtualDriver::Slave() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->slave;
}

void CVirtualDriver::SetSlave(uint8_t slave) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->slave = slave;
    m_p->regs[kRegSlaveAddr] = slave;
}

uint16_t CVirtualDriver::GetRegister(uint16_t addr) const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->regs[addr];
}

void CVirtualDriver::SetRegister(uint16_t addr, uint16_t value) {
    SetRegisters(addr, {value});
}

std::vector<uint16_t> CVirtualDriver::GetRegisters(uint16_t start, uint16_t count) const {
    std::lock_guard<std::mutex> g(m_lock);
    std::vector<uint16_t> out;
    for (uint32_t a = start; a < static_cast<uint32_t>(start) + count && a <= 0xFFFF; ++a)
        out.push_back(m_p->regs[a]);
    return out;
}

void CVirtualDriver::SetRegisters(uint16_t start, const std::vector<uint16_t>& values) {
    std::lock_guard<std::mutex> g(m_lock);
    for (size_t i = 0; i < values.size() && start + i <= 0xFFFF; ++i) {
        size_t a = start + i;
        m_p->regs[a] = values[i];
        // A status register set by hand stays as set (the speed-scale flag
        // 0x0035 is a setting, not a measurement, and keeps working).
        if (a >= 0x20 && a < 0x3C && a != kRegSpeedScale)
            m_p->pinned[a - 0x20] = true;
    }
    m_p->UpdateStatus();
}

bool CVirtualDriver::GetObject(uint16_t index, uint8_t sub, uint32_t& value) const {
    std::lock_guard<std::mutex> g(m_lock);
    const ObjDef* d = m_p->FindObj(index, sub);
    if (!d)
        return false;
    value = m_p->ObjectValue(*d);
    return true;
}

void CVirtualDriver::SetObject(uint16_t index, uint8_t sub, uint32_t value) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_p->FindObj(index, sub))
        m_p->extraDefs[Key(index, sub)] = ObjDef{index, sub, 32, kRw, false};
    m_p->objects[Key(index, sub)] = value;
}

int CVirtualDriver::SaveCount() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->saveCount;
}

void CVirtualDriver::SetLearnDuration(std::chrono::milliseconds d) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->learnDuration = d;
}

void CVirtualDriver::SetMeasureDuration(std::chrono::milliseconds d) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->measureDuration = d;
}

void CVirtualDriver::SetLearnOutcome(bool success) {
    SetLearnOutcome(success ? ELearnOutcome::Success : ELearnOutcome::Failure);
}

void CVirtualDriver::SetLearnOutcome(ELearnOutcome outcome) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->learnOutcome = outcome;
}

bool CVirtualDriver::Learning() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->learning;
}

void CVirtualDriver::SetDeviceIdEndless(bool endless) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->deviceIdEndless = endless;
}

void CVirtualDriver::AddSdoFault(const SSdoFault& fault) {
    std::lock_guard<std::mutex> g(m_lock);
    if (fault.count != 0)
        m_p->sdoFaults.push_back(fault);
}

void CVirtualDriver::ClearSdoFaults() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->sdoFaults.clear();
}

std::vector<SSdoExchange> CVirtualDriver::SdoLog() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->sdoLog;
}

void CVirtualDriver::ClearSdoLog() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->sdoLog.clear();
}

std::vector<std::vector<uint8_t>> CVirtualDriver::RequestLog() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->log;
}

void CVirtualDriver::ClearRequestLog() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->log.clear();
}

void CVirtualDriver::Reset() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->Defaults();
}

void CVirtualDriver::LineSetting(uint32_t& baud, char& parity) const {
    std::lock_guard<std::mutex> g(m_lock);
    const auto& r = m_p->regs;
    baud = static_cast<uint32_t>(r[kRegCommBaudHigh]) << 16 | r[kRegCommBaudHigh + 1];
    const uint16_t choice = r[kRegCommBaudHigh + 2];
    parity = choice == 1 ? 'o' : choice == 2 ? 'e' : 'n';
}
