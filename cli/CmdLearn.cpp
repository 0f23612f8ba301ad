// learn: motor learning with progress, always withdrawing the request.

#include "cli/CliSession.h"

#include "driver/Format.h"
#include "driver/Learning.h"

#include <iostream>
#include <unistd.h>

int CCli::CmdLearn() {
    if (int e = NeedArgs(0, 0, "learn [--timeout-s S]"))
        return e;
    int64_t limitS = 120;
    std::string err;
    if (const std::string* v = m_cl.Value("--timeout-s"))
        if (!ParseIntegerIn(*v, 1, 86400, "--timeout-s", limitS, err))
            return Usage(err);
    if (int e = OpenLine())
        return e;
    LearnBlock rec;
    rec.At(kRegLearnRequest) = 1;
    ResultCode rc = m_drv.WriteLearnBlock(m_nSlave, rec);
    if (rc != kResultOk && rc != kResultDeviceBusy) // busy: accepted, learning under way
        return DeviceError("starting the motor learning", rc);

    const bool tty = isatty(STDERR_FILENO) != 0 && &m_ctx.err == &std::cerr;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(limitS);
    auto next = start;
    std::string outcome; // the driver's own outcome text
    ResultCode pollRc = kResultOk;
    enum { Running, Success, Failure, Abnormal, PollFailed, TimedOut, Interrupted } state = Running;
    ArmStop(true);
    int polls = 0;
    while (state == Running) {
        next += std::chrono::milliseconds(250);
        if (!SleepUntil(std::min(next, deadline))) {
            state = Interrupted;
            break;
        }
        if (Clock::now() >= deadline) {
            state = TimedOut;
            break;
        }
        std::vector<uint16_t> regs;
        rc = ReadRegs(m_drv, m_nSlave, LearnBlock::kStart, kLearnReadCount, regs);
        ++polls;
        if (rc != kResultOk) {
            pollRc = rc;
            outcome = ResultText(rc);
            state = PollFailed;
            break;
        }
        for (size_t i = 0; i < regs.size(); ++i)
            rec.m_reg[i] = regs[i];
        const uint16_t learnState = rec.At(kRegLearnState);
        const ELearnState now = LearnStateOf(rec);
        outcome = LearnOutcomeText(now);
        if (now == ELearnState::Succeeded)
            state = Success;
        else if (now == ELearnState::Failed)
            state = Failure;
        else if (now == ELearnState::Aborted)
            state = Abnormal;
        double secs = std::chrono::duration<double>(Clock::now() - start).count();
        std::string line = StrFormat("learning... %.1f s, state %u", secs, learnState);
        if (tty)
            m_ctx.err << "\r" << line << "   " << std::flush;
        else if (polls % 4 == 0 || state != Running)
            m_ctx.err << line << "\n";
    }
    if (tty)
        m_ctx.err << "\n";
    // Closing write: the registers as last read, with the request cleared.
    LearnBlock closing = rec;
    closing.At(kRegLearnRequest) = 0;
    ResultCode closeRc = m_drv.WriteLearnBlock(m_nSlave, closing);
    ArmStop(false);
    if (closeRc != kResultOk)
        m_ctx.err << "halvik-cli: the closing write of the learning failed: "
                  << ResultMessage(closeRc) << "\n";

    const std::string phase = LearnedPhaseText(rec);
    const char* stateName[] = {"running", "success", "failure",    "abnormal",
                               "error",   "timeout", "interrupted"};
    if (state == TimedOut)
        outcome = StrFormat("no outcome within %lld s", static_cast<long long>(limitS));
    else if (state == Interrupted)
        outcome = "interrupted";
    if (m_cl.line.json) {
        Json j = Json::object();
        j["outcome"] = Json(stateName[state]);
        j["text"] = Json(outcome);
        if (state == PollFailed)
            j["error"] = ErrorJson(pollRc);
        j["learningState"] = Json(rec.At(kRegLearnState));
        Json pd = Json::array();
        for (int i = 0; i < kLearnPhaseRegs; ++i)
            pd.push_back(Json(rec.At(static_cast<uint16_t>(kRegLearnPhase + i))));
        j["phaseData"] = pd;
        j["phaseText"] = Json(phase);
        j["seconds"] = (JsonNumber(
            StrFormat("%.1f", std::chrono::duration<double>(Clock::now() - start).count())));
        EmitJson(j);
    } else {
        Out() << "Outcome: " << outcome << "\n";
        if (state == Success)
            Out() << "Phase data: " << phase << "\n";
    }
    switch (state) {
    case Success:
        return kExitOk;
    case PollFailed:
        return DeviceError("motor learning", pollRc);
    case Interrupted:
        m_ctx.err << "halvik-cli: learning interrupted; the learning request was cleared\n";
        return kExitInterrupted;
    default:
        return DeviceError("motor learning: " + outcome);
    }
}
