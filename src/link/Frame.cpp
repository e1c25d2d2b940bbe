#include "link/Frame.h"

namespace frame {

std::uint8_t Checksum(std::uint8_t addr1, std::uint8_t addr2, const std::uint8_t* payload,
                      int count) {
    unsigned sum = addr1 + addr2;
    for (int i = 0; i < count; ++i)
        sum += payload[i];
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

namespace {
void PutEscaped(WireFrame& f, std::uint8_t b) {
    if (b == kStart) {
        f.bytes[f.length++] = kEscape;
        f.bytes[f.length++] = kEscapedStart;
    } else if (b == kEnd) {
        f.bytes[f.length++] = kEscape;
        f.bytes[f.length++] = kEscapedEnd;
    } else if (b == kEscape) {
        f.bytes[f.length++] = kEscape;
        f.bytes[f.length++] = kEscapedEscape;
    } else {
        f.bytes[f.length++] = b;
    }
}
}  // namespace

WireFrame Encode(const std::uint8_t* payload, int count, std::uint8_t addr1, std::uint8_t addr2) {
    if (count < 0 || payload == nullptr)
        count = 0;
    if (count > MessageRecord::kCapacity)
        count = MessageRecord::kCapacity;
    WireFrame f;
    f.bytes[f.length++] = kStart;
    f.bytes[f.length++] = addr1;
    f.bytes[f.length++] = addr2;
    for (int i = 0; i < count; ++i)
        PutEscaped(f, payload[i]);
    PutEscaped(f, Checksum(addr1, addr2, payload, count));
    f.bytes[f.length++] = kEnd;
    return f;
}

}  // namespace frame
