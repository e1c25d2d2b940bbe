#include <gtest/gtest.h>

#include "TestImages.h"
#include "convert/CodeplugCheck.h"
#include "convert/ZKWParmsFormat5859.h"
#include "convert/ZKWParmsFormat59510.h"

using namespace test_images;

namespace {

using To59 = ZKWParmsFormat5859;
using To510 = ZKWParmsFormat59510;

// Exposes the layout step and counts the system-layout hook.
class ExposedConverter : public ZKWParmsFormatConvertBase {
  public:
    explicit ExposedConverter(uint8_t v, CodeplugImage& img, uint8_t rev) {
        versionIndex = v;
        image = &img;
        reverse = rev;
    }
    using ZKWParmsFormatConvertBase::applyLayout;
    int kind1Hooks = 0;

  protected:
    void afterKind1SystemLayout(int) override { ++kind1Hooks; }
};

TEST(ConverterLayout, HeaderStepMovesDescriptorsFrom49To69AndBack) {
    CodeplugImage img = *oneSystem(0, 4, {}, {{16, 1}, {16, 2}, {3, 4}}).img;
    for (int w = 15; w < 49; ++w)
        img.setWord(w, static_cast<uint16_t>(0x1000 + w));
    setTableCountWidth(img, true);
    const CodeplugImage original = img;
    const int length = blockLength(img, 0);
    const int words = imageWords(img);

    ExposedConverter forward(5, img, 0);
    forward.applyLayout(0, layoutFor(LayoutKind::Header, 5));
    EXPECT_EQ(tableLayout(img, 0).descriptorOffset, 69);
    EXPECT_EQ(tableLayout(img, 0).tableCount, 15);
    EXPECT_EQ(wordsAt(img, 49, 20), std::vector<uint16_t>(20));
    EXPECT_EQ(img.word(48), 0x1000 + 48);
    EXPECT_EQ(img.word(69), 0x1001);
    EXPECT_EQ(tableShape(img, 0, 2).entries, 3);
    EXPECT_EQ(blockLength(img, 0), length + 20);
    EXPECT_EQ(imageWords(img), words + 20);
    EXPECT_TRUE(validateCodeplug(img)) << checkCodeplug(img).reason;

    ExposedConverter backward(5, img, 1);
    backward.applyLayout(0, layoutFor(LayoutKind::Header, 5));
    EXPECT_EQ(tableLayout(img, 0).descriptorOffset, 49);
    EXPECT_EQ(img.words, original.words);
}

TEST(ConverterLayout, Kind1SystemGainsTwoEmptyTablesAndCallsItsHook) {
    Built b = oneSystem(1, 4, {{}, {}, {}, {}, {}, {2, 4}, {}, {1, 36}});
    CodeplugImage& img = *b.img;
    setTableCountWidth(img, true);
    const int block = b.blocks[2];
    const int length = blockLength(img, block);
    const int descriptors = block + 129;  // where 5.9 and 5.10 both keep them
    const uint16_t lastDescriptor = img.word(descriptors + 14);
    const int table7 = tableStart(img, block, 7);

    ExposedConverter c(5, img, 0);
    c.applyLayout(block, layoutFor(LayoutKind::System1, 5));
    EXPECT_EQ(tableLayout(img, block).descriptorOffset, 129);
    EXPECT_EQ(tableLayout(img, block).tableCount, 17);
    EXPECT_EQ(wordsAt(img, descriptors + 14, 3), (std::vector<uint16_t>{lastDescriptor, 0, 0}));
    EXPECT_EQ(tableStart(img, block, 7), table7 + 2);
    EXPECT_EQ(blockLength(img, block), length + 2);
    EXPECT_EQ(c.kind1Hooks, 1);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(ConverterLayout, BackwardStepDropsDataOfTablesTheOlderLayoutLacks) {
    Built b = oneSystem(1, 5);
    CodeplugImage& img = *b.img;
    const int block = b.blocks[2];
    // Data in table 16, one of the two tables 5.10 added.
    fillTable(img, block, 16, 2, 2);
    ASSERT_TRUE(validateCodeplug(img));
    const int length = blockLength(img, block);

    ExposedConverter c(5, img, 1);
    c.applyLayout(block, layoutFor(LayoutKind::System1, 5));
    EXPECT_EQ(tableLayout(img, block).tableCount, 15);
    EXPECT_EQ(blockLength(img, block), length - 4 - 2);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(ConverterPasses, SystemsOfKindTwoAndSixPassUntouched) {
    Block odd{kSystemClass, 0x2002, 30, {{2, 3}, {1, 5}}};
    Block six{kSystemClass, 0x6003, 12, {{1, 1}}};
    Block oddKind{kKindClass, 0x2000, 10, {{1, 2}}};
    Block sixKind{kKindClass, 0x6000, 10, {}};
    Built b = build(
        4, {header(4), kindBlock(0, 4), oddKind, sixKind, system(0, 1, 4), odd, six, ordinal(4)}, 1,
        3);
    CodeplugImage& img = *b.img;
    ASSERT_TRUE(checkConvertible(img).ok);
    for (int w = 4; w < 30; ++w)
        img.setWord(b.blocks[5] + w, static_cast<uint16_t>(w * 7));
    setTableCountWidth(img, true);
    auto copyOf = [&](int number) {
        const int at = findSystemBlock(img, number);
        return wordsAt(img, at, blockLength(img, at));
    };
    const auto before2 = copyOf(2);
    const auto before3 = copyOf(3);

    convertStep<To59>(img, 0);
    convertStep<To510>(img, 0);
    EXPECT_EQ(copyOf(2), before2);
    EXPECT_EQ(copyOf(3), before3);
    convertStep<To510>(img, 1);
    convertStep<To59>(img, 1);
    EXPECT_EQ(copyOf(2), before2);
    EXPECT_EQ(copyOf(3), before3);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(ConverterPasses, SharedKindBlockWithKeyThreeIsAddressedNotTheHeader) {
    CodeplugImage img =
        *build(4, {header(4), kindBlock(3, 4), system(3, 1, 4), ordinal(4)}, 1, 1).img;
    ASSERT_TRUE(validateCodeplug(img));
    convertWide<To510>(img);
    EXPECT_EQ(tableLayout(img, 0).descriptorOffset, 69) << "header word 2 kept its own layout";
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(ConverterPasses, RunReportsSizeChangeAndStampsTheVersion) {
    CodeplugImage img = *oneSystem(0, 4, {{}, {}, {}, {2, 36}}).img;
    const int words = imageWords(img);
    const int32_t change = convertWide<To510>(img);
    EXPECT_EQ(img.word(kFormatWord), 0x050A);
    EXPECT_EQ(change, imageWords(img) - words);
    // Header +20 fixed words and +48 x 2 words of table 1; main table 2 x 22 words.
    EXPECT_EQ(change, 20 + 96 + 44);
    convertStep<To510>(img, 1);
    EXPECT_EQ(img.word(kFormatWord), 0x0509);
    EXPECT_EQ(imageWords(img), words);
}

}  // namespace
