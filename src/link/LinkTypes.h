#pragma once

#include <cstdint>

// Result of a wait, a download or a check. The numbers are fixed: callers compare them.
using LinkResult = int;
constexpr LinkResult kLinkSuccess = 1;
// The component's reply timeout fired while the line was idle, or no timeout could be prepared.
constexpr LinkResult kLinkCommProblem = 2;
// The wait ended because enabled went false (device timeout or Stop).
constexpr LinkResult kLinkTimedOut = 4;
// The radio gave no boot information (target kinds that may lack it).
constexpr LinkResult kLinkNoBootInfo = 5;
constexpr LinkResult kLinkVerifyFailure = 6;
constexpr LinkResult kLinkSemFailed = 8;
constexpr LinkResult kLinkProcessorMismatch = 9;

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
