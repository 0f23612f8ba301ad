// The step-response run against the virtual driver on a paced 115200 Bd
// line: what it samples must tell the same story as the motor's own
// trajectory, and whatever ends a run, the motor is stopped.

#include "driver/StepRun.h"
#include "driver/Catalogue.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using namespace std::chrono_literals;

class StepRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.Ok());
        // The driver's line at 115200 Bd, no parity; the ramps at their
        // steepest, so that the loop and not the ramp shapes the step.
        Drv().SetRegisters(FieldAddr("comm-a.rs485_baud"), {0x0001, 0xC200, 0});
        Drv().SetRegisters(FieldAddr("ramp.acceleration"), {65535, 65535});
        ASSERT_TRUE(m_drv.OpenPortPath(m_sim.Device(), "115200,n,8,2"));
        m_drv.SetTimeout(200);
    }
    CVirtualDriver& Drv() { return m_sim.Driver(); }
    void Gains(const char* kp, float p, float i, float d) {
        std::vector<uint16_t> regs;
        for (float f : {p, i, d}) {
            uint32_t u;
            std::memcpy(&u, &f, sizeof u);
            regs.insert(regs.end(), {static_cast<uint16_t>(u >> 16), static_cast<uint16_t>(u)});
        }
        Drv().SetRegisters(FieldAddr(kp), regs);
    }
    // An emergency stop by default, so that the next run starts from rest.
    SStepResult Run(EStepLoop loop, double to, std::chrono::milliseconds ms,
                    const SStepHooks& hooks = {}, uint16_t stopMode = kStopEmergency,
                    bool fromRunning = false) {
        SStepRequest req;
        req.loop = loop;
        req.target = to;
        req.duration = ms;
        req.relative = loop == EStepLoop::Position;
        req.stopMode = stopMode;
        req.fromRunning = fromRunning;
        return RunStepResponse(m_drv, 1, req, hooks);
    }
    static bool HeldUp(const SStepResult& r) {
        std::vector<double> gaps;
        for (size_t i = 0; i < r.samples.size(); ++i) // the first from the step command
            gaps.push_back(r.samples[i].t - (i ? r.samples[i - 1].t : 0));
        if (gaps.empty())
            return false;
        std::vector<double> sorted = gaps;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        return *std::max_element(gaps.begin(), gaps.end()) > 3 * sorted[sorted.size() / 2];
    }
    // Requests after the first count in the log that wrote anything.
    size_t Writes(size_t from = 0) {
        size_t n = 0;
        const auto log = Drv().RequestLog();
        for (size_t i = from; i < log.size(); ++i)
            n += log[i][1] == 0x06 || log[i][1] == 0x10;
        return n;
    }

    CSimHarness m_sim{1, -1, true};
    CMotorDriver m_drv;
};

// Rise, overshoot and settling from the sampled run within 5 % (or one
// sample's time) of those of the motor's own 1 kHz trajectory (overshoot within half a point where
// there is hardly any), for an over-damped, a critically damped and an
// under-damped speed loop and an under-damped position loop.
TEST_F(StepRunTest, SampledFiguresMatchTheMotorsOwnTrajectory) {
    const struct {
        EStepLoop loop;
        float kp;
        double to;
        double overshootAtLeast, overshootBelow;
    } runs[] = {
        {EStepLoop::Speed, 0.15f, 200, 0, 0.5},   // over-damped
        {EStepLoop::Speed, 0.35f, 200, 0, 2},     // critically damped
        {EStepLoop::Speed, 1.5f, 200, 20, 60},    // under-damped
        {EStepLoop::Position, 6.0f, 200, 20, 60}, // under-damped
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(testing::Message()
                     << (r.loop == EStepLoop::Speed ? "speed" : "position") << " Kp " << r.kp);
        Gains(r.loop == EStepLoop::Speed ? "pid.speed_kp" : "pid.position_kp", r.kp, 0, 0);
        const auto ms = r.loop == EStepLoop::Speed ? 800ms : 1500ms;
        // A run the machine held up (a gap of three samples' time: not the
        // line's doing) is taken again, twice at most.
        SStepResult got;
        for (int attempt = 0; attempt < 3; ++attempt) {
            Drv().StartTrace();
            got = Run(r.loop, r.to, ms);
            if (!HeldUp(got))
                break;
        }
        ASSERT_EQ(got.end, EStepEnd::Completed) << got.problem << " " << got.rc;
        ASSERT_TRUE(got.figures.valid) << got.figures.problem;
        EXPECT_GT(got.figures.sampleRate, 150);

        std::vector<SStepSample> own;
        for (const SMotorTracePoint& p : Drv().Trace()) {
            const double t = std::chrono::duration<double>(p.t - got.commandAt).count();
            if (t >= 0 && t < got.samples.back().t)
                own.push_back({t, r.loop == EStepLoop::Speed ? p.frequency : p.position,
                               std::fabs(p.current)});
        }
        const SStepFigures want = StepFigures(own, got.start, got.target);
        ASSERT_TRUE(want.valid) << want.problem;
        // Within 5 %, or one sample's time where that is more: a sampled
        // run cannot place a crossing closer than its samples (a loaded or
        // instrumented build samples less often).
        const double sample = 1.0 / got.figures.sampleRate;
        EXPECT_NEAR(got.figures.riseTime, want.riseTime, std::max(0.05 * want.riseTime, sample));
        EXPECT_NEAR(got.figures.overshoot, want.overshoot, std::max(0.05 * want.overshoot, 0.5));
        EXPECT_NEAR(got.figures.settling2, want.settling2, std::max(0.05 * want.settling2, sample));
        EXPECT_NEAR(got.figures.settling5, want.settling5, std::max(0.05 * want.settling5, sample));
        EXPECT_GE(want.overshoot, r.overshootAtLeast);
        EXPECT_LT(want.overshoot, r.overshootBelow);
        EXPECT_NEAR(got.figures.peakCurrent, want.peakCurrent, 0.05 * want.peakCurrent);
    }
}

// A read that is not answered mid-run, or the stop flag: the run ends there
// and the stop goes out with the mode asked for.
TEST_F(StepRunTest, WhateverEndsARunTheMotorIsStopped) {
    for (const bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent" : "stop flag");
        int calls = 0;
        SStepHooks hooks;
        hooks.stopRequested = [&] {
            if (++calls == 30 && silent)
                m_sim.Server().InjectFault(EFault::Silent);
            return calls == 30 && !silent;
        };
        const SStepResult got = Run(EStepLoop::Speed, 200, 5s, hooks, kStopFree);
        EXPECT_EQ(got.end, silent ? EStepEnd::SampleFailed : EStepEnd::Stopped);
        EXPECT_EQ(got.rc, silent ? kResultTimeout : kResultOk);
        EXPECT_EQ(got.samples.size(), 29u);
        ASSERT_TRUE(got.stopWritten);
        EXPECT_EQ(got.stopRc, kResultOk);
        const auto last = Drv().RequestLog().back();
        EXPECT_EQ(std::vector<uint8_t>(last.begin(), last.end() - 2),
                  (std::vector<uint8_t>{1, 0x06, 0x00, 0x40, 0x00, kStopFree}));
        // Coasting down, the motor comes to rest.
        ASSERT_TRUE(WaitFor(
            [&] {
                Drv().Advance(CVirtualDriver::Clock::now());
                return Drv().GetRegister(FieldAddr("status.commutation_frequency")) == 0;
            },
            10000));
    }
}

// Nothing is written for a target beyond the driver's limits, a driver in
// an error state or a running motor, unless the run is to start from there.
TEST_F(StepRunTest, LimitsAndARunningMotorAreRefusedUnlessAsked) {
    const size_t before = Drv().RequestLog().size();
    const struct {
        EStepLoop loop;
        double to;
        const char* problem;
    } refused[] = {
        {EStepLoop::Speed, 3000.1, "超出电机的最大换向频率"},
        {EStepLoop::Speed, -3001, "超出电机的最大换向频率"},
        {EStepLoop::Position, 2147483648.0, "超出32位位置寄存器的范围"},
        {EStepLoop::Speed, 0, "电机已在 0 Hz"},
    };
    for (const auto& r : refused) {
        const SStepResult got = Run(r.loop, r.to, 300ms);
        EXPECT_EQ(got.end, EStepEnd::Refused) << r.to;
        EXPECT_NE(got.problem.find(r.problem), std::string::npos) << got.problem;
    }
    Drv().SetRegister(FieldAddr("status.error_state"), 4);
    EXPECT_EQ(Run(EStepLoop::Speed, 100, 300ms).problem, "驱动器报告错误状态 4");
    Drv().Reset();
    Drv().SetRegisters(FieldAddr("comm-a.rs485_baud"), {0x0001, 0xC200, 0});
    EXPECT_EQ(Writes(before), 0u);

    ASSERT_EQ(m_drv.WriteRunCommand(1, 500, 1), kResultOk); // 50.0 Hz
    ASSERT_TRUE(WaitFor([&] {
        std::vector<uint16_t> f(1);
        return m_drv.ReadBlock(1, FieldAddr("status.commutation_frequency"), 1, f.data()) ==
                   kResultOk &&
               f[0] >= 480 && f[0] <= 520;
    }));
    const size_t running = Drv().RequestLog().size();
    SStepResult got = Run(EStepLoop::Speed, 100, 300ms);
    EXPECT_EQ(got.problem.rfind("电机正在运行 (", 0), 0u) << got.problem;
    EXPECT_EQ(Writes(running), 0u);

    got = Run(EStepLoop::Speed, 100, 300ms, {}, kStopNormal, true);
    EXPECT_EQ(got.end, EStepEnd::Completed);
    EXPECT_NEAR(got.start, 50, 2);
    EXPECT_NEAR(got.samples.front().value, got.start, 1);
    EXPECT_GT(got.samples.back().value, 90);
}

} // namespace
