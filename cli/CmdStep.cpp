// step: a step response of the speed or position loop. The motor moves, so
// it asks first (or takes --yes); Ctrl-C stops the motor and ends.

#include "cli/CliSession.h"

#include "driver/Format.h"
#include "driver/StepRun.h"

namespace {

const char* EndName(EStepEnd end) {
    switch (end) {
    case EStepEnd::Completed:
        return "completed";
    case EStepEnd::StartFailed:
        return "start-failed";
    case EStepEnd::SampleFailed:
        return "sample-failed";
    case EStepEnd::DriverError:
        return "driver-error";
    case EStepEnd::Stopped:
        return "interrupted";
    default:
        return "refused";
    }
}

// A time figure in ms, or "not reached".
std::string Ms(double s) {
    return s < 0 ? "not reached" : StrFormat("%.1f ms", s * 1000);
}

Json MsJson(double s) {
    return s < 0 ? Json() : JsonNumber(StrFormat("%.2f", s * 1000));
}

Json Number(double v, const char* format = "%.10g") {
    return JsonNumber(StrFormat(format, v));
}

Json GainsJson(const SStepGains& g) {
    return {{"kp", JsonNumber(FormatFloat(static_cast<float>(g.kp)))},
            {"ki", JsonNumber(FormatFloat(static_cast<float>(g.ki)))},
            {"kd", JsonNumber(FormatFloat(static_cast<float>(g.kd)))}};
}

std::string GainsText(const SStepGains& g) {
    return "Kp " + FormatFloat(static_cast<float>(g.kp)) + "  Ki " +
           FormatFloat(static_cast<float>(g.ki)) + "  Kd " + FormatFloat(static_cast<float>(g.kd));
}

} // namespace

int CCli::CmdStep() {
    SStepRequest req;
    req.loop = m_cl.loop == "position" ? EStepLoop::Position : EStepLoop::Speed;
    const bool speed = req.loop == EStepLoop::Speed;
    if (speed && m_cl.relative)
        return Usage("--relative: only a position move can be relative");
    if (speed) {
        if (!IsStrictDecimal(m_cl.value))
            return Usage(StrFormat("--to: '%s' is not a number of Hz", m_cl.value.c_str()));
        req.target = static_cast<double>(ScaleDecimal(m_cl.value, 4)) / 1e4;
    } else {
        int64_t pulses = 0;
        if (!ParseStrictInt(m_cl.value, pulses))
            return Usage(
                StrFormat("--to: '%s' is not a whole number of pulses", m_cl.value.c_str()));
        req.target = static_cast<double>(pulses);
    }
    req.relative = m_cl.relative;
    req.duration = std::chrono::milliseconds(m_cl.ms);
    req.stopMode = StopModeCode();
    req.fromRunning = m_cl.running;
    if (!m_cl.yes && !m_ctx.interactive)
        return Refuse("refusing to move the motor without confirmation: standard input is not "
                      "a terminal; pass --yes to start");
    if (int e = OpenLine())
        return e;

    SStepPlan plan = PrepareStep(m_drv, m_nSlave, req);
    if (plan.result.end == EStepEnd::ReadFailed)
        return DeviceError("step: " + plan.result.problem, plan.result.rc);
    if (plan.result.end == EStepEnd::Refused)
        return Refuse("step: " + plan.result.problem + "; nothing written");
    const char* unit = StepUnit(req.loop);
    const std::string what =
        speed ? StrFormat("step from %g Hz to %g Hz", plan.result.start, plan.result.target)
              : StrFormat("move from %.0f to %.0f pulses at up to %g Hz", plan.result.start,
                          plan.result.target, plan.result.moveFrequency);
    if (!m_cl.yes) {
        if (!Confirmed(StrFormat("The motor on slave %u (%s) will %s for %lld ms, then stop "
                                 "(%s). Start?",
                                 m_nSlave, m_strDevice.c_str(), what.c_str(),
                                 static_cast<long long>(m_cl.ms), m_cl.mode.c_str()))) {
            Note() << "Cancelled; the motor was not moved.\n";
            return kExitCancelled;
        }
    }

    SStepHooks hooks;
    hooks.stopRequested = [this] { return Stopped(); };
    ArmStop(true);
    const SStepResult r = RunStep(m_drv, m_nSlave, std::move(plan), hooks);
    ArmStop(false);

    const SStepFigures& f = r.figures;
    if (m_cl.json) {
        Json j = {{"loop", m_cl.loop},        {"slave", m_nSlave},          {"unit", unit},
                  {"start", Number(r.start)}, {"target", Number(r.target)}, {"durationMs", m_cl.ms},
                  {"end", EndName(r.end)}};
        if (r.end != EStepEnd::Completed && r.end != EStepEnd::Stopped)
            j["error"] = r.end == EStepEnd::DriverError ? Json{{"errorState", r.errorState}}
                                                        : ErrorJson(r.rc);
        j["gains"] = {{"speed", GainsJson(r.speedGains)}, {"position", GainsJson(r.positionGains)}};
        j["limits"] = {{"maxCommutationFrequency", Number(r.maxFrequency)},
                       {"maxLoadCurrent", Number(r.maxCurrent)},
                       {"acceleration", Number(r.acceleration)},
                       {"deceleration", Number(r.deceleration)}};
        if (!speed)
            j["limits"]["moveFrequency"] = Number(r.moveFrequency);
        Json figures = nullptr;
        if (f.valid)
            figures = {{"riseMs", MsJson(f.riseTime)},
                       {"delayMs", MsJson(f.delayTime)},
                       {"peakMs", MsJson(f.peakTime)},
                       {"overshootPercent", Number(f.overshoot, "%.2f")},
                       {"settling2Ms", MsJson(f.settling2)},
                       {"settling5Ms", MsJson(f.settling5)},
                       {"finalValue", Number(f.finalValue, "%.3f")},
                       {"steadyStateError", Number(f.steadyError, "%.3f")},
                       {"peakCurrent", Number(f.peakCurrent, "%.2f")},
                       {"sampleRate", Number(f.sampleRate, "%.1f")}};
        j["figures"] = figures;
        if (!f.valid)
            j["figuresProblem"] = f.problem;
        // Three arrays of numbers keep a long run to three lines.
        Json t = Json::array(), value = Json::array(), current = Json::array();
        for (const SStepSample& s : r.samples) {
            t.push_back(Number(s.t, "%.6f"));
            value.push_back(Number(s.value));
            current.push_back(Number(s.current, "%.2f"));
        }
        j["samples"] = {{"t", t}, {"value", value}, {"current", current}};
        j["stop"] = {{"mode", m_cl.mode}, {"result", ErrorJson(r.stopRc)}};
        EmitJson(j);
    } else {
        Out() << StrFormat("Step of the %s loop on slave %u: %s, sampled for %lld ms\n",
                           m_cl.loop.c_str(), m_nSlave, what.c_str(),
                           static_cast<long long>(m_cl.ms));
        Out() << "Gains: speed " << GainsText(r.speedGains) << ";  position "
              << GainsText(r.positionGains) << "\n";
        Out() << StrFormat("Limits: max commutation frequency %g Hz, max load current %g A,\n"
                           "        acceleration %g Hz/s, deceleration %g Hz/s\n",
                           r.maxFrequency, r.maxCurrent, r.acceleration, r.deceleration);
        if (f.valid) {
            Out() << StrFormat("Figures (%zu samples, %.1f per second):\n", r.samples.size(),
                               f.sampleRate);
            PrintTable(Out(), {{"rise time (10-90 %)", Ms(f.riseTime)},
                               {"delay time (to 50 %)", Ms(f.delayTime)},
                               {"peak time", Ms(f.peakTime)},
                               {"overshoot", StrFormat("%.1f %%", f.overshoot)},
                               {"settling time (2 %)", Ms(f.settling2)},
                               {"settling time (5 %)", Ms(f.settling5)},
                               {"final value", StrFormat("%.1f %s", f.finalValue, unit)},
                               {"steady-state error", StrFormat("%.1f %s", f.steadyError, unit)},
                               {"peak phase current", StrFormat("%.2f A", f.peakCurrent)}});
        } else {
            Out() << StrFormat("No figures (%zu samples): %s\n", r.samples.size(),
                               f.problem.c_str());
        }
        Out() << (r.stopRc == kResultOk ? "Motor stopped (" : "The stop failed (") << m_cl.mode
              << ").\n";
    }

    if (r.stopRc != kResultOk)
        m_ctx.err << "halvik-cli: step: the stop command failed: " << ResultMessage(r.stopRc)
                  << "\n";
    switch (r.end) {
    case EStepEnd::Completed:
        return r.stopRc == kResultOk ? kExitOk : DeviceError("step: the motor may still run");
    case EStepEnd::Stopped:
        m_ctx.err << "halvik-cli: step interrupted; the stop command was written\n";
        return kExitInterrupted;
    case EStepEnd::StartFailed:
        return DeviceError("step: starting the run", r.rc);
    case EStepEnd::DriverError:
        return DeviceError(
            StrFormat("step: the driver reported error state %u during the run", r.errorState));
    default:
        return DeviceError("step: reading the status during the run", r.rc);
    }
}
