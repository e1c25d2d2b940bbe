#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "transfer/Des.h"

// The keystream that masks every codeplug block sent to the radio: DES in the 8-bit output
// feedback mode of FIPS PUB 81. The radio descrambles with the same key and the same initial
// register, so both ends must consume the keystream in the same order: two bytes per block, in
// sending order, across all the blocks of one download.
//
// A value type: each download owns one, initialised at its start; there is no shared state.
// A default-constructed cipher behaves as if initialised with an all-zero key and register.
class OfbCipher {
  public:
    static constexpr std::size_t kKeyBytes = 8;
    static constexpr std::size_t kRegisterBytes = 8;
    static constexpr std::size_t kBlockBytes = 128;

    using Key = std::array<std::uint8_t, kKeyBytes>;
    using Register = std::array<std::uint8_t, kRegisterBytes>;
    using Block = std::array<std::uint8_t, kBlockBytes>;

    // Builds the DES key schedule from the key (parity bits ignored) and loads the feedback
    // register.
    void InitKeystream(const Key& key, const Register& initialRegister) noexcept;

    // Encrypts the register, takes the first (most significant) byte of the output, shifts the
    // register left by one byte with that byte entering at the end, and returns it.
    std::uint8_t NextKeystreamByte() noexcept;

    // Scrambles a plain block in place with the next two keystream bytes k0 and k1: byte 0
    // becomes b1 ^ k0 and byte 1 becomes b0 ^ k1; every later word (x, y) becomes
    // (y ^ new byte 0, x ^ new byte 1). So each word has its bytes exchanged, the first word
    // is masked with the keystream and every other word with the masked first word.
    void ScrambleBlock(Block& block) noexcept;

    // The inverse of ScrambleBlock for a cipher in the same keystream position (what the
    // radio does with a received block).
    void UnscrambleBlock(Block& block) noexcept;

    // The current feedback register.
    Register FeedbackRegister() const noexcept { return DesBlockToBytes(register_); }

  private:
    DesKeySchedule schedule_{};  // all round keys zero: the schedule of the all-zero key
    std::uint64_t register_ = 0;
};

// The fixed key of the codeplug download: the ASCII characters "J&J&J&J&".
inline constexpr OfbCipher::Key kDownloadKey = {'J', '&', 'J', '&', 'J', '&', 'J', '&'};

// The initial feedback register for a radio's access code: its 16 hexadecimal digits (either
// case) as 8 bytes, first pair first. Any other text (empty, shorter, longer, or with a character
// that is no hexadecimal digit) gives eight zero bytes, so a radio that did not report its code
// still gets a defined keystream.
OfbCipher::Register AccessCodeRegister(std::string_view accessCode) noexcept;
