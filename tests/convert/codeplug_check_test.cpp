#include <gtest/gtest.h>

#include "TestImages.h"
#include "convert/CodeplugCheck.h"

using namespace test_images;

namespace {

TEST(CodeplugLookups, FindBlocksByKindNumberAndOrdinal) {
    Built b = build(4,
                    {header(4), kindBlock(0, 4), kindBlock(1, 4), system(3, 2, 4), system(0, 1, 4),
                     ordinal(4), ordinal(4)},
                    2, 2);
    const CodeplugImage& img = *b.img;
    EXPECT_TRUE(validateCodeplug(img));
    EXPECT_EQ(findKindBlock(img, 0), b.blocks[1]);
    EXPECT_EQ(findKindBlock(img, 1), b.blocks[2]);
    EXPECT_EQ(findKindBlock(img, 3), 0);
    EXPECT_EQ(findSystemBlock(img, 2), b.blocks[3]);
    EXPECT_EQ(findSystemBlock(img, 1), b.blocks[4]);
    EXPECT_EQ(findSystemBlock(img, 3), 0);
    EXPECT_EQ(systemKind(img, 2), 3);
    EXPECT_EQ(systemKind(img, 7), -1);
    EXPECT_EQ(findOrdinalBlock(img, 1), b.blocks[5]);
    EXPECT_EQ(findOrdinalBlock(img, 2), b.blocks[6]);
    EXPECT_EQ(findOrdinalBlock(img, 3), 0);
    EXPECT_EQ(findOrdinalBlock(img, 0), 0);
}

TEST(CodeplugLookups, ZeroLengthBlockStopsTheWalk) {
    Built b = oneSystem(0, 4);
    CodeplugImage& img = *b.img;
    setBlockLength(img, b.blocks[1], 0);
    EXPECT_EQ(findSystemBlock(img, 1), 0);
    const CodeplugCheck check = checkCodeplug(img);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.rule, 3);
    EXPECT_EQ(check.position, b.blocks[1]);
}

// The rule a well-formed one-system image fails after damage(image, block positions).
template <class Damage>
int ruleBrokenBy(Damage damage) {
    Built b = oneSystem(0, 4);
    damage(*b.img, b.blocks);
    return checkCodeplug(*b.img).rule;
}

TEST(CodeplugCheckRules, EachRuleIsEnforced) {
    EXPECT_EQ(ruleBrokenBy([](auto& img, auto&) { img.setWord(kMarkerWord, 0x5F5E); }), 1);
    EXPECT_EQ(ruleBrokenBy([](auto& img, auto&) {
                  img.setWord(kClassWord, static_cast<uint16_t>(img.word(kClassWord) | 0x4000));
              }),
              1)
        << "first block must be the header";
    EXPECT_EQ(ruleBrokenBy([](auto& img, auto&) { setImageWords(img, 128); }), 2);
    for (uint16_t counts : {0x0001, 0x3701, 0x0100, 0x0111})
        EXPECT_EQ(ruleBrokenBy([&](auto& img, auto&) { img.setWord(kCountsWord, counts); }), 2)
            << std::hex << counts;
    EXPECT_EQ(ruleBrokenBy([](auto& img, auto& blocks) { img.setWord(blocks[2], 0); }), 3)
        << "missing marker";
    EXPECT_EQ(ruleBrokenBy([](auto& img, auto&) { addImageWords(img, 1); }), 3)
        << "walk runs into the trailer";
    EXPECT_EQ(ruleBrokenBy([](auto& img, auto& blocks) {
                  addBlockLength(img, blocks[3], 1);
                  img.setWord(blocks[3] + blockLength(img, blocks[3]), 0);
              }),
              4)
        << "walk overshoots the end";
    EXPECT_EQ(ruleBrokenBy([](auto& img, auto&) { img.setWord(kCountsWord, 0x0102); }), 5)
        << "system count differs";
    Built noKindBlock = build(4, {header(4), system(0, 1, 4), ordinal(4)}, 1, 1);
    EXPECT_EQ(checkCodeplug(*noKindBlock.img).rule, 5) << "no kind block for kind 0";
    Built shared =
        build(4, {header(4), kindBlock(1, 4), system(1, 1, 4), system(3, 2, 4), ordinal(4)}, 1, 2);
    EXPECT_TRUE(validateCodeplug(*shared.img)) << "kinds 1 and 3 share a kind block";
}

TEST(CodeplugCheckRules, SystemKindAboveSixIsInvalid) {
    Built b = oneSystem(0, 4);
    b.img->setWord(b.blocks[2] + 3, 0x7001);
    const CodeplugCheck check = checkCodeplug(*b.img);
    EXPECT_EQ(check.rule, 3);
    EXPECT_NE(check.reason.find("system kind 7"), std::string::npos);
}

TEST(CodeplugCheckRules, ConvertibleNeedsEverySystemAndTablesInsideBlocks) {
    {
        Built b = build(
            4, {header(4), kindBlock(0, 4), system(0, 1, 4), system(0, 3, 4), ordinal(4)}, 1, 2);
        EXPECT_TRUE(validateCodeplug(*b.img));
        EXPECT_EQ(checkConvertible(*b.img).rule, 6) << "system 2 is missing";
    }
    {
        Built b = oneSystem(0, 4, {{}, {}, {}, {2, 36}});
        EXPECT_TRUE(checkConvertible(*b.img).ok);
        // A descriptor that claims more data than the block holds.
        b.img->setWord(b.blocks[2] + descriptorOffset(LayoutKind::System0, 4) + 3, 0x0324);
        EXPECT_EQ(checkConvertible(*b.img).rule, 6);
    }
}

TEST(TableCountWidth, WidenThenNarrowRestoresWordTwo) {
    Built b = oneSystem(4, 4);
    CodeplugImage& img = *b.img;
    img.setWord(b.blocks[3] + 2, 0xF7FF);  // 15 tables, offset 2047 in the 4-bit layout
    std::vector<uint16_t> before;
    for (int block : b.blocks)
        before.push_back(img.word(block + 2));

    setTableCountWidth(img, true);
    EXPECT_EQ(tableLayout(img, b.blocks[2]).tableCount, 15);
    EXPECT_EQ(tableLayout(img, b.blocks[2]).descriptorOffset,
              descriptorOffset(LayoutKind::System4, 4));
    setTableCountWidth(img, false);
    for (std::size_t i = 0; i < b.blocks.size(); ++i)
        EXPECT_EQ(img.word(b.blocks[i] + 2), before[i]) << "block " << i;
}

}  // namespace
