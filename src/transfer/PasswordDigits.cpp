#include "transfer/PasswordDigits.h"

std::array<std::uint8_t, kPasswordReplyBytes> PackPasswordDigits(std::string_view text) noexcept {
    std::array<std::uint8_t, kPasswordReplyBytes> out;
    out.fill(0xFF);
    std::size_t characters = 0;
    std::size_t digits = 0;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        // A UTF-8 continuation byte (10xxxxxx) belongs to the character before it.
        if ((byte & 0xC0u) != 0x80u) {
            if (characters == kPasswordCharactersExamined) {
                break;
            }
            ++characters;
        }
        if (ch < '0' || ch > '9' || digits == 2 * kPasswordReplyBytes) {
            continue;
        }
        const auto value = static_cast<std::uint8_t>(ch - '0');
        std::uint8_t& target = out[digits / 2];
        target = digits % 2 == 0 ? static_cast<std::uint8_t>((target & 0x0Fu) | (value << 4))
                                 : static_cast<std::uint8_t>((target & 0xF0u) | value);
        ++digits;
    }
    return out;
}
