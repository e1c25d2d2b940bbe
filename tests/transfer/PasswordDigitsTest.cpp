#include "transfer/PasswordDigits.h"

#include <gtest/gtest.h>

using Reply = std::array<std::uint8_t, kPasswordReplyBytes>;

TEST(PackPasswordDigits, TheFirstEightDigitsOfTheFirstTwelveCharactersInNibblesFilledWithF) {
    std::string eleven;  // eleven characters of two bytes each (U+00E9 in UTF-8)
    for (int i = 0; i < 11; ++i)
        eleven += "\xC3\xA9";
    const struct {
        std::string text;
        Reply reply;
    } cases[] = {
        {"1234", {0x12, 0x34, 0xFF, 0xFF}},
        {"87654321", {0x87, 0x65, 0x43, 0x21}},
        {"ab1cd2ef", {0x12, 0xFF, 0xFF, 0xFF}},
        {"0123456789", {0x01, 0x23, 0x45, 0x67}},
        {"abcdefghijkl1234", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"abcdefghijk1234", {0x1F, 0xFF, 0xFF, 0xFF}},  // the twelfth is still examined
        {"123", {0x12, 0x3F, 0xFF, 0xFF}},
        {"5", {0x5F, 0xFF, 0xFF, 0xFF}},
        {"", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"secret", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"0000", {0x00, 0x00, 0xFF, 0xFF}},
        {eleven + "42", {0x4F, 0xFF, 0xFF, 0xFF}},  // a character outside ASCII counts once
        {eleven + "\xC3\xA9" + "42", {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PackPasswordDigits(c.text), c.reply) << c.text;
}
