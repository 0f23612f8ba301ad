// The motor on its shaft and the drive's loops around it (see MotorLoop.h).

#include "sim/MotorLoop.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

constexpr double kHzPerRadS = 24 / (2 * std::numbers::pi); // 8 poles: 24 commutations a turn
constexpr double kCurrentLag = 0.002;                      // s, the current loop
constexpr double kSpeedLag = 0.016;                        // s, smoothing of the Hall-edge speed
constexpr double kGainPeriod = 0.02;                       // s, the period Ki and Kd count in
constexpr double kSpeedScale = 0.05;                       // A per unit of the speed PID
constexpr double kPositionScale = 2;                       // Hz per unit of the position PID
constexpr double kSpeedBand = 20;                          // Hz: the speed integral acts within
constexpr double kPositionBand = 20; // pulses: the position integral acts within

double Finite(double v) {
    return std::isfinite(v) ? v : 0;
}

} // namespace

bool ParseMotorConstants(const std::string& text, SMotorConstants& out) {
    double v[4];
    const char* p = text.c_str();
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        errno = 0;
        v[i] = std::strtod(p, &end);
        if (end == p || errno || !std::isfinite(v[i]) || v[i] < 0 || *end != (i < 3 ? ',' : '\0'))
            return false;
        p = end + 1;
    }
    if (v[0] <= 0 || v[1] <= 0) // no inertia or no torque: no motor
        return false;
    out = {v[0], v[1], v[2], v[3]};
    return true;
}

double CMotorLoop::Pid(SPidState& s, const SPidGains& g, double error, double band, double scale,
                       double limit) {
    const double kp = Finite(g.kp), ki = Finite(g.ki), kd = Finite(g.kd);
    const double change = s.primed ? error - s.lastError : 0;
    s.lastError = error;
    s.primed = true;
    const double derivative = kd * change * (kGainPeriod / kTick);
    const auto output = [&](double integral) {
        return scale * (kp * error + integral + derivative);
    };
    if (std::fabs(error) < band) {
        const double next = s.integral + ki * error * (kTick / kGainPeriod);
        const double u = output(next);
        // Wound no further into the limit than the output can follow.
        if (std::isfinite(u) && (std::fabs(u) <= limit || (u > 0) != (error > 0)))
            s.integral = next;
    }
    const double u = output(s.integral);
    return std::isnan(u) ? 0 : std::clamp(u, -limit, limit);
}

void CMotorLoop::RampReference(double target, double accel, double decel) {
    const bool speedingUp = std::fabs(target) > std::fabs(m_reference) && target * m_reference >= 0;
    const double rate = speedingUp ? accel : decel;
    if (rate <= 0 || std::fabs(target - m_reference) <= rate * kTick)
        m_reference = target;
    else
        m_reference += (target > m_reference ? rate : -rate) * kTick;
}

void CMotorLoop::Engage(double speedHz) {
    m_reference = m_measured = speedHz;
    m_speedPid = m_positionPid = {};
}

void CMotorLoop::Release() {
    m_current = m_commanded = 0;
    m_speedPid = m_positionPid = {};
}

void CMotorLoop::Tick(const SCommand& c, double& speedHz, double& position) {
    if (c.drive == EDrive::Off) {
        m_current = m_commanded = 0;
        m_reference = 0;
    } else {
        double target = c.speedTarget;
        if (c.drive == EDrive::Position)
            target = Pid(m_positionPid, c.position, c.positionTarget - position, kPositionBand,
                         kPositionScale, c.speedLimit);
        RampReference(target, c.accel, c.decel);
        const double wanted = Pid(m_speedPid, c.speed, m_reference - m_measured, kSpeedBand,
                                  kSpeedScale, c.currentLimit);
        // This tick's current follows what was computed a tick ago.
        m_current = m_commanded + (m_current - m_commanded) * std::exp(-kTick / kCurrentLag);
        m_commanded = wanted;
    }

    const double w = speedHz / kHzPerRadS;
    const double torque = m_k.torqueConstant * m_current;
    double next = w;
    if (w != 0 || std::fabs(torque) > m_k.load) {
        const double dir = w != 0 ? (w > 0 ? 1 : -1) : (torque > 0 ? 1 : -1);
        next = w + (torque - m_k.friction * w - m_k.load * dir) / m_k.inertia * kTick;
        if (w != 0 && (next > 0) != (w > 0))
            next = 0; // friction brings it to rest; it does not turn it back
    }
    const double nextHz = next * kHzPerRadS;
    position += (speedHz + nextHz) / 2 * kTick;
    speedHz = nextHz;
    m_measured = nextHz + (m_measured - nextHz) * std::exp(-kTick / kSpeedLag);
}
