#include "transfer/OfbCipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "ScrambleCheck.h"

namespace {

const OfbCipher::Register kAccessCode = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

OfbCipher DownloadCipher(const OfbCipher::Register& reg = kAccessCode) {
    OfbCipher cipher;
    cipher.InitKeystream(kDownloadKey, reg);
    return cipher;
}

std::vector<std::uint8_t> Keystream(OfbCipher cipher, std::size_t count) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(cipher.NextKeystreamByte());
    }
    return bytes;
}

OfbCipher::Block RandomBlock(std::mt19937& rng) {
    OfbCipher::Block block{};
    for (auto& byte : block) {
        byte = static_cast<std::uint8_t>(rng());
    }
    return block;
}

}  // namespace

TEST(OfbCipher, EachCipherHasItsOwnStateAndInitialisationRestartsIt) {
    OfbCipher a = DownloadCipher();
    OfbCipher b = DownloadCipher();
    const std::vector<std::uint8_t> first = Keystream(a, 16);
    for (int i = 0; i < 5; ++i) {
        a.NextKeystreamByte();
    }
    EXPECT_EQ(Keystream(b, 16), first);  // b did not move with a
    a.InitKeystream(kDownloadKey, kAccessCode);
    EXPECT_EQ(Keystream(a, 16), first);
    EXPECT_NE(Keystream(DownloadCipher({0, 0, 0, 0, 0, 0, 0, 1}), 16), first);
}

TEST(ScrambleBlock, ExchangesTheBytesOfEveryWordAndMasksThem) {
    std::mt19937 rng(7);
    const std::vector<std::uint8_t> k = Keystream(DownloadCipher(), 2);
    // The zero block comes out as 64 copies of the masked first word.
    for (const OfbCipher::Block& plain : {OfbCipher::Block{}, RandomBlock(rng)}) {
        OfbCipher::Block block = plain;
        OfbCipher cipher = DownloadCipher();
        cipher.ScrambleBlock(block);
        EXPECT_TRUE(IsScrambled(plain, block, k[0], k[1]));
        // Exactly two keystream bytes were used.
        OfbCipher reference = DownloadCipher();
        reference.NextKeystreamByte();
        reference.NextKeystreamByte();
        EXPECT_EQ(cipher.FeedbackRegister(), reference.FeedbackRegister());
    }
}

// Each block takes the next two keystream bytes, so the same block scrambles differently in
// another position.
TEST(ScrambleBlock, KeystreamRunsOnAcrossBlocks) {
    const std::vector<std::uint8_t> stream = Keystream(DownloadCipher(), 6);
    OfbCipher cipher = DownloadCipher();
    OfbCipher::Block previous{};
    for (std::size_t n = 0; n < 3; ++n) {
        OfbCipher::Block block{};
        cipher.ScrambleBlock(block);
        EXPECT_TRUE(IsScrambled({}, block, stream[2 * n], stream[2 * n + 1])) << "block " << n;
        EXPECT_NE(block, previous) << "block " << n;
        previous = block;
    }
}

TEST(ScrambleBlock, UnscrambleRecoversAWholeDownload) {
    // 256 blocks, the most a codeplug download sends, scrambled by the PC and descrambled by
    // a receiver that started from the same access code.
    std::mt19937 rng(2024);
    OfbCipher sender = DownloadCipher();
    OfbCipher receiver = DownloadCipher();
    for (int n = 0; n < 256; ++n) {
        const OfbCipher::Block plain = RandomBlock(rng);
        OfbCipher::Block block = plain;
        sender.ScrambleBlock(block);
        receiver.UnscrambleBlock(block);
        ASSERT_EQ(block, plain) << "block " << n;
    }
    EXPECT_EQ(sender.FeedbackRegister(), receiver.FeedbackRegister());
}

TEST(AccessCodeRegister, SixteenHexDigitsGiveEightBytes) {
    EXPECT_EQ(AccessCodeRegister("0123456789ABCDEF"), kAccessCode);
    EXPECT_EQ(AccessCodeRegister("0123456789abcdef"), kAccessCode);
    EXPECT_EQ(AccessCodeRegister("FFFFFFFFFFFFFFFF"),
              (OfbCipher::Register{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(AccessCodeRegister, AnyOtherTextGivesEightZeroBytes) {
    const OfbCipher::Register zero{};
    for (const char* text :
         {"", "0123456789ABCDE", "0123456789ABCDEF0", "0123456789ABCDEG", " 123456789ABCDEF",
          "0123456789ABCDE ", "01-23-45-67-89-AB", "0x23456789ABCDEF"}) {
        EXPECT_EQ(AccessCodeRegister(text), zero) << '"' << text << '"';
    }
}
