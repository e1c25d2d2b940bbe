#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Hexadecimal text helpers shared by the S-record reader and the main window. Pure and
// constexpr so that they can be checked at compile time as well as in the tests.

// Value of one hexadecimal digit: '0'-'9' give 0-9, 'A'-'F' and 'a'-'f' give 10-15, any other
// character gives -1.
constexpr int HexDigitValue(char ch) noexcept {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    return -1;
}

// Reads the hexadecimal number at the start of text. An empty text gives 0. The first
// character's value is the start value, so a text that does not start with a digit gives -1;
// every further character is taken while it is a digit, and the first one that is not ends the
// scan. Digits beyond the eighth wrap the value modulo 2^32 (the result is the low 32 bits as a
// two's-complement int); the callers read two-digit fields.
constexpr int ParseHex(std::string_view text) noexcept {
    if (text.empty()) {
        return 0;
    }
    const int first = HexDigitValue(text[0]);
    if (first < 0) {
        return -1;
    }
    std::uint32_t value = static_cast<std::uint32_t>(first);
    for (std::size_t i = 1; i < text.size(); ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0) {
            break;
        }
        value = value * 16u + static_cast<std::uint32_t>(digit);
    }
    return static_cast<int>(static_cast<std::int32_t>(value));
}

// Bytes as upper-case hexadecimal text, two digits a byte.
inline std::string HexText(const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(kDigits[data[i] >> 4]);
        text.push_back(kDigits[data[i] & 0x0F]);
    }
    return text;
}
