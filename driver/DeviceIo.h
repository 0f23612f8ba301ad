#pragma once
// Register access that insists on complete answers, for whole-block work
// (command line, configuration files): a short reply is an error, never
// zero-filled, and long writes go out in chunks the driver accepts.

#include "driver/MotorDriver.h"

#include <cstdint>
#include <string>
#include <vector>

// "通讯超时 (130)": the result text followed by its code.
std::string ResultMessage(ResultCode rc);

// Reads count registers into regs (host order). A reply with fewer registers
// than asked for is a bad reply (129).
ResultCode ReadRegs(CMotorDriver& drv, uint8_t slave, uint16_t start, uint16_t count,
                    std::vector<uint16_t>& regs);
// Function 16 in chunks the driver accepts.
ResultCode WriteRegs(CMotorDriver& drv, uint8_t slave, uint16_t start,
                     const std::vector<uint16_t>& regs);
