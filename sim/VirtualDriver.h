#pragma once
// The virtual Halvik driver: holding registers, the SDO window over a small
// CANopen object dictionary, device identification and motor learning, as a
// Modbus RTU slave that answers whole request frames. No I/O here; the server
// feeds it frames. Thread-safe: the server thread answers while tests read and
// change registers.
//
// Time only moves when Advance is called (the server does it before every
// request), so tests drive the motor, the learning run and the test
// operations with their own clock.
//
// What a client can rely on:
// - Every block of the register map exists with plausible defaults; the
//   device information and real-time status (0x0020-0x003B) and the learned
//   phases (0x00E4-0x00EF) are read-only. Unmapped or read-only addresses
//   answer exception 2, a count of 0 or above 125 (read) / 123 (write) or a
//   byte count that does not match answers 3, an unknown function 1.
// - Run commands (0x0042 PWM, 0x0043 frequency, a function-16 write reaching
//   0x0047 for a move, 0x00AA = 2..4) answer 96 while 0x0075 bit 0 is clear
//   and 64 while learning runs; a learning start answers 64 while the motor
//   runs or learning is disabled (0x0076), 6 while learning already runs.
//   Frequencies count tenths of Hz, or whole Hz while 0x0035 or 0x0036 is set
//   (0x0036 follows bit 0 of 0x0077), ramps and moves included.
// - A frequency run and a move are closed loops on a modelled motor
//   (MotorLoop.h) with the PID block's speed and position gains, the ramp
//   block's acceleration and deceleration and the maximum load current
//   (0x006B); the phase current (0x0021) is the model's. PWM runs, homing,
//   the stroke measurement and learning are scripted as before.
// - A function-16 write covering the whole SDO window (0x0200-0x0205) runs
//   the request at once and leaves the answer there.
// - A status register set by SetRegister keeps that value until Reset.
// - SDO exchanges can be made to fail for a chosen object and sub-index
//   (AddSdoFault), and every exchange the window ran is kept (SdoLog).

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// How a motor-learning run ends: learned; failed (state 4); ended abnormally
// (the request 0x00E1 drops to 0 while the state still says running); the
// start refused with 64; the start answered "device busy" (6) although the
// run starts and then succeeds.
enum class ELearnOutcome { Success, Failure, Abort, Refuse, BusyStart };

// One SDO request as the window received it, and what it answered.
struct SSdoExchange {
    uint8_t command = 0;
    uint16_t index = 0;
    uint8_t sub = 0;
    uint32_t data = 0;
    uint8_t answer = 0;      // answer command byte; 0 when refused
    uint32_t answerData = 0; // value, or abort code after 0x80
    bool refused = false;    // not run: answered by a Modbus exception or not at all
    bool operator==(const SSdoExchange&) const = default;
};

// Makes the SDO exchanges for one object misbehave.
struct SSdoFault {
    enum class EKind {
        Abort,     // the SDO is answered 0x80 with code (default 0x08000000)
        Exception, // the window write is refused with exception code (default 4)
        Silent,    // the window write is not answered
    };
    uint16_t index = 0;
    int sub = -1; // -1: every sub-index
    EKind kind = EKind::Abort;
    uint32_t code = 0; // 0: the kind's default
    int count = -1;    // exchanges it hits; -1 until cleared
    int skip = 0;      // matching exchanges let through before the first hit
};

// The motor behind the driver: a rotor with its coupled load. The defaults
// are a 48 V motor of about 100 W driving a small flywheel.
struct SMotorConstants {
    double inertia = 4e-4;       // J, kg m2
    double torqueConstant = 0.1; // KT, N m/A
    double friction = 1e-4;      // B, viscous, N m s/rad
    double load = 0.01;          // N m, constant, against the motion
};
// "J,KT,B,LOAD" in those units (4e-4,0.1,1e-4,0.01); J and KT above 0.
bool ParseMotorConstants(const std::string& text, SMotorConstants& out);

// One tick of the motor's loops (1 kHz): its own trajectory.
struct SMotorTracePoint {
    std::chrono::steady_clock::time_point t;
    double frequency = 0; // commutation frequency, Hz, signed
    double position = 0;  // pulses
    double current = 0;   // phase current, A, signed
};

// Parses "INDEX[:SUB][=abort[:CODE]|=exception[:N]|=silent][@SKIP]", numbers
// in C notation ("0x1801:1=abort:0x06090011", "0x1A00:0@1" for the second
// exchange with 0x1A00 sub-index 0); abort is the default kind.
bool ParseSdoFault(const std::string& text, SSdoFault& fault);

class CVirtualDriver {
public:
    using Clock = std::chrono::steady_clock;

    explicit CVirtualDriver(uint8_t slave = 1);
    ~CVirtualDriver();
    CVirtualDriver(const CVirtualDriver&) = delete;
    CVirtualDriver& operator=(const CVirtualDriver&) = delete;

    // Answers one complete request frame (CRC included). Returns the reply
    // frame with CRC, or nothing when the request is not for this slave or is
    // not a valid frame. Broadcasts (address 0) are carried out, not answered.
    std::vector<uint8_t> HandleFrame(const uint8_t* frame, size_t len);
    // Logs a valid request for this slave and answers it with the exception
    // code without carrying it out (how the server injects exceptions).
    std::vector<uint8_t> RefuseFrame(const uint8_t* frame, size_t len, uint8_t code);
    // Moves the simulated machine (status block, learning) to now. The server
    // calls it before every request; tests may call it with their own times.
    void Advance(Clock::time_point now);

    uint8_t Slave() const;
    void SetSlave(uint8_t slave);
    // The RS-485 line the driver listens on, from its communication block:
    // the baud rate and the parity ('n', 'o' or 'e').
    void LineSetting(uint32_t& baud, char& parity) const;

    uint16_t GetRegister(uint16_t addr) const;
    void SetRegister(uint16_t addr, uint16_t value);
    std::vector<uint16_t> GetRegisters(uint16_t start, uint16_t count) const;
    void SetRegisters(uint16_t start, const std::vector<uint16_t>& values);

    // Object dictionary access as the driver's CANopen side sees it: no access
    // rules. SetObject on an entry the dictionary lacks adds it as a plain
    // 32-bit read-write entry.
    bool GetObject(uint16_t index, uint8_t sub, uint32_t& value) const;
    void SetObject(uint16_t index, uint8_t sub, uint32_t value);
    // Number of times 0x1010 sub 1..3 received the "save" signature.
    int SaveCount() const;

    // How long a motor-learning run takes (default 3 s) and how it ends.
    void SetLearnDuration(std::chrono::milliseconds d);
    void SetLearnOutcome(bool success);
    void SetLearnOutcome(ELearnOutcome outcome);
    bool Learning() const;

    // How long a stroke measurement (0x00AA = 4) runs (default 4 s); homing
    // takes about a second.
    void SetMeasureDuration(std::chrono::milliseconds d);

    // The motor's constants (default SMotorConstants()); Reset keeps them.
    void SetMotor(const SMotorConstants& k);
    SMotorConstants Motor() const;
    // Records every tick of the motor's loops from now on (the points so far
    // are dropped), up to ten minutes of them.
    void StartTrace();
    std::vector<SMotorTracePoint> Trace() const;

    // When set, every streamed device-identification reply says "more
    // follows" with the requested object id as the next one, forever.
    void SetDeviceIdEndless(bool endless);

    // Faults for later SDO exchanges; the first that matches an exchange wins.
    void AddSdoFault(const SSdoFault& fault);
    void ClearSdoFaults();
    // The SDO exchanges the window received, oldest first.
    std::vector<SSdoExchange> SdoLog() const;
    void ClearSdoLog();

    // Every request frame this slave answered or refused, oldest first.
    std::vector<std::vector<uint8_t>> RequestLog() const;
    void ClearRequestLog();

    // Restores every register and object to its default.
    void Reset();

private:
    struct Impl;
    mutable std::mutex m_lock;
    std::unique_ptr<Impl> m_p; // every piece of state, guarded by m_lock
};
