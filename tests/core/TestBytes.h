#pragma once
// Byte helpers shared by the protocol tests: frames are written as hex text
// so that each test reads like the wire.

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// "01 03 00 50" -> {0x01, 0x03, 0x00, 0x50}; blanks are ignored.
inline Bytes Hex(std::string_view text) {
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    Bytes out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A frame body followed by its CRC (low byte first), computed bit by bit so
// that the table-driven code under test is checked against an independent form.
inline Bytes WithCrc(Bytes frame) {
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : frame) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
    }
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// Big-endian registers of a function-3 reply or a function-16 request.
inline Bytes Regs(const std::vector<uint16_t>& regs) {
    Bytes out;
    for (uint16_t r : regs) {
        out.push_back(static_cast<uint8_t>(r >> 8));
        out.push_back(static_cast<uint8_t>(r & 0xFF));
    }
    return out;
}

// A whole file as it is on disk, "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}
