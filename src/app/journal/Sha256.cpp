#include "app/journal/Sha256.h"

#include <nettle/sha2.h>

#include <array>

std::string Sha256Hex(const std::uint8_t* data, std::size_t length) {
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, length, data);
    std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
    sha256_digest(&context, digest.size(), digest.data());
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (const std::uint8_t byte : digest) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}
