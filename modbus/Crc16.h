#pragma once
// CRC-16/MODBUS (poly 0xA001 reflected, init 0xFFFF), table driven.

#include <cstddef>
#include <cstdint>

// Returns the CRC with the byte sent first (the CRC's low byte) in the HIGH
// byte of the result, so the frame bytes read left to right: 01 03 00 00 00 01
// gives 0x840A. When given, loOut/hiOut receive the running CRC low and high
// byte after each input byte (len entries each).
uint16_t Crc16(const uint8_t* data, size_t len, uint8_t* loOut = nullptr, uint8_t* hiOut = nullptr);

// The conventional CRC value (check value of "123456789" is 0x4B37).
uint16_t Crc16Value(const uint8_t* data, size_t len);

// Appends the two CRC bytes (low first) behind len bytes; returns len + 2.
size_t AppendCrc(uint8_t* frame, size_t len);
