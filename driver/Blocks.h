#pragma once
// Register blocks of the driver as records: one host-order 16-bit slot per
// register in address order. A 32-bit field spans two slots, the lower
// address holding the high word (as on the wire); Get32/Set32 join and split
// it, GetFloat/SetFloat do the same for IEEE-754 single precision.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

template <uint16_t Start, int Count> struct TRegisterBlock {
    static constexpr uint16_t kStart = Start;
    static constexpr int kCount = Count;
    std::array<uint16_t, Count> m_reg{};

    static constexpr bool Holds(uint16_t addr) { return addr >= Start && addr < Start + Count; }
    uint16_t& At(uint16_t addr) { return m_reg[static_cast<size_t>(addr - Start)]; }
    uint16_t At(uint16_t addr) const { return m_reg[static_cast<size_t>(addr - Start)]; }
    int16_t Signed(uint16_t addr) const { return static_cast<int16_t>(At(addr)); }
    uint32_t Get32(uint16_t addr) const {
        return (static_cast<uint32_t>(At(addr)) << 16) | At(static_cast<uint16_t>(addr + 1));
    }
    void Set32(uint16_t addr, uint32_t v) {
        At(addr) = static_cast<uint16_t>(v >> 16);
        At(static_cast<uint16_t>(addr + 1)) = static_cast<uint16_t>(v & 0xFFFF);
    }
    float GetFloat(uint16_t addr) const {
        uint32_t u = Get32(addr);
        float f;
        std::memcpy(&f, &u, sizeof f);
        return f;
    }
    void SetFloat(uint16_t addr, float f) {
        uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        Set32(addr, u);
    }
    bool operator==(const TRegisterBlock&) const = default;
};

using DeviceInfoBlock = TRegisterBlock<0x0000, 16>;
using RealtimeStatusBlock = TRegisterBlock<0x0020, 28>;
using RampBlock = TRegisterBlock<0x0050, 4>;
using MotorParamBlock = TRegisterBlock<0x0060, 27>;
using SystemBlockA = TRegisterBlock<0x0080, 16>;
using CommBlockA = TRegisterBlock<0x0090, 6>;
using SystemBlockB = TRegisterBlock<0x0096, 6>;
using CommBlockB = TRegisterBlock<0x009C, 2>;
using ReciprocateBlock = TRegisterBlock<0x00A0, 10>;
using PresetSpeedBlock = TRegisterBlock<0x00B0, 4>;
using PidBlock = TRegisterBlock<0x00BA, 18>;
// Reads 5 + n registers, n taken from the 0x00E4 slot (at most 16 in all);
// writes only 0x00E0..0x00E3.
using LearnBlock = TRegisterBlock<0x00E0, 16>;
using SafetyBlock = TRegisterBlock<0x0100, 14>;
using CanOpenBlock = TRegisterBlock<0x0120, 10>;

// The 32-bit pairs of each block (first register of each pair).
constexpr uint16_t kSystemAPair = 0x008C;
constexpr uint16_t kSystemBPair = 0x0096;
constexpr uint16_t kReciprocatePair = 0x00A2;

// Single registers outside the blocks.
enum : uint16_t {
    kRegStop = 0x0040,
    kRegRunPwm = 0x0042,
    kRegRunFreq = 0x0043,
    kRegRunPosition = 0x0044, // also the first of the four position-move registers
    kRegSpeedRange = 0x0077,
    kRegReciprocateCmd = 0x00AA,
    kRegSdoWindow = 0x0200,
    kRegClearPosition = 0x700A,
};

// Stop modes of kRegStop, as the motor control page offers them.
enum : uint16_t { kStopNormal = 0, kStopEmergency = 1, kStopFree = 2 };

// The device model name of registers 0x0002..0x0009: the first character in
// the high byte of 0x0002, at most 15 characters, cut at the first NUL.
std::string DeviceModelText(const DeviceInfoBlock& b);
