// The figures against responses whose figures are known in closed form,
// sampled as coarsely as a 9600 Bd line allows.

#include "driver/StepResponse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

std::vector<SStepSample> Sampled(const std::function<double(double)>& y, double rate,
                                 double seconds) {
    std::vector<SStepSample> s;
    for (double t = 0; t <= seconds; t += 1 / rate)
        s.push_back({t, y(t), t < 0.05 ? 3.0 : 1.0});
    return s;
}

// A first-order lag of 100 ms from 200 to 1000 Hz: no overshoot; rise
// tau*ln 9, delay tau*ln 2, settling tau*ln 50 and tau*ln 20.
TEST(StepFigures, FirstOrderLag) {
    const double tau = 0.1;
    for (double rate : {40.0, 300.0}) {
        SCOPED_TRACE(rate);
        const auto f = StepFigures(
            Sampled([&](double t) { return 200 + 800 * (1 - std::exp(-t / tau)); }, rate, 1.5), 200,
            1000);
        ASSERT_TRUE(f.valid) << f.problem;
        const double tol = 1.2 / rate; // a sample's worth, at most
        EXPECT_NEAR(f.riseTime, tau * std::log(9.0), tol);
        EXPECT_NEAR(f.delayTime, tau * std::log(2.0), tol);
        EXPECT_NEAR(f.settling2, tau * std::log(50.0), tol);
        EXPECT_NEAR(f.settling5, tau * std::log(20.0), tol);
        EXPECT_NEAR(f.overshoot, 0, 0.1);
        EXPECT_NEAR(f.steadyError, 0, 1);
        EXPECT_DOUBLE_EQ(f.peakCurrent, 3.0);
        EXPECT_NEAR(f.sampleRate, rate, rate * 0.01);
    }
}

// An under-damped second-order loop stepping down: overshoot
// exp(-zeta*pi/sqrt(1-zeta^2)) and peak time pi/omega_d, whatever the
// step's direction; a final value short of the target is the steady error.
TEST(StepFigures, UnderDampedStepDown) {
    const double zeta = 0.3, wn = 30, wd = wn * std::sqrt(1 - zeta * zeta);
    const double phi = std::acos(zeta);
    auto unit = [&](double t) {
        return 1 - std::exp(-zeta * wn * t) / std::sqrt(1 - zeta * zeta) * std::sin(wd * t + phi);
    };
    // From 0 toward -2000 pulses, ending at -1990.
    const auto f =
        StepFigures(Sampled([&](double t) { return -1990 * unit(t); }, 300, 2), 0, -2000);
    ASSERT_TRUE(f.valid) << f.problem;
    EXPECT_NEAR(f.overshoot, 100 * std::exp(-zeta * M_PI / std::sqrt(1 - zeta * zeta)), 1.0);
    EXPECT_NEAR(f.peakTime, M_PI / wd, 1.0 / 300);
    EXPECT_NEAR(f.steadyError, -10, 0.5);
    EXPECT_GT(f.settling2, f.settling5);
}

TEST(StepFigures, NothingToJudge) {
    EXPECT_FALSE(StepFigures({}, 0, 100).valid);
    EXPECT_FALSE(StepFigures(Sampled([](double) { return 5.0; }, 100, 1), 5, 5).valid);
    EXPECT_FALSE(StepFigures(Sampled([](double) { return 0.0; }, 100, 1), 0, 100).valid);
}

} // namespace
