// The register map of the virtual driver: which addresses exist and may be
// written, and the value every register starts with.

#include "sim/VirtualDriverImpl.h"

#include <initializer_list>

using namespace vdrv;

namespace {

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

} // namespace

const RegRange* vdrv::FindRange(uint32_t addr) {
    for (const auto& r : kRanges)
        if (addr >= r.first && addr <= r.last)
            return &r;
    return nullptr;
}

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
    loop.Release();
    learning = false;
    learnElapsedMs = 0;
    testOp = 0;
    testOpElapsedMs = 0;
    measureCount = 0;
    saveCount = 0;
    DefaultObjects();
    UpdateStatus();
}
