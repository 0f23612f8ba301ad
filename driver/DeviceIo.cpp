#include "driver/DeviceIo.h"

#include "driver/Format.h"
#include "modbus/RtuFrame.h"

#include <algorithm>

std::string ResultMessage(ResultCode rc) {
    return ResultText(rc) + StrFormat(" (%d)", rc);
}

ResultCode ReadRegs(CMotorDriver& drv, uint8_t slave, uint16_t start, uint16_t count,
                    std::vector<uint16_t>& regs) {
    std::vector<uint8_t> buf(static_cast<size_t>(count) * 2);
    uint16_t cap = static_cast<uint16_t>(buf.size());
    ResultCode rc = drv.ReadRegisters(slave, start, count, buf.data(), &cap);
    if (rc != kResultOk)
        return rc;
    if (cap != buf.size())
        return kResultBadReply;
    regs.resize(count);
    for (size_t i = 0; i < count; ++i)
        regs[i] = static_cast<uint16_t>((buf[2 * i] << 8) | buf[2 * i + 1]);
    return kResultOk;
}

ResultCode WriteRegs(CMotorDriver& drv, uint8_t slave, uint16_t start,
                     const std::vector<uint16_t>& regs) {
    size_t done = 0;
    while (done < regs.size()) {
        size_t n = std::min<size_t>(regs.size() - done, kMaxWriteRegisters);
        ResultCode rc = drv.WriteRegisters(slave, static_cast<uint16_t>(start + done),
                                           regs.data() + done, static_cast<uint16_t>(n));
        if (rc != kResultOk)
            return rc;
        done += n;
    }
    return kResultOk;
}
