#pragma once
// Result of every transaction and accessor. Exception codes keep their wire
// values (1..127 as the slave sent them); local failures sit at 128 and above.

#include <string>

using ResultCode = int;

enum : int {
    kResultOk = 0,
    kResultIllegalFunction = 1,
    kResultIllegalAddress = 2,
    kResultIllegalValue = 3,
    kResultDeviceFailure = 4,
    kResultAcknowledge = 5,
    kResultDeviceBusy = 6,
    kResultNotAllowed = 64, // driver's own: operation not allowed
    kResultNotLearned = 96, // driver's own: learn the motor first
    kResultPortClosed = 128,
    kResultBadReply = 129,
    kResultTimeout = 130,
    kResultTooLong = 131,
    kResultBadRunKind = 255,
};

// The message shown to the user for a result code (UTF-8).
std::string ResultText(ResultCode code);
