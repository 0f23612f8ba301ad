// The virtual driver's register map held against the block catalogue. The
// two are kept apart on purpose, so a block the tool reads or writes that the
// virtual driver lacks, holds shorter or refuses is found here rather than
// by whichever page or command happens to touch it first.

#include "driver/Catalogue.h"
#include "sim/VirtualDriver.h"
#include "tests/core/TestBytes.h"

#include <gtest/gtest.h>

namespace {

Bytes Exchange(CVirtualDriver& drv, const Bytes& pdu) {
    const Bytes req = WithCrc(pdu);
    return drv.HandleFrame(req.data(), req.size());
}

// Registers read with function 3; empty on any other reply.
std::vector<uint16_t> Read(CVirtualDriver& drv, uint16_t start, uint16_t count) {
    const Bytes r = Exchange(drv, Cat({1, 0x03}, Regs({start, count})));
    std::vector<uint16_t> out;
    if (r.size() != 5u + 2 * count || r[1] != 0x03)
        return out;
    for (size_t i = 3; i + 2 < r.size(); i += 2)
        out.push_back(static_cast<uint16_t>(r[i] << 8 | r[i + 1]));
    return out;
}

// Every writable block is written whole with function 16, as the pages and
// an import write it, before any is read back: a block that overlaps or
// shadows another shows as well as one that is missing.
TEST(VirtualDriverCatalogue, EveryWritableBlockReadsBackWhatWasWritten) {
    CVirtualDriver drv(1);
    // Distinct in every register of every block, and unlike any default.
    auto pattern = [](const BlockDef& b) {
        std::vector<uint16_t> v;
        for (uint16_t i = 0; i < b.count; ++i)
            v.push_back(static_cast<uint16_t>(0xA000 + b.start + i));
        return v;
    };
    int writable = 0;
    for (const BlockDef& b : AllBlocks()) {
        if (!b.writable)
            continue;
        SCOPED_TRACE(b.name);
        ++writable;
        const Bytes head = Cat({1, 0x10}, Regs({b.start, b.count}));
        const Bytes req = Cat(Cat(head, {static_cast<uint8_t>(2 * b.count)}), Regs(pattern(b)));
        EXPECT_EQ(Exchange(drv, req), WithCrc(head));
    }
    EXPECT_GE(writable, 10);
    for (const BlockDef& b : AllBlocks()) {
        if (!b.writable)
            continue;
        EXPECT_EQ(Read(drv, b.start, b.count), pattern(b)) << b.name;
    }
}

} // namespace
