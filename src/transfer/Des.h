#pragma once

#include <array>
#include <cstdint>

// The Data Encryption Standard of FIPS PUB 46-3, written out from the standard's tables (the
// product carries no cryptographic library). It is used here only to produce the keystream that
// masks codeplug blocks on their way to the radio; it is not offered as a security measure.
//
// Blocks and keys are 64-bit numbers whose most significant bit is the standard's bit 1, i.e.
// the first byte of an 8-byte block is the most significant byte.

struct DesKeySchedule {
    // The 16 round keys K1..K16, 48 bits each, in the low bits.
    std::array<std::uint64_t, 16> roundKeys{};
};

// Computes the round keys. The low bit of every key byte (the parity bit) is ignored.
DesKeySchedule MakeDesKeySchedule(std::uint64_t key) noexcept;

std::uint64_t DesEncrypt(const DesKeySchedule& schedule, std::uint64_t block) noexcept;
std::uint64_t DesDecrypt(const DesKeySchedule& schedule, std::uint64_t block) noexcept;

// Big-endian conversion between 8 bytes and a DES block.
std::uint64_t DesBlockFromBytes(const std::array<std::uint8_t, 8>& bytes) noexcept;
std::array<std::uint8_t, 8> DesBlockToBytes(std::uint64_t block) noexcept;
