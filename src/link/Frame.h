#pragma once

#include <cstdint>

#include "link/LinkTypes.h"

// Wire framing of the radio protocol:
//   BA addr1 addr2 payload... checksum 7E
// Payload and checksum are escaped (10 -> 10 02, 7E -> 10 01, BA -> 10 00); the start byte,
// the two address bytes and the end byte never are. The checksum brings the 8-bit sum of both
// address bytes, the payload and itself to zero.
namespace frame {

constexpr std::uint8_t kStart = 0xBA;
constexpr std::uint8_t kEnd = 0x7E;
constexpr std::uint8_t kEscape = 0x10;
constexpr std::uint8_t kEscapedStart = 0x00;   // 10 00 stands for BA
constexpr std::uint8_t kEscapedEnd = 0x01;     // 10 01 stands for 7E
constexpr std::uint8_t kEscapedEscape = 0x02;  // 10 02 stands for 10

constexpr std::uint8_t kAddrTool = 0x7F;    // first address byte of every frame the tool sends
constexpr std::uint8_t kAddrRadio = 0x01;   // second address byte: the radio
constexpr std::uint8_t kAddrBox = 0x4F;     // second address byte: the interface box
constexpr std::uint8_t kAddrToTool = 0x7F;  // second address byte a reply must carry

// Largest wire frame: start, two addresses, every payload byte and the checksum escaped, end.
constexpr int kMaxWireBytes = 3 + 2 * (MessageRecord::kCapacity + 1) + 1;

struct WireFrame {
    std::uint8_t bytes[kMaxWireBytes] = {};
    int length = 0;
};

std::uint8_t Checksum(std::uint8_t addr1, std::uint8_t addr2, const std::uint8_t* payload,
                      int count);

// True for the bytes that travel as a two-byte escape.
inline bool NeedsEscape(std::uint8_t b) {
    return b == kStart || b == kEnd || b == kEscape;
}

// Builds the complete wire frame for count payload bytes (count is clamped to 0..1024).
WireFrame Encode(const std::uint8_t* payload, int count, std::uint8_t addr1 = kAddrTool,
                 std::uint8_t addr2 = kAddrRadio);

}  // namespace frame
