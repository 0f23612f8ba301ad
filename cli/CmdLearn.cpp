// learn: motor learning with progress, always withdrawing the request.

#include "cli/CliSession.h"

#include "driver/Format.h"
#include "driver/Learning.h"

int CCli::CmdLearn() {
    if (int e = OpenLine())
        return e;
    LearnBlock rec;
    rec.At(kRegLearnRequest) = 1;
    ResultCode rc = m_drv.WriteLearnBlock(m_nSlave, rec);
    if (rc != kResultOk && rc != kResultDeviceBusy) // busy: accepted, learning under way
        return DeviceError("starting the motor learning", rc);

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(m_cl.timeoutS);
    const auto seconds = [&] {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    auto next = start;
    std::string outcome; // the driver's own outcome text
    // The first four in ELearnState's order.
    enum { Running, Success, Failure, Abnormal, PollFailed, TimedOut, Interrupted } state = Running;
    const char* stateName[] = {"running", "success", "failure",    "abnormal",
                               "error",   "timeout", "interrupted"};
    ArmStop(true);
    for (int polls = 1; state == Running; ++polls) {
        next += std::chrono::milliseconds(250);
        if (!SleepUntil(std::min(next, deadline))) {
            state = Interrupted;
            outcome = "interrupted";
            break;
        }
        if (Clock::now() >= deadline) {
            state = TimedOut;
            outcome = StrFormat("no outcome within %lld s", static_cast<long long>(m_cl.timeoutS));
            break;
        }
        std::vector<uint16_t> regs;
        if ((rc = ReadRegs(m_drv, m_nSlave, LearnBlock::kStart, kLearnReadCount, regs))) {
            outcome = ResultText(rc);
            state = PollFailed;
            break;
        }
        std::copy(regs.begin(), regs.end(), rec.m_reg.begin());
        state = static_cast<decltype(state)>(LearnStateOf(rec));
        outcome = LearnOutcomeText(LearnStateOf(rec));
        const std::string line =
            StrFormat("learning... %.1f s, state %u", seconds(), rec.At(kRegLearnState));
        if (m_ctx.errIsTerminal)
            m_ctx.err << "\r" << line << "   " << std::flush;
        else if (polls % 4 == 0 || state != Running)
            m_ctx.err << line << "\n";
    }
    if (m_ctx.errIsTerminal)
        m_ctx.err << "\n";
    // Closing write: the registers as last read, with the request cleared.
    LearnBlock closing = rec;
    closing.At(kRegLearnRequest) = 0;
    const ResultCode closeRc = m_drv.WriteLearnBlock(m_nSlave, closing);
    ArmStop(false);
    if (closeRc != kResultOk)
        m_ctx.err << "halvik-cli: the closing write of the learning failed: "
                  << ResultMessage(closeRc) << "\n";

    const std::string phase = LearnedPhaseText(rec);
    if (m_cl.json) {
        Json j = {{"outcome", stateName[state]}, {"text", outcome}};
        if (state == PollFailed)
            j["error"] = ErrorJson(rc);
        j["learningState"] = rec.At(kRegLearnState);
        const auto phaseAt = rec.m_reg.begin() + (kRegLearnPhase - LearnBlock::kStart);
        j["phaseData"] = std::vector<uint16_t>(phaseAt, phaseAt + kLearnPhaseRegs);
        j["phaseText"] = phase;
        j["seconds"] = JsonNumber(StrFormat("%.1f", seconds()));
        EmitJson(j);
    } else {
        Out() << "Outcome: " << outcome << "\n";
        if (state == Success)
            Out() << "Phase data: " << phase << "\n";
    }
    if (state == Success)
        return kExitOk;
    if (state == PollFailed)
        return DeviceError("motor learning", rc);
    if (state != Interrupted)
        return DeviceError("motor learning: " + outcome);
    m_ctx.err << "halvik-cli: learning interrupted; the learning request was cleared\n";
    return kExitInterrupted;
}
