#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The four bytes of the password reply: the decimal digits among the first 12 characters of
// the password, packed two per byte, the first digit of a pair in the high nibble. At most 8
// digits are placed; nibbles that receive no digit stay 0xF, so "1234" gives 12 34 FF FF.
// Every other character is skipped. Characters are counted as UTF-8 code points, so a letter
// outside ASCII counts once, as the user typed it.
inline constexpr std::size_t kPasswordReplyBytes = 4;
inline constexpr std::size_t kPasswordCharactersExamined = 12;

std::array<std::uint8_t, kPasswordReplyBytes> PackPasswordDigits(std::string_view text) noexcept;
