// learn: motor learning with progress, always withdrawing the request.

#include "cli/CliSession.h"

#include "driver/Format.h"
#include "driver/Learning.h"
#include "driver/Texts.h"

int CCli::CmdLearn() {
    if (int e = OpenLine())
        return e;
    const auto start = Clock::now();
    const auto seconds = [&] {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    int polls = 0;
    SLearnHooks hooks;
    hooks.waitUntil = [this](Clock::time_point t) { return SleepUntil(t); };
    hooks.limit = std::chrono::seconds(m_cl.timeoutS);
    hooks.onRead = [&](const LearnBlock& rec) {
        ++polls;
        const bool running = LearnStateOf(rec) == ELearnState::Running;
        const std::string line =
            StrFormat("learning... %.1f s, state %u", seconds(), rec.At(kRegLearnState));
        if (m_ctx.errIsTerminal)
            m_ctx.err << "\r" << line << "   " << std::flush;
        else if (polls % 4 == 0 || !running)
            m_ctx.err << line << "\n";
    };
    ArmStop(true);
    const SLearnOutcome run = RunMotorLearning(m_drv, m_nSlave, hooks);
    if (run.end == ELearnEnd::StartRefused) {
        ArmStop(false);
        return DeviceError("starting the motor learning", run.rc);
    }
    if (m_ctx.errIsTerminal)
        m_ctx.err << "\n";
    ArmStop(false);
    if (run.closeRc != kResultOk)
        m_ctx.err << "halvik-cli: the closing write of the learning failed: "
                  << ResultMessage(run.closeRc) << "\n";

    const LearnBlock& rec = run.last;
    std::string outcome; // the driver's own outcome text
    const char* name = "";
    switch (run.end) {
    case ELearnEnd::Succeeded:
    case ELearnEnd::Failed:
    case ELearnEnd::Aborted:
        outcome = CatalogueText(LearnOutcomeText(LearnStateOf(rec)));
        name = run.end == ELearnEnd::Succeeded ? "success"
               : run.end == ELearnEnd::Failed  ? "failure"
                                               : "abnormal";
        break;
    case ELearnEnd::ReadFailed:
        outcome = ResultText(run.rc);
        name = "error";
        break;
    case ELearnEnd::TimedOut:
        outcome = StrFormat("no outcome within %lld s", static_cast<long long>(m_cl.timeoutS));
        name = "timeout";
        break;
    default:
        outcome = "interrupted";
        name = "interrupted";
        break;
    }
    const std::string phase = LearnedPhaseText(rec);
    if (m_cl.json) {
        Json j = {{"outcome", name}, {"text", outcome}};
        if (run.end == ELearnEnd::ReadFailed)
            j["error"] = ErrorJson(run.rc);
        j["learningState"] = rec.At(kRegLearnState);
        const auto phaseAt = rec.m_reg.begin() + (kRegLearnPhase - LearnBlock::kStart);
        j["phaseData"] = std::vector<uint16_t>(phaseAt, phaseAt + kLearnPhaseRegs);
        j["phaseText"] = phase;
        j["seconds"] = JsonNumber(StrFormat("%.1f", seconds()));
        EmitJson(j);
    } else {
        Out() << "Outcome: " << outcome << "\n";
        if (run.end == ELearnEnd::Succeeded)
            Out() << "Phase data: " << phase << "\n";
    }
    switch (run.end) {
    case ELearnEnd::Succeeded:
        return kExitOk;
    case ELearnEnd::ReadFailed:
        return DeviceError("motor learning", run.rc);
    case ELearnEnd::Stopped:
        m_ctx.err << "halvik-cli: learning interrupted; the learning request was cleared\n";
        return kExitInterrupted;
    default:
        return DeviceError("motor learning: " + outcome);
    }
}
