// The line monitor and the frame decoder, fed arbitrary bytes in arbitrary
// chunks and gaps: nothing may crash, and every byte fed comes out again,
// in a frame or as noise, once the line has gone quiet.

#include "driver/FrameDecode.h"
#include "driver/LineMonitor.h"
#include "modbus/Crc16.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <limits>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // The first bytes, with a correct CRC, decoded alone as an exchange: the
    // decoder's own paths beyond the CRC check.
    {
        std::vector<uint8_t> q = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
        std::vector<uint8_t> r = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 80));
        for (std::vector<uint8_t>* f : {&q, &r}) {
            const uint16_t crc = Crc16Value(f->data(), f->size());
            f->push_back(static_cast<uint8_t>(crc & 0xFF));
            f->push_back(static_cast<uint8_t>(crc >> 8));
        }
        DecodeContext ctx;
        ctx.speedUnitHz = in.ConsumeBool();
        (void)TransactionText(DecodeExchange(q.data(), q.size(), r.data(), r.size(), ctx));
        (void)TransactionText(DecodeExchange(nullptr, 0, r.data(), r.size(), ctx));
    }
    CLineMonitor mon(50, 1000);
    double t = 0;
    size_t fed = 0, out = 0;
    while (in.remaining_bytes() > 0) {
        t += in.ConsumeIntegralInRange<int>(0, 120);
        const std::vector<uint8_t> chunk =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 64));
        mon.Feed(chunk.data(), chunk.size(), t);
        fed += chunk.size();
        if (in.ConsumeBool())
            mon.Tick(t + in.ConsumeIntegralInRange<int>(0, 2000));
        for (const SLineEvent& e : mon.Take()) {
            out += e.request.size() + e.reply.size();
            (void)TransactionText(e.tx);
        }
    }
    mon.Tick(std::numeric_limits<double>::infinity());
    for (const SLineEvent& e : mon.Take())
        out += e.request.size() + e.reply.size();
    if (out != fed)
        std::abort();
    return 0;
}
