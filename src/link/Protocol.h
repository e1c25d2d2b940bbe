#pragma once

#include <cstdint>

// Sum modulo 65536 of the big-endian 16-bit words data[0]*256+data[1], data[2]*256+data[3], ...
// over length bytes. An odd final byte counts as the high byte of a word whose low byte is 0.
std::uint16_t WordChecksum(const std::uint8_t* data, int length);

// Index into the serial device's baud table: 9600 -> 12, 38400 -> 15, 57600 -> 17,
// 115200 -> 19, anything else -> 14 (19200).
int DeviceBaudIndex(int baud);

// Rate byte of the rate-change command 09 00 c: 9600 -> 0, 38400 -> 3, 57600 -> 4,
// 115200 -> 5, anything else -> 1 (19200).
std::uint8_t RateChangeCode(int baud);
// The rate a rate-change byte asks for; 0 for a byte no rate has.
int RateFromChangeCode(std::uint8_t code);
