#include "transfer/OfbCipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

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

TEST(OfbCipher, KeystreamByteIsTheFirstOutputByteFedBackIntoTheRegister) {
    const std::uint64_t key = 0x0123456789ABCDEF;
    std::uint64_t reg = 0x1234567890ABCDEF;
    OfbCipher cipher;
    cipher.InitKeystream(DesBlockToBytes(key), DesBlockToBytes(reg));
    EXPECT_EQ(cipher.FeedbackRegister(), DesBlockToBytes(reg));
    const DesKeySchedule schedule = MakeDesKeySchedule(key);
    for (int i = 0; i < 40; ++i) {
        const auto expected = static_cast<std::uint8_t>(DesEncrypt(schedule, reg) >> 56);
        ASSERT_EQ(cipher.NextKeystreamByte(), expected) << "byte " << i;
        reg = (reg << 8) | expected;
        ASSERT_EQ(cipher.FeedbackRegister(), DesBlockToBytes(reg)) << "byte " << i;
    }
}

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

TEST(ScrambleBlock, ZeroBlockIsSixtyFourCopiesOfTheMaskedFirstWord) {
    const std::vector<std::uint8_t> stream = Keystream(DownloadCipher(), 2);
    OfbCipher cipher = DownloadCipher();
    OfbCipher::Block block{};
    cipher.ScrambleBlock(block);
    for (std::size_t i = 0; i < OfbCipher::kBlockBytes; i += 2) {
        EXPECT_EQ(block[i], stream[0]) << "byte " << i;
        EXPECT_EQ(block[i + 1], stream[1]) << "byte " << i + 1;
    }
}

TEST(ScrambleBlock, ExchangesTheBytesOfEveryWordAndMasksThem) {
    std::mt19937 rng(7);
    const OfbCipher::Block plain = RandomBlock(rng);
    const std::vector<std::uint8_t> k = Keystream(DownloadCipher(), 2);
    OfbCipher::Block block = plain;
    OfbCipher cipher = DownloadCipher();
    cipher.ScrambleBlock(block);
    const std::uint8_t m0 = plain[1] ^ k[0];
    const std::uint8_t m1 = plain[0] ^ k[1];
    EXPECT_EQ(block[0], m0);
    EXPECT_EQ(block[1], m1);
    for (std::size_t i = 2; i < OfbCipher::kBlockBytes; i += 2) {
        EXPECT_EQ(block[i], plain[i + 1] ^ m0) << "byte " << i;
        EXPECT_EQ(block[i + 1], plain[i] ^ m1) << "byte " << i + 1;
    }
    // Exactly two keystream bytes were used.
    OfbCipher reference = DownloadCipher();
    reference.NextKeystreamByte();
    reference.NextKeystreamByte();
    EXPECT_EQ(cipher.FeedbackRegister(), reference.FeedbackRegister());
}

TEST(ScrambleBlock, KeystreamRunsOnAcrossBlocks) {
    const std::vector<std::uint8_t> stream = Keystream(DownloadCipher(), 6);
    OfbCipher cipher = DownloadCipher();
    OfbCipher::Block first{};
    OfbCipher::Block second{};
    OfbCipher::Block third{};
    cipher.ScrambleBlock(first);
    cipher.ScrambleBlock(second);
    cipher.ScrambleBlock(third);
    EXPECT_EQ(second[0], stream[2]);
    EXPECT_EQ(second[1], stream[3]);
    EXPECT_EQ(third[126], stream[4]);
    EXPECT_EQ(third[127], stream[5]);
    EXPECT_NE(first, second);
    EXPECT_NE(second, third);
}

TEST(ScrambleBlock, SameBlockInAnotherPositionScramblesDifferently) {
    std::mt19937 rng(11);
    const OfbCipher::Block a = RandomBlock(rng);
    const OfbCipher::Block b = RandomBlock(rng);

    OfbCipher first = DownloadCipher();
    OfbCipher::Block aFirst = a;
    OfbCipher::Block bSecond = b;
    first.ScrambleBlock(aFirst);
    first.ScrambleBlock(bSecond);

    OfbCipher second = DownloadCipher();
    OfbCipher::Block bFirst = b;
    OfbCipher::Block aSecond = a;
    second.ScrambleBlock(bFirst);
    second.ScrambleBlock(aSecond);

    EXPECT_NE(aFirst, aSecond);
    EXPECT_NE(bFirst, bSecond);
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
