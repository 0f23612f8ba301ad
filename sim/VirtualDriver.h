#pragma once
// The virtual Halvik driver: holding registers, the SDO window over a small
// CANopen object dictionary, device identification and motor learning, as a
// Modbus RTU slave that answers whole request frames. No I/O here; the server
// feeds it frames. Thread-safe: the server thread answers while tests read and
// change registers.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

class CVirtualDriver {
public:
    using Clock = std::chrono::steady_clock;

    explicit CVirtualDriver(uint8_t slave = 1);

    // Answers one complete request frame (CRC included). Returns the reply
    // frame with CRC, or nothing when the request is not for this slave or is
    // not a valid frame.
    std::vector<uint8_t> HandleFrame(const uint8_t* frame, size_t len);
    // Moves the simulated machine (status block, learning) to now. The server
    // calls it before every request; tests may call it with their own times.
    void Advance(Clock::time_point now);

    uint8_t Slave() const;
    void SetSlave(uint8_t slave);

    uint16_t GetRegister(uint16_t addr) const;
    void SetRegister(uint16_t addr, uint16_t value);
    std::vector<uint16_t> GetRegisters(uint16_t start, uint16_t count) const;
    void SetRegisters(uint16_t start, const std::vector<uint16_t>& values);

    // Object dictionary access as the driver's CANopen side sees it.
    bool GetObject(uint16_t index, uint8_t sub, uint32_t& value) const;
    void SetObject(uint16_t index, uint8_t sub, uint32_t value);
    // Number of times 0x1010 sub 1..3 received the "save" signature.
    int SaveCount() const;

    // How long a motor-learning run takes (default 3 s) and how it ends.
    void SetLearnDuration(std::chrono::milliseconds d);
    void SetLearnOutcome(bool success);

    // Every request frame this slave answered or refused, oldest first.
    std::vector<std::vector<uint8_t>> RequestLog() const;
    void ClearRequestLog();

    // Restores every register and object to its default.
    void Reset();

private:
    struct Impl;
    mutable std::mutex m_lock;
    // Implementation state lives in the .cpp to keep this header light.
    std::map<uint16_t, uint16_t> m_regs;
    std::map<uint32_t, uint32_t> m_objects; // (index << 8 | sub) -> value
    std::vector<std::vector<uint8_t>> m_log;
    uint8_t m_nSlave;
    int m_nSaveCount = 0;
    std::chrono::milliseconds m_learnDuration{3000};
    bool m_bLearnSucceeds = true;
    Clock::time_point m_learnStart{};
    bool m_bLearning = false;
    Clock::time_point m_lastAdvance{};
    bool m_bAdvanced = false;
    double m_position = 0; // pulses, fractional between polls
    double m_freq = 0;     // current commutation frequency, tenths of Hz
    uint32_t m_moveStartMs = 0;
};
