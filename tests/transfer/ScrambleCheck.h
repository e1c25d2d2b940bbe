#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "transfer/OfbCipher.h"

// Whether block is plain scrambled with the keystream bytes k0 and k1: every word's bytes
// exchanged, the first word masked with k0 k1 and every later word with the masked first word.
inline ::testing::AssertionResult IsScrambled(const OfbCipher::Block& plain,
                                              const OfbCipher::Block& block, std::uint8_t k0,
                                              std::uint8_t k1) {
    const auto m0 = static_cast<std::uint8_t>(plain[1] ^ k0);
    const auto m1 = static_cast<std::uint8_t>(plain[0] ^ k1);
    for (std::size_t i = 0; i < block.size(); i += 2) {
        const int want0 = i == 0 ? m0 : plain[i + 1] ^ m0;
        const int want1 = i == 0 ? m1 : plain[i] ^ m1;
        if (block[i] != want0 || block[i + 1] != want1)
            return ::testing::AssertionFailure()
                   << "word at byte " << i << " is " << int{block[i]} << " " << int{block[i + 1]}
                   << ", not " << want0 << " " << want1;
    }
    return ::testing::AssertionSuccess();
}
