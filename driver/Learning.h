#pragma once
// Motor learning through the learn block (0x00E0..): the request register,
// the state the driver reports, the learned phases and the outcome texts.
// The motor parameters page and `halvik-cli learn` run the same procedure:
// write the request, poll the block, withdraw the request whatever ended it.

#include "driver/Blocks.h"

#include <cstdint>
#include <string>

enum : uint16_t {
    kRegLearnRequest = 0x00E1, // 1 starts a run; the driver clears it when a run is dropped
    kRegLearnState = 0x00E2,
    kRegLearnExtra = 0x00E4, // registers to read after the first five
    kRegLearnPhase = 0x00E5, // six learned phase bytes, one per register
};
constexpr int kLearnPhaseRegs = 6;
// The first five registers and the learned phases.
constexpr uint16_t kLearnReadCount = 5 + kLearnPhaseRegs;

// Values of the state register that end a run.
enum : uint16_t { kLearnStateSucceeded = 3, kLearnStateFailed = 4 };

// Where a learning run stands after a read of the learn block.
enum class ELearnState { Running, Succeeded, Failed, Aborted };
ELearnState LearnStateOf(const LearnBlock& b);
// "学习成功", "学习失败", "学习异常终止"; "" while running.
const char* LearnOutcomeText(ELearnState state);
// The learned phases as "%02X %02X %02X %02X %02X %02X".
std::string LearnedPhaseText(const LearnBlock& b);
