// Reply assembly and the reply checks, fed arbitrary chunk sequences for a
// request in flight and, maybe, an earlier one that timed out.

#include "modbus/Crc16.h"
#include "modbus/RtuFrame.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

namespace {

size_t BuildRequest(FuzzedDataProvider& in, uint8_t* out, uint8_t slave) {
    const uint16_t a = in.ConsumeIntegral<uint16_t>();
    const uint16_t b = in.ConsumeIntegral<uint16_t>();
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return BuildReadRequest(out, slave, a, b);
    case 1:
        return BuildWriteSingleRequest(out, slave, a, b);
    case 2: {
        uint16_t values[kMaxWriteRegisters];
        const auto count = in.ConsumeIntegralInRange<uint16_t>(0, kMaxWriteRegisters);
        for (uint16_t i = 0; i < count; ++i)
            values[i] = static_cast<uint16_t>(a + i * b);
        return BuildWriteMultipleRequest(out, slave, a, values, count);
    }
    default:
        return BuildReadDeviceIdRequest(out, slave, static_cast<uint8_t>(a),
                                        static_cast<uint8_t>(b));
    }
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t slave = in.ConsumeIntegral<uint8_t>();
    uint8_t current[kRtuMaxFrame], stale[kRtuMaxFrame];
    const size_t currentLen = BuildRequest(in, current, slave);
    Check(CheckReply(slave, current, static_cast<uint32_t>(currentLen)));
    const size_t staleLen = in.ConsumeBool() ? BuildRequest(in, stale, slave) : 0;

    CReplyAssembler rx;
    rx.Reset(slave);
    rx.SetRequests(current, currentLen, staleLen ? stale : nullptr, staleLen);
    while (in.remaining_bytes() > 0) {
        const bool fixCrc = in.ConsumeBool();
        std::vector<uint8_t> chunk =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 300));
        if (fixCrc && !chunk.empty()) {
            // Mostly well-formed frames, so the length and late-answer rules
            // are reached, not only the CRC test.
            chunk[0] = slave;
            const size_t n = chunk.size();
            chunk.resize(n + 2);
            AppendCrc(chunk.data(), n);
        }
        rx.Feed(chunk.data(), chunk.size());
        Check(rx.Length() <= kRtuMaxFrame);
        if (rx.Judge() == CReplyAssembler::EState::Complete) {
            const size_t n = rx.FrameLength();
            Check(n >= 4 && n <= rx.Length());
            Check(CheckReply(slave, rx.Data(), static_cast<uint32_t>(n)));
            ExpectedReplyLength(rx.Data(), n);
            ReplyAnswers(current, currentLen, rx.Data(), n);
            break;
        }
        Check(rx.FrameLength() == 0);
    }
    // The checks on their own never read outside what they are given.
    std::vector<uint8_t> raw(data, data + size);
    CheckReply(slave, raw.data(), static_cast<uint32_t>(raw.size()));
    ExpectedReplyLength(raw.data(), raw.size());
    ReplyAnswers(current, currentLen, raw.data(), raw.size());
    return 0;
}
