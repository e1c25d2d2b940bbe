#include "transfer/PasswordDigits.h"

#include <gtest/gtest.h>

using Reply = std::array<std::uint8_t, kPasswordReplyBytes>;

TEST(PackPasswordDigits, FourDigitsFillTheFirstTwoBytes) {
    EXPECT_EQ(PackPasswordDigits("1234"), (Reply{0x12, 0x34, 0xFF, 0xFF}));
}

TEST(PackPasswordDigits, EightDigitsFillAllFourBytesInEntryOrder) {
    EXPECT_EQ(PackPasswordDigits("87654321"), (Reply{0x87, 0x65, 0x43, 0x21}));
}

TEST(PackPasswordDigits, TwoDigitsAmongLettersGoIntoByteZero) {
    EXPECT_EQ(PackPasswordDigits("ab1cd2ef"), (Reply{0x12, 0xFF, 0xFF, 0xFF}));
}

TEST(PackPasswordDigits, TenDigitsSendOnlyTheFirstEight) {
    EXPECT_EQ(PackPasswordDigits("0123456789"), (Reply{0x01, 0x23, 0x45, 0x67}));
}

TEST(PackPasswordDigits, TwelveLettersThenDigitsSendNoDigit) {
    EXPECT_EQ(PackPasswordDigits("abcdefghijkl1234"), (Reply{0xFF, 0xFF, 0xFF, 0xFF}));
    // The twelfth character is still examined.
    EXPECT_EQ(PackPasswordDigits("abcdefghijk1234"), (Reply{0x1F, 0xFF, 0xFF, 0xFF}));
}

TEST(PackPasswordDigits, OddDigitCountLeavesTheLowNibbleF) {
    EXPECT_EQ(PackPasswordDigits("123"), (Reply{0x12, 0x3F, 0xFF, 0xFF}));
    EXPECT_EQ(PackPasswordDigits("5"), (Reply{0x5F, 0xFF, 0xFF, 0xFF}));
}

TEST(PackPasswordDigits, EmptyAndDigitlessTexts) {
    EXPECT_EQ(PackPasswordDigits(""), (Reply{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(PackPasswordDigits("secret"), (Reply{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(PackPasswordDigits, ZeroDigitsAreRealDigits) {
    EXPECT_EQ(PackPasswordDigits("0000"), (Reply{0x00, 0x00, 0xFF, 0xFF}));
}

TEST(PackPasswordDigits, CharactersOutsideAsciiCountOnce) {
    const std::string e = "\xC3\xA9";  // U+00E9 in UTF-8: two bytes, one character
    std::string eleven;
    for (int i = 0; i < 11; ++i) {
        eleven += e;
    }
    EXPECT_EQ(PackPasswordDigits(eleven + "42"), (Reply{0x4F, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(PackPasswordDigits(eleven + e + "42"), (Reply{0xFF, 0xFF, 0xFF, 0xFF}));
}
