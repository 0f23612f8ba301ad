// The virtual driver's request handling under a hostile master: any frames,
// in any order, with time moving between them. Every answer is a well-formed
// frame from this slave.

#include "modbus/Crc16.h"
#include "sim/VirtualDriver.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    CVirtualDriver drv(1);
    auto now = CVirtualDriver::Clock::time_point{} + std::chrono::hours(1);
    drv.Advance(now);
    while (in.remaining_bytes() > 0) {
        const uint8_t flags = in.ConsumeIntegral<uint8_t>();
        now += std::chrono::milliseconds(in.ConsumeIntegral<uint16_t>());
        drv.Advance(now);
        std::vector<uint8_t> frame =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 300));
        if ((flags & 1) && !frame.empty()) {
            // Mostly frames the driver takes: its address and a good CRC.
            frame[0] = (flags & 2) ? 0 : 1;
            const size_t n = frame.size();
            frame.resize(n + 2);
            AppendCrc(frame.data(), n);
        }
        const std::vector<uint8_t> reply = (flags & 4) && frame.size() >= 4
                                               ? drv.RefuseFrame(frame.data(), frame.size(), flags)
                                               : drv.HandleFrame(frame.data(), frame.size());
        if (reply.empty())
            continue;
        const uint16_t crc = Crc16(reply.data(), reply.size() - 2);
        if (reply.size() < 5 || reply.size() > 256 || reply[0] != 1 ||
            reply[reply.size() - 2] != (crc >> 8) || reply[reply.size() - 1] != (crc & 0xFF))
            std::abort();
    }
    return 0;
}
