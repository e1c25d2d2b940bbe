#include <gtest/gtest.h>

#include "TestImages.h"
#include "convert/ZKWParmsFormat5859.h"

using namespace test_images;

namespace {

using To59 = ZKWParmsFormat5859;

TEST(Converter5859Header, Table0GrowsTo16EntriesOnlyWhenShorter) {
    CodeplugImage img = *oneSystem(0, 3, {}, {{10, 3}, {16, 2}, {}, {16, 1}}).img;
    const int words = imageWords(img);
    convertWide<To59>(img);
    EXPECT_EQ(shapeOf(img, 0, 0), std::pair(16, 3));
    EXPECT_EQ(wordsAt(img, tableStart(img, 0, 0) + 30, 18), std::vector<uint16_t>(18))
        << "new entries";
    EXPECT_EQ(imageWords(img), words + 18);

    CodeplugImage kept = *oneSystem(0, 3, {}, {{20, 1}, {16, 2}, {}, {16, 1}}).img;
    convertWide<To59>(kept);
    EXPECT_EQ(tableShape(kept, 0, 0).entries, 20);
}

TEST(Converter5859Header, FavoritesTableIsAddedOnce) {
    CodeplugImage img = *oneSystem(0, 3, {}, {{16, 1}, {16, 2}}).img;
    convertWide<To59>(img);
    EXPECT_EQ(shapeOf(img, 0, 3), std::pair(16, 1));
    EXPECT_EQ(wordsAt(img, tableStart(img, 0, 3), 16), std::vector<uint16_t>(16, 0xFF01));
    EXPECT_EQ(readText10(img, kListNameWord), "FAVORITES ");
    EXPECT_EQ(getField(img, kPairWord, 0xFF00, 8), 1);
    EXPECT_EQ(getField(img, kPairWord, 0x00FF, 0), 1);
    EXPECT_TRUE(validateCodeplug(img));

    CodeplugImage has = *oneSystem(0, 3, {}, {{16, 1}, {16, 2}, {}, {2, 1, {7, 8}}}).img;
    writeText10(has, "MINE", kListNameWord);
    has.setWord(kPairWord, 0x0300);
    convertWide<To59>(has);
    EXPECT_EQ(tableShape(has, 0, 3).entries, 2);
    EXPECT_EQ(readText10(has, kListNameWord), "MINE      ");
    EXPECT_EQ(has.word(kPairWord), 0x0301);
}

TEST(Converter5859Kind0, AliasTable2AndDefaults) {
    CodeplugImage img = *oneSystem(0, 3, {{}, {}, {2, 2, {1, 2, 3, 4}}}).img;
    convertWide<To59>(img);
    const int block = findSystemBlock(img, 1);
    EXPECT_EQ(readText10(img, block + kSystemNameWord), "SYS ALIAS ");
    TableShape t2;
    const int start = tableStart(img, block, 2, &t2);
    EXPECT_EQ(t2.wordsPerEntry, 4);
    EXPECT_EQ(wordsAt(img, start, 8), (std::vector<uint16_t>{1, 2, 549, 659, 3, 4, 549, 659}));
    EXPECT_EQ(widthsOf(img, block, {6, 7, 8}), (std::vector<int>{9, 9, 2}));
    EXPECT_EQ(getField(img, kSixtyWord, 0x00FF, 0), 60);
    EXPECT_TRUE(validateCodeplug(img));

    Built named = oneSystem(0, 3, {{}, {}, {0, 4}});
    writeText10(*named.img, "HOME", named.blocks[2] + kSystemNameWord);
    convertWide<To59>(*named.img);
    const int namedBlock = findSystemBlock(*named.img, 1);
    EXPECT_EQ(readText10(*named.img, namedBlock + kSystemNameWord), "HOME      ");
    EXPECT_EQ(tableShape(*named.img, namedBlock, 2).wordsPerEntry, 4);
}

TEST(Converter5859Kind0, SettingsMoveToTheFirstKind0SystemAndBack) {
    Built b = build(3,
                    {header(3), kindBlock(0, 3), kindBlock(1, 3), system(1, 1, 3), system(0, 3, 3),
                     system(0, 2, 3), ordinal(3)},
                    1, 3);
    CodeplugImage& img = *b.img;
    const int kind = b.blocks[1];
    const int words[] = {10, 11, 12, 13, 27, 28, 30};
    const int targets[] = {18, 19, 21, 22, 23, 24, 25};
    for (int i = 0; i < 7; ++i)
        img.setWord(kind + words[i], static_cast<uint16_t>(0x100 + i));
    convertWide<To59>(img);
    const int first = findSystemBlock(img, 2);
    const int other = findSystemBlock(img, 3);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(img.word(first + targets[i]), 0x100 + i);
        EXPECT_EQ(img.word(other + targets[i]), 0);
        img.setWord(first + targets[i], static_cast<uint16_t>(0x200 + i));
    }
    convertStep<To59>(img, 1);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(img.word(findKindBlock(img, 0) + words[i]), 0x200 + i);
}

TEST(Converter5859Counts, StepCountFieldBothWays) {
    struct Case {
        int reverse, before, after;
    };
    const Case cases[] = {{0, 11, 15}, {0, 12, 16}, {0, 20, 16}, {0, 0, 4},
                          {1, 4, 0},   {1, 9, 5},   {1, 3, 0},   {1, 16, 12}};
    for (const Case& c : cases) {
        Built b = oneSystem(1, 3);
        CodeplugImage& img = *b.img;
        const int word = b.blocks[2] + kCountWord;
        setField(img, word, 0x3E00, 9, c.before);
        img.setWord(word, static_cast<uint16_t>(img.word(word) | 0x81FF));
        To59 conv;
        conv.image = &img;
        conv.reverse = static_cast<uint8_t>(c.reverse);
        conv.stepCountField(1, kCountWord, 0x3E00, 9);
        EXPECT_EQ(getField(img, word, 0x3E00, 9), c.after)
            << c.before << (c.reverse ? " backward" : " forward");
        EXPECT_EQ(img.word(word) & 0xC1FF, 0x81FF) << "other bits kept";
    }
}

TEST(Converter5859Kind5, MembershipTableReplacesTable1) {
    CodeplugImage img =
        *oneSystem(5, 3, {{1, 10}, {3, 2, {9, 0x0000, 9, 0x0203, 9, 0x2805}}, {0, 37}}).img;
    convertWide<To59>(img);
    const int block = findSystemBlock(img, 1);
    EXPECT_EQ(tableShape(img, block, 0).wordsPerEntry, 11);
    EXPECT_EQ(shapeOf(img, block, 1), std::pair(0, 2));
    EXPECT_EQ(shapeOf(img, block, 2), std::pair(1, 37));
    const int start = tableStart(img, block, 2);
    EXPECT_EQ(readText10(img, start), "1         ");
    std::vector<uint16_t> members(32);  // one bit per member; 0x2805 has none
    members[0] = 0x8000, members[2] = 0x1000;
    EXPECT_EQ(wordsAt(img, start + 5, 32), members);
    EXPECT_TRUE(validateCodeplug(img));
    EXPECT_EQ(fixupsOnlyGrowth<To59>(img), 0);
}

TEST(Converter5859Kind4, CleanupOnlyForModelCode8) {
    for (uint16_t model : {8, 4}) {
        CodeplugImage img =
            *oneSystem(4, 3, {{3, 6, {1, 2, 3, 4, 5, 6, 1, 0, 3, 4, 5, 6, 0xFFFF, 0, 0, 0, 0, 0}}})
                 .img;
        img.setWord(kModelWord, static_cast<uint16_t>(0x1230 | model));
        convertWide<To59>(img);
        const int start = tableStart(img, findSystemBlock(img, 1), 0);
        EXPECT_EQ(img.word(start), 1);
        EXPECT_EQ(img.word(start + 6), model == 8 ? 0xFFFF : 1);
        EXPECT_EQ(img.word(start + 11), model == 8 ? 0xFFFF : 6);
        EXPECT_EQ(img.word(start + 13), 0) << "an entry starting 0xFFFF is left";
    }
}

TEST(Converter5859Backward, EmptiesAddedTablesAndStepsCountsDown) {
    Built b = build(
        4,
        {header(4), kindBlock(1, 4), kindBlock(4, 4),
         system(1, 1, 4, {{}, {}, {}, {}, {}, {}, {}, {}, {}, {2, 2}, {1, 3}}),
         system(3, 2, 4, {{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {1, 2}, {2, 3}}),
         system(4, 3, 4, {{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {3, 2}, {1, 1}}),
         ordinal(4)},
        1, 3);
    CodeplugImage& img = *b.img;
    setField(img, b.blocks[3] + kCountWord, 0x3E00, 9, 9);
    setField(img, b.blocks[5] + kKind4CountWord, 0x1F, 0, 16);
    EXPECT_EQ(convertWide<To59>(img, 1), -(4 + 3 + 2 + 6 + 6 + 1));
    EXPECT_EQ(img.word(kFormatWord), 0x0508);
    for (auto [number, first] : {std::pair{1, 9}, std::pair{2, 13}, std::pair{3, 13}}) {
        for (int table : {first, first + 1})
            EXPECT_EQ(tableShape(img, findSystemBlock(img, number), table).entries, 0)
                << "system " << number << " table " << table;
    }
    EXPECT_EQ(getField(img, findSystemBlock(img, 1) + kCountWord, 0x3E00, 9), 5);
    EXPECT_EQ(getField(img, findSystemBlock(img, 3) + kKind4CountWord, 0x1F, 0), 12);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(Converter5859Backward, KeepsWhatOnlyGrewAndStepsKind3CountDown) {
    Built b = build(4,
                    {header(4, {{16, 1}, {16, 2}, {}, {16, 1, std::vector<uint16_t>(16, 0xFF01)}}),
                     kindBlock(0, 4), kindBlock(1, 4), kindBlock(5, 4),
                     system(0, 1, 4, {{}, {}, {2, 4, {1, 2, 549, 659, 3, 4, 549, 659}}}),
                     system(3, 2, 4), system(5, 3, 4, {{1, 11}, {0, 2}, {1, 37}}), ordinal(4)},
                    1, 3);
    CodeplugImage& img = *b.img;
    setField(img, b.blocks[5] + kCountWord, 0x3E00, 9, 9);
    convertWide<To59>(img, 1);
    EXPECT_EQ(tableShape(img, 0, 3).entries, 16) << "favourites stay";
    const int s0 = findSystemBlock(img, 1);
    EXPECT_EQ(tableShape(img, s0, 2).wordsPerEntry, 4);
    EXPECT_EQ(img.word(tableStart(img, s0, 2) + 2), 549);
    EXPECT_EQ(widthsOf(img, findSystemBlock(img, 3), {0, 2}), (std::vector<int>{11, 37}));
    EXPECT_EQ(getField(img, findSystemBlock(img, 2) + kCountWord, 0x3E00, 9), 5);
    EXPECT_TRUE(validateCodeplug(img));
}

}  // namespace
