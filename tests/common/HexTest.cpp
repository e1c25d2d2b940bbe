#include "common/Hex.h"

#include <gtest/gtest.h>

#include <string>

static_assert(HexDigitValue('7') == 7);
static_assert(HexDigitValue('f') == 15);
static_assert(ParseHex("1F") == 31);

TEST(HexDigitValue, ExactlyTheTwentyTwoDigitCharacters) {
    const std::string digits = "0123456789ABCDEFabcdef";
    const int values[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                          11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i < digits.size(); ++i) {
        EXPECT_EQ(HexDigitValue(digits[i]), values[i]) << digits[i];
    }
    int accepted = 0;
    for (int c = -128; c < 128; ++c) {
        accepted += HexDigitValue(static_cast<char>(c)) >= 0 ? 1 : 0;
    }
    EXPECT_EQ(accepted, 22);
}

TEST(HexDigitValue, NeighboursOfTheDigitRangesAreNotDigits) {
    for (const char ch : std::string("/:@G`g xX-+")) {
        EXPECT_EQ(HexDigitValue(ch), -1) << ch;
    }
    EXPECT_EQ(HexDigitValue('\0'), -1);
}

TEST(ParseHex, EmptyTextGivesZero) {
    EXPECT_EQ(ParseHex(""), 0);
}

TEST(ParseHex, ReadsDigitsOfEitherCase) {
    EXPECT_EQ(ParseHex("0"), 0);
    EXPECT_EQ(ParseHex("13"), 0x13);
    EXPECT_EQ(ParseHex("ff"), 255);
    EXPECT_EQ(ParseHex("aBcD"), 0xABCD);
    EXPECT_EQ(ParseHex("7FFFFFFF"), 0x7FFFFFFF);
}

TEST(ParseHex, FirstCharacterNotADigitGivesMinusOne) {
    EXPECT_EQ(ParseHex("G1"), -1);
    EXPECT_EQ(ParseHex(" 12"), -1);
    EXPECT_EQ(ParseHex("-1"), -1);
}

TEST(ParseHex, StopsAtTheFirstCharacterThatIsNoDigit) {
    EXPECT_EQ(ParseHex("1G"), 1);
    EXPECT_EQ(ParseHex("12 34"), 0x12);
    EXPECT_EQ(ParseHex("A\r\n"), 10);
    const char withNul[] = {'4', '\0', '5'};
    EXPECT_EQ(ParseHex(std::string_view(withNul, sizeof withNul)), 4);
}

TEST(ParseHex, LongTextsWrapModulo32Bits) {
    EXPECT_EQ(ParseHex("100000000"), 0);
    EXPECT_EQ(ParseHex("123456789"), 0x23456789);
    EXPECT_EQ(ParseHex("FFFFFFFE"), -2);
}
