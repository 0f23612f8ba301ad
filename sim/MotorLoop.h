#pragma once
// The virtual driver's motor as a machine on a shaft, and the drive's speed
// and position loops around it, stepped every millisecond. Only sim/ includes
// this.
//
// The shaft: J dw/dt = KT i - B w - load, the load against the motion (at
// rest it holds until the motor's torque exceeds it). The current follows
// its reference through the current loop (2 ms) one tick after the loops
// computed it. The speed the loops see is measured from the Hall edges and
// smoothed (16 ms); these lags are what make a high speed Kp overshoot and
// ring. The motor has 8 poles: 24 commutations, and pulses, per revolution.
//
// The loops are the driver's PID blocks, counted as a controller sampled
// every 20 ms would count them (Ki adds Ki x error per 20 ms, Kd acts on the
// change of the error over 20 ms), so that the gains' sizes stay those a
// person types. Speed loop: error in Hz, output 0.05 A per unit. Position
// loop: error in pulses, output a speed reference of 2 Hz per unit, at most
// the move's frequency. Each integral acts only near the target (within
// 20 Hz, 20 pulses), as drives do to keep a large step from winding it up.
// The speed reference moves at most at the ramp block's acceleration and
// deceleration; the current is limited to the motor's maximum load current.

#include "sim/VirtualDriver.h"

struct SPidGains {
    double kp = 0, ki = 0, kd = 0;
};

class CMotorLoop {
public:
    static constexpr double kTick = 0.001; // s

    enum class EDrive { Off, Speed, Position };
    struct SCommand {
        EDrive drive = EDrive::Off;
        double speedTarget = 0;    // Hz (Speed)
        double positionTarget = 0; // pulses (Position)
        double speedLimit = 0;     // Hz, the move's frequency (Position)
        SPidGains speed, position;
        double currentLimit = 0;     // A
        double accel = 0, decel = 0; // Hz/s of the speed reference; 0: no limit
    };

    void SetConstants(const SMotorConstants& k) { m_k = k; }
    const SMotorConstants& Constants() const { return m_k; }

    // One tick: the loops (when driven), the current, the shaft. speedHz and
    // position are the machine's state, kept by the caller.
    void Tick(const SCommand& c, double& speedHz, double& position);
    // Takes over a motor turning at speedHz without a jump: the speed
    // reference starts there and the loops start afresh.
    void Engage(double speedHz);
    // A new move: the position loop starts afresh.
    void RestartPosition() { m_positionPid = {}; }
    // Output off at once (free stop, emergency stop, open-loop PWM): no
    // current, the loops cleared.
    void Release();
    double Current() const { return m_current; }
    double Reference() const { return m_reference; }

private:
    struct SPidState {
        double integral = 0, lastError = 0;
        bool primed = false;
    };
    // One controller step; scale turns the PID's sum into the output unit.
    static double Pid(SPidState& s, const SPidGains& g, double error, double band, double scale,
                      double limit);
    void RampReference(double target, double accel, double decel);

    SMotorConstants m_k;
    double m_current = 0;   // A, in the windings
    double m_commanded = 0; // A, the reference computed a tick ago
    double m_measured = 0;  // Hz, the smoothed speed the loops see
    double m_reference = 0; // Hz, the ramped speed reference
    SPidState m_speedPid, m_positionPid;
};
