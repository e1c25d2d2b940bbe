#include "common/Hex.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

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

TEST(ParseHex, ReadsDigitsUpToTheFirstOtherCharacterWrappingModulo32Bits) {
    const char withNul[] = {'4', '\0', '5'};
    const struct {
        std::string_view text;
        int value;
    } cases[] = {
        {"", 0},          {"0", 0},
        {"13", 0x13},     {"ff", 255},
        {"aBcD", 0xABCD}, {"7FFFFFFF", 0x7FFFFFFF},
        {"G1", -1},       {" 12", -1},
        {"-1", -1},  // no digit first
        {"1G", 1},        {"12 34", 0x12},
        {"A\r\n", 10},    {{withNul, sizeof withNul}, 4},
        {"100000000", 0}, {"123456789", 0x23456789},
        {"FFFFFFFE", -2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseHex(c.text), c.value) << c.text;
}
