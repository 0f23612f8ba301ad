#include "driver/Learning.h"

#include "driver/Format.h"
#include "driver/MotorDriver.h"
#include "lang/Tr.h"

#include <algorithm>

ELearnState LearnStateOf(const LearnBlock& b) {
    if (b.At(kRegLearnState) == kLearnStateSucceeded)
        return ELearnState::Succeeded;
    if (b.At(kRegLearnState) == kLearnStateFailed)
        return ELearnState::Failed;
    if (b.At(kRegLearnRequest) == 0)
        return ELearnState::Aborted;
    return ELearnState::Running;
}

const char* LearnOutcomeText(ELearnState state) {
    switch (state) {
    case ELearnState::Succeeded:
        return QT_TRANSLATE_NOOP("driver/Catalogue", "学习成功");
    case ELearnState::Failed:
        return QT_TRANSLATE_NOOP("driver/Catalogue", "学习失败");
    case ELearnState::Aborted:
        return QT_TRANSLATE_NOOP("driver/Catalogue", "学习异常终止");
    case ELearnState::Running:
        break;
    }
    return "";
}

std::string LearnedPhaseText(const LearnBlock& b) {
    std::string text;
    for (int i = 0; i < kLearnPhaseRegs; ++i)
        text += StrFormat("%s%02X", i ? " " : "", b.At(static_cast<uint16_t>(kRegLearnPhase + i)));
    return text;
}

SLearnOutcome RunMotorLearning(CMotorDriver& drv, uint8_t slave, const SLearnHooks& hooks) {
    SLearnOutcome out;
    LearnBlock& rec = out.last;
    rec.At(kRegLearnRequest) = 1;
    const ResultCode start = drv.WriteLearnBlock(slave, rec);
    if (start != kResultOk && start != kResultDeviceBusy) {
        out.end = ELearnEnd::StartRefused;
        out.rc = start;
        return out;
    }
    const LearnClock::time_point begin = hooks.now();
    const bool limited = hooks.limit.count() > 0;
    const LearnClock::time_point deadline = begin + hooks.limit;
    LearnClock::time_point next = begin;
    for (;;) {
        next += hooks.period;
        if (!hooks.waitUntil(limited ? std::min(next, deadline) : next)) {
            out.end = ELearnEnd::Stopped;
            break;
        }
        if (limited && hooks.now() >= deadline) {
            out.end = ELearnEnd::TimedOut;
            break;
        }
        rec.At(kRegLearnExtra) = kLearnPhaseRegs; // the learned phases too
        if (const ResultCode rc = drv.ReadLearnBlock(slave, rec); rc != kResultOk) {
            out.end = ELearnEnd::ReadFailed;
            out.rc = rc;
            break;
        }
        if (hooks.onRead)
            hooks.onRead(rec);
        const ELearnState state = LearnStateOf(rec);
        if (state == ELearnState::Running)
            continue;
        out.end = state == ELearnState::Succeeded ? ELearnEnd::Succeeded
                  : state == ELearnState::Failed  ? ELearnEnd::Failed
                                                  : ELearnEnd::Aborted;
        break;
    }
    // Withdraw the request, whatever ended the run.
    LearnBlock closing = rec;
    closing.At(kRegLearnRequest) = 0;
    out.closeRc = drv.WriteLearnBlock(slave, closing);
    out.withdrawn = true;
    return out;
}
