#include <gtest/gtest.h>

#include "TestImages.h"
#include "convert/CodeplugCheck.h"
#include "convert/ConversionDriver.h"

using namespace test_images;

namespace {

std::vector<uint16_t> wordTwoOfEveryBlock(const CodeplugImage& img) {
    std::vector<uint16_t> words;
    const int end = imageWords(img) - kTrailerWords;
    for (int pos = 0; pos < end; pos += blockLength(img, pos))
        words.push_back(img.word(pos + 2));
    return words;
}

TEST(ConversionDriver, From58To510RunsBothStepsInTheWideLayout) {
    CodeplugImage img = *oneSystem(1, 3, {}, {{10, 1}, {16, 2}}).img;
    int32_t change = 0;
    convertCodeplugUp(change, img, 3, 5);
    EXPECT_EQ(img.word(kFormatWord), 0x050A);
    EXPECT_EQ(tableShape(img, 0, 3).entries, 16) << "the 5.9 step added the favourites";
    EXPECT_EQ(tableShape(img, 0, 0).entries, 16) << "read in the wide layout, grown correctly";
    EXPECT_EQ(tableLayout(img, 0).descriptorOffset, 69) << "the 5.10 step grew the header";
    EXPECT_EQ(tableLayout(img, findSystemBlock(img, 1)).tableCount, 17);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(ConversionDriver, From510To58NarrowsAfterBothSteps) {
    CodeplugImage img = *oneSystem(3, 5).img;
    int32_t change = 0;
    convertCodeplugDown(change, img, 3, 5);
    EXPECT_EQ(img.word(kFormatWord), 0x0508);
    const int block = findSystemBlock(img, 1);
    EXPECT_EQ(tableLayoutIn(img, block, false).tableCount, 15);
    EXPECT_EQ(tableLayoutIn(img, block, false).descriptorOffset, 333);
    EXPECT_EQ(tableLayoutIn(img, 0, false).descriptorOffset, 49);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(ConversionDriver, From58To59AloneReadsTablesInTheWideLayoutAndKeepsTheNarrowOne) {
    // A 4-bit count of 15 reads as 30 or 31 tables in the wide layout; the step must not.
    CodeplugImage img = *oneSystem(0, 3, {{}, {}, {3, 2}}, {{10, 2}, {16, 2}}).img;
    const int words = imageWords(img);
    int32_t change = 0;
    convertCodeplugUp(change, img, 3, 4);
    EXPECT_EQ(img.word(kFormatWord), 0x0509);
    EXPECT_EQ(tableLayoutIn(img, 0, false).tableCount, 15) << "4-bit layout of 5.9";
    EXPECT_EQ(tableLayoutIn(img, 0, false).descriptorOffset, 49);
    setTableCountWidth(img, true);
    EXPECT_EQ(tableShape(img, 0, 0).entries, 16);
    EXPECT_EQ(tableShape(img, findSystemBlock(img, 1), 2).wordsPerEntry, 4);
    EXPECT_EQ(imageWords(img), words + change);
    EXPECT_EQ(change, 6 * 2 + 16 + 3 * 2);
    setTableCountWidth(img, false);
    EXPECT_TRUE(validateCodeplug(img));

    convertCodeplugDown(change, img, 3, 4);
    EXPECT_EQ(img.word(kFormatWord), 0x0508);
    EXPECT_EQ(tableLayoutIn(img, 0, false).tableCount, 15);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(ConversionDriver, SameVersion510RunsOnlyTheFixups) {
    CodeplugImage img = *oneSystem(1, 5, {{}, {}, {}, {}, {}, {2, 5}, {}, {1, 58}}).img;
    img.setWord(kStepWord, 0x0001);
    const std::vector<uint16_t> before = wordTwoOfEveryBlock(img);
    const int headerLength = blockLength(img, 0);
    int32_t change = 0;
    convertCodeplugUp(change, img, 5, 5);
    EXPECT_EQ(img.word(kFormatWord), 0x050A);
    EXPECT_EQ(wordTwoOfEveryBlock(img), before) << "no layout step, no table-count change";
    EXPECT_EQ(blockLength(img, 0), headerLength);
    EXPECT_EQ(img.word(kStepWord), 0x0002) << "the fix-ups ran";
    EXPECT_EQ(tableShape(img, findSystemBlock(img, 1), 10).entries, 2) << "derived table built";
    EXPECT_EQ(change, 2 * 3);
    EXPECT_TRUE(validateCodeplug(img));
}

}  // namespace
