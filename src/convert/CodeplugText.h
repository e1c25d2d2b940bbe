#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Small text and byte helpers around the codeplug and its access code.

// '0'-'9', 'A'-'F', 'a'-'f' give 0..15; any other character gives 0.
int hexDigitValue(char ch);
// Trims blanks and control characters from both ends, then reads pairs of hexadecimal digits,
// skipping one separator between pairs when skip is set. Stores at most capacity bytes and
// returns the number stored.
int hexTextToBytes(uint8_t* dest, std::size_t capacity, const std::string& text, bool skip);
// Two upper-case hexadecimal digits per byte.
std::string bytesToText(const uint8_t* bytes, std::size_t count);
// x - floor(x) >= 0.5 gives ceil(x), else floor(x).
long roundHalfUp(double x);
// Exchanges bytes 2k and 2k+1 for every whole word in the first count bytes.
void swapWordBytes(uint8_t* buffer, std::size_t count);
