#pragma once

#include <cstdint>

// Result of a wait, a download or a check. The numbers are the ones the update's outcome is
// defined by (a status line or a trace shows them), so they stay fixed.
enum class LinkResult : int {
    kSuccess = 1,
    // The component's reply timeout fired while the line was idle, or no timeout could be prepared.
    kCommProblem = 2,
    // The wait ended because enabled went false (device timeout or Stop).
    kTimedOut = 4,
    // The radio gave no boot information (target kinds that may lack it).
    kNoBootInfo = 5,
    kVerifyFailure = 6,
    kSemFailed = 8,
    kProcessorMismatch = 9,
};

// The number a result is defined by, for a trace line or a status text.
constexpr int ToInt(LinkResult result) {
    return static_cast<int>(result);
}

// One-byte code 0..8 for the kind of radio (family and series class).
using TargetKind = std::uint8_t;

// The unit of every request and reply. For a framed request the buffer holds the payload
// (command code, then data) and the low 8 bits of length count it; for a raw request it holds
// finished wire bytes; for a reply it holds the received payload, command code first.
struct MessageRecord {
    static constexpr int kCapacity = 1024;
    std::int32_t length = 0;
    std::uint8_t buffer[kCapacity] = {};
};
