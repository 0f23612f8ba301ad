#include "driver/StepRun.h"

#include "driver/Catalogue.h"
#include "driver/DeviceIo.h"
#include "driver/Format.h"
#include "lang/Tr.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

using Seconds = std::chrono::duration<double>;

// Bytes of the requests on the wire: a read or a single write, and the
// four-register position move.
constexpr int kShortRequest = 8, kMoveRequest = 17;

// A field's engineering value in an image of its whole block.
double Value(std::string_view name, const std::vector<uint16_t>& regs, const DecodeContext& ctx) {
    const BlockDef* b = nullptr;
    const FieldDef* f = FindField(name, &b);
    if (!f)
        std::abort(); // a name this file knows
    const FieldValue v = DecodeField(*f, *b, regs, ctx).value;
    // from_chars: the decimal point whatever the locale.
    double out = std::nan("");
    if (v.IsNumber())
        std::from_chars(v.text.data(), v.text.data() + v.text.size(), out);
    return out;
}

uint16_t Raw(std::string_view name, const std::vector<uint16_t>& regs) {
    const BlockDef* b = nullptr;
    const FieldDef* f = FindField(name, &b);
    if (!f)
        std::abort();
    return regs[static_cast<size_t>(f->addr - b->start)];
}

// The time one character takes on the line as the master set it; 0 when
// the settings cannot be told.
double CharSeconds(const CMotorDriver& drv) {
    LineSettings ls;
    if (!ParseLineSettings(drv.LineSettingsText(), ls))
        return 0;
    return static_cast<double>(CharTimeNs(ls)) / 1e9;
}

SStepPlan& Refuse(SStepPlan& plan, std::string why) {
    plan.result.end = EStepEnd::Refused;
    plan.result.problem = std::move(why);
    return plan;
}

} // namespace

const char* StepUnit(EStepLoop loop) {
    return loop == EStepLoop::Speed ? "Hz" : "pulses";
}

SStepPlan PrepareStep(CMotorDriver& drv, uint8_t slave, const SStepRequest& req) {
    SStepPlan plan;
    plan.request = req;
    SStepResult& out = plan.result;
    const bool speed = req.loop == EStepLoop::Speed;
    std::vector<uint16_t> pid, motor, ramp, &status = plan.status;
    for (auto [name, regs] :
         {std::pair{"pid", &pid}, {"motor", &motor}, {"ramp", &ramp}, {"status", &status}}) {
        const BlockDef* b = FindBlock(name);
        if (ResultCode rc = ReadRegs(drv, slave, b->start, b->count, *regs); rc != kResultOk) {
            out.end = EStepEnd::ReadFailed;
            out.rc = rc;
            out.problem = StrFormat("reading %s", name);
            return plan;
        }
    }
    DecodeContext ctx;
    ctx.speedUnitHz = Raw("status.speed_unit_hz", status) != 0;
    out.speedUnitHz = ctx.speedUnitHz;
    out.speedGains = {Value("pid.speed_kp", pid, ctx), Value("pid.speed_ki", pid, ctx),
                      Value("pid.speed_kd", pid, ctx)};
    out.positionGains = {Value("pid.position_kp", pid, ctx), Value("pid.position_ki", pid, ctx),
                         Value("pid.position_kd", pid, ctx)};
    out.maxFrequency = Value("motor.max_commutation_frequency", motor, ctx);
    out.maxCurrent = Value("motor.max_load_current", motor, ctx);
    out.acceleration = Value("ramp.acceleration", ramp, ctx);
    out.deceleration = Value("ramp.deceleration", ramp, ctx);
    out.errorState = Raw("status.error_state", status);
    const double freqNow = Value("status.commutation_frequency", status, ctx);
    const double positionNow = Value("status.position", status, ctx);
    out.start = speed ? freqNow : positionNow;

    if (out.errorState != 0)
        return Refuse(plan, lang::Args(lang::translate("driver/StepRun", "驱动器报告错误状态 %1"),
                                       {std::to_string(out.errorState)}));
    if (!req.fromRunning && (freqNow != 0 || Value("status.output_pwm", status, ctx) != 0))
        return Refuse(plan, lang::Args(lang::translate("driver/StepRun", "电机正在运行 (%1 Hz)"),
                                       {StrFormat("%g", freqNow)}));
    // The command registers count in the driver's speed unit; finer digits
    // are cut toward zero, as a typed frequency is (the micro-hertz rounding
    // keeps 2.3 Hz from becoming 22.999... tenths).
    const double scale = ctx.speedUnitHz ? 1 : 10;
    const auto inUnits = [scale](double hz) {
        return static_cast<int64_t>(std::trunc(std::round(hz * scale * 1e6) / 1e6));
    };
    if (speed) {
        if (std::fabs(req.target) > out.maxFrequency)
            return Refuse(
                plan,
                lang::Args(
                    lang::translate(
                        "driver/StepRun",
                        "%1 Hz 超出电机的最大换向频率 (motor.max_commutation_frequency, %2 Hz)"),
                    {StrFormat("%g", req.target), StrFormat("%g", out.maxFrequency)}));
        plan.commandRaw = inUnits(req.target);
        if (plan.commandRaw < INT16_MIN || plan.commandRaw > INT16_MAX)
            return Refuse(
                plan, lang::Args(lang::translate("driver/StepRun", "%1 Hz 超出频率寄存器的范围"),
                                 {StrFormat("%g", req.target)}));
        out.target = static_cast<double>(plan.commandRaw) / scale;
    } else {
        // The move runs at up to the motor's maximum commutation frequency,
        // so that the loop and not the move's speed shapes the response.
        plan.moveRaw = std::min<int64_t>(inUnits(out.maxFrequency), UINT16_MAX);
        if (plan.moveRaw <= 0)
            return Refuse(
                plan, lang::translate("driver/StepRun", "电机的最大换向频率为0: 无法运行位置运动"));
        out.moveFrequency = static_cast<double>(plan.moveRaw) / scale;
        const double distance = std::round(req.target);
        const double to = distance + (req.relative ? positionNow : 0);
        if (std::fabs(distance) > INT32_MAX || to < INT32_MIN || to > INT32_MAX)
            return Refuse(plan, lang::Args(lang::translate("driver/StepRun",
                                                           "位置 %1 超出32位位置寄存器的范围"),
                                           {StrFormat("%.0f", to)}));
        plan.commandRaw = static_cast<int64_t>(distance);
        out.target = to;
    }
    if (out.target == out.start)
        return Refuse(plan, lang::Args(lang::translate("driver/StepRun", "电机已在 %1 %2"),
                                       {StrFormat("%g", out.start),
                                        speed ? std::string("Hz")
                                              : lang::translate("driver/StepRun", "脉冲")}));
    out.end = EStepEnd::Completed;
    return plan;
}

SStepResult RunStep(CMotorDriver& drv, uint8_t slave, SStepPlan plan, const SStepHooks& hooks) {
    const SStepRequest& req = plan.request;
    SStepResult& out = plan.result;
    std::vector<uint16_t>& status = plan.status;
    const bool speed = req.loop == EStepLoop::Speed;
    const DecodeContext ctx{out.speedUnitHz};
    const double charS = CharSeconds(drv);
    const auto wire = [charS](int bytes) {
        return std::chrono::duration_cast<StepClock::duration>(Seconds(bytes * charS));
    };
    const StepClock::time_point sent = hooks.now();
    ResultCode rc = speed ? drv.WriteRunCommand(slave, ToReg16(plan.commandRaw), 1)
                          : drv.WritePositionCommand(slave, static_cast<uint16_t>(plan.moveRaw),
                                                     static_cast<int32_t>(plan.commandRaw),
                                                     req.relative ? 1 : 0);
    out.commandAt = sent + wire(speed ? kShortRequest : kMoveRequest);
    out.end = rc == kResultOk ? EStepEnd::Completed : EStepEnd::StartFailed;
    out.rc = rc;

    // The few registers the loop needs, one read each sample; the rest of
    // the status image keeps the scales the first read gave.
    const uint16_t statusStart = FindBlock("status")->start;
    const uint16_t first = FieldAddr("status.phase_current");
    const auto count = static_cast<uint16_t>(FieldAddr("status.position") +
                                             CatalogueField("status.position").regs - first);
    const uint16_t errorAddr = FieldAddr("status.error_state");
    StepClock::time_point nextErrorRead = out.commandAt + req.errorPeriod;
    std::vector<uint16_t> regs;
    while (out.end == EStepEnd::Completed) {
        if (hooks.stopRequested()) {
            out.end = EStepEnd::Stopped;
            break;
        }
        const StepClock::time_point at = hooks.now();
        if (at - out.commandAt >= req.duration)
            break;
        if (at >= nextErrorRead) {
            nextErrorRead += req.errorPeriod;
            if ((rc = ReadRegs(drv, slave, errorAddr, 1, regs)) != kResultOk) {
                out.end = EStepEnd::SampleFailed;
                out.rc = rc;
            } else if ((out.errorState = regs[0]) != 0) {
                out.end = EStepEnd::DriverError;
            }
            continue;
        }
        if ((rc = ReadRegs(drv, slave, first, count, regs)) != kResultOk) {
            out.end = EStepEnd::SampleFailed;
            out.rc = rc;
            break;
        }
        std::copy(regs.begin(), regs.end(), status.begin() + (first - statusStart));
        // The driver took the reading when the request was whole on the wire.
        out.samples.push_back({Seconds(at + wire(kShortRequest) - out.commandAt).count(),
                               speed ? Value("status.commutation_frequency", status, ctx)
                                     : Value("status.position", status, ctx),
                               Value("status.phase_current", status, ctx)});
    }
    out.stopRc = drv.WriteStopCommand(slave, req.stopMode);
    out.stopWritten = true;
    out.figures = StepFigures(out.samples, out.start, out.target);
    return out;
}

SStepResult RunStepResponse(CMotorDriver& drv, uint8_t slave, const SStepRequest& req,
                            const SStepHooks& hooks) {
    SStepPlan plan = PrepareStep(drv, slave, req);
    if (plan.result.end != EStepEnd::Completed)
        return plan.result;
    return RunStep(drv, slave, std::move(plan), hooks);
}
