#include "convert/CodeplugVersion.h"

uint8_t versionIndexOf(int major, int minor) {
    if (major == 5 && minor >= 5 && minor <= 10)
        return static_cast<uint8_t>(minor - 5);
    return kUnknownVersion;
}

void versionNumbersOf(uint8_t index, int& major, int& minor) {
    if (index < 6) {
        major = 5;
        minor = index + 5;
    } else {
        major = 0;
        minor = 0;
    }
}

uint8_t codeplugVersionIndex(const CodeplugImage& img) {
    const uint16_t stamp = img.word(3);
    return versionIndexOf(stamp >> 8, stamp & 0xFF);
}
