#include "convert/CodeplugText.h"

#include <cmath>
#include <utility>

int hexDigitValue(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return 0;
}

int hexTextToBytes(uint8_t* dest, std::size_t capacity, const std::string& text, bool skip) {
    // Blanks and control characters, DEL among them.
    auto isTrimmed = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= ' ' || u == 0x7F;
    };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isTrimmed(text[first]))
        ++first;
    while (last > first && isTrimmed(text[last - 1]))
        --last;

    std::size_t stored = 0;
    const std::size_t step = skip ? 3 : 2;
    for (std::size_t i = first; i + 2 <= last && stored < capacity; i += step) {
        dest[stored++] =
            static_cast<uint8_t>(hexDigitValue(text[i]) * 16 + hexDigitValue(text[i + 1]));
    }
    return static_cast<int>(stored);
}

std::string bytesToText(const uint8_t* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

long roundHalfUp(double x) {
    const double down = std::floor(x);
    return static_cast<long>(x - down >= 0.5 ? std::ceil(x) : down);
}

void swapWordBytes(uint8_t* buffer, std::size_t count) {
    for (std::size_t k = 0; k + 1 < count; k += 2)
        std::swap(buffer[k], buffer[k + 1]);
}
