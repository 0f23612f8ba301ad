#include "driver/Learning.h"

#include "driver/Format.h"

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
        return "学习成功";
    case ELearnState::Failed:
        return "学习失败";
    case ELearnState::Aborted:
        return "学习异常终止";
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
