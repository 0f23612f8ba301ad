#include "modbus/Crc16.h"

#include <array>

namespace {

struct CrcTables {
    std::array<uint8_t, 256> lo{};
    std::array<uint8_t, 256> hi{};
};

constexpr CrcTables MakeTables() {
    CrcTables t;
    for (int i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
        t.lo[static_cast<size_t>(i)] = static_cast<uint8_t>(c & 0xFF);
        t.hi[static_cast<size_t>(i)] = static_cast<uint8_t>(c >> 8);
    }
    return t;
}

constexpr CrcTables kTables = MakeTables();

} // namespace

uint16_t Crc16(const uint8_t* data, size_t len, uint8_t* loOut, uint8_t* hiOut) {
    uint8_t lo = 0xFF, hi = 0xFF;
    if (!loOut && !hiOut) { // every frame takes this path: keep it tight
        for (size_t i = 0; i < len; ++i) {
            const uint8_t idx = static_cast<uint8_t>(data[i] ^ lo);
            lo = static_cast<uint8_t>(kTables.lo[idx] ^ hi);
            hi = kTables.hi[idx];
        }
        return static_cast<uint16_t>((lo << 8) | hi);
    }
    for (size_t i = 0; i < len; ++i) {
        uint8_t idx = static_cast<uint8_t>(data[i] ^ lo);
        lo = static_cast<uint8_t>(kTables.lo[idx] ^ hi);
        hi = kTables.hi[idx];
        if (loOut)
            loOut[i] = lo;
        if (hiOut)
            hiOut[i] = hi;
    }
    return static_cast<uint16_t>((lo << 8) | hi);
}

uint16_t Crc16Value(const uint8_t* data, size_t len) {
    uint16_t c = Crc16(data, len);
    return static_cast<uint16_t>((c >> 8) | (c << 8));
}

size_t AppendCrc(uint8_t* frame, size_t len) {
    uint16_t c = Crc16(frame, len);
    frame[len] = static_cast<uint8_t>(c >> 8);
    frame[len + 1] = static_cast<uint8_t>(c & 0xFF);
    return len + 2;
}
