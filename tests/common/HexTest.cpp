#include "common/Hex.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

static_assert(HexDigitValue('7') == 7);
static_assert(HexDigitValue('f') == 15);
static_assert(ParseHex("1F") == 31);

// The twenty-two digit characters have their values; every other char (the neighbours of the
// digit ranges, '\0', bytes above 0x7F) is -1.
TEST(HexDigitValue, ExactlyTheTwentyTwoDigitCharacters) {
    const std::string digits = "0123456789ABCDEFabcdef";
    const int values[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                          11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (int c = -128; c < 128; ++c) {
        const std::size_t digit = digits.find(static_cast<char>(c));
        EXPECT_EQ(HexDigitValue(static_cast<char>(c)),
                  digit == std::string::npos ? -1 : values[digit])
            << c;
    }
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
