#include <gtest/gtest.h>

#include "TestImages.h"
#include "convert/CodeplugVersion.h"
#include "convert/ZKWParmsFormat59510.h"

using namespace test_images;

namespace {

using To510 = ZKWParmsFormat59510;

TEST(Converter59510Header, Table1GrowsTo64FixupsRunOnceAndValuesAlreadySetStay) {
    CodeplugImage img =
        *oneSystem(0, 4, {}, {{16, 1}, {16, 2, std::vector<uint16_t>(32, 0xABCD)}}).img;
    img.setWord(kLevelWord, 0x0020);  // bits 4-7 = 2
    img.setWord(kStepWord, 0x7701);   // bits 0-7 = 1
    img.setWord(kTextWord, 'A' | ('B' << 8));
    convertWide<To510>(img);
    EXPECT_EQ(tableShape(img, 0, 1).entries, 64);
    const int start = tableStart(img, 0, 1);
    EXPECT_EQ(img.word(start + 31), 0xABCD);
    EXPECT_EQ(wordsAt(img, start + 32, 96), std::vector<uint16_t>(96));
    EXPECT_EQ(getField(img, kLevelWord, 0x00F0, 4), 4);
    EXPECT_EQ(img.word(kStepWord), 0x7702);
    EXPECT_EQ(readText10(img, kTextWord), "AB        ");
    EXPECT_TRUE(validateCodeplug(img));

    // A fix-ups-only run on the 5.10 image leaves the 64-entry table.
    EXPECT_EQ(fixupsOnlyGrowth<To510>(img), 0);
    EXPECT_EQ(tableShape(img, 0, 1).entries, 64);

    CodeplugImage set = *oneSystem(0, 4).img;
    set.setWord(kLevelWord, 0x0070);
    set.setWord(kStepWord, 0x0000);
    convertWide<To510>(set);
    EXPECT_EQ(getField(set, kLevelWord, 0x00F0, 4), 7);
    EXPECT_EQ(set.word(kStepWord), 0);
}

TEST(Converter59510Header, FixupsOnlyOnA510ImageGrowsATableStillAt16) {
    CodeplugImage img = *oneSystem(0, 5, {}, {{16, 1}, {16, 2}}).img;
    EXPECT_EQ(fixupsOnlyGrowth<To510>(img), 96);
    EXPECT_EQ(tableShape(img, 0, 1).entries, 64);
    EXPECT_EQ(tableLayout(img, 0).descriptorOffset, 69) << "no layout step";
}

TEST(Converter59510Systems, Kind1DerivesTable10FromTable5) {
    std::vector<uint16_t> t5 = {0xF123, 2, 3, 4, 0xE456, 6, 7, 8, 0xD789, 10, 11, 12};
    Built b = oneSystem(1, 4, {{}, {}, {}, {}, {}, {3, 4, t5}, {}, {1, 36}});
    CodeplugImage& img = *b.img;
    const int length = blockLength(img, b.blocks[2]);
    const int words = imageWords(img);
    convertWide<To510>(img);
    const int block = findSystemBlock(img, 1);
    EXPECT_EQ(shapeOf(img, block, 10), std::pair(3, 3));
    const int start = tableStart(img, block, 10);
    EXPECT_EQ(wordsAt(img, start, 9),
              (std::vector<uint16_t>{0x0123, 2, 3, 0x0456, 6, 7, 0x0789, 10, 11}));
    EXPECT_EQ(widthsOf(img, block, {5, 7, 9}), (std::vector<int>{5, 58, 2}));
    // 2 new descriptors, table 5 3 x 1, table 7 1 x 22, table 10 9 words.
    EXPECT_EQ(blockLength(img, block), length + 2 + 3 + 22 + 9);
    EXPECT_EQ(imageWords(img), words + 20 + 96 + 2 + 3 + 22 + 9);
    EXPECT_TRUE(validateCodeplug(img));
    EXPECT_EQ(fixupsOnlyGrowth<To510>(img), 0);
}

TEST(Converter59510Systems, Kind4ClearsUnsetWordsOnlyForModelCode4) {
    for (uint16_t model : {4, 3}) {
        std::vector<uint16_t> t6(16, 0x1111);
        for (int unset : {0, 1, 2, 8, 9})
            t6[unset] = 0xFFFF;
        CodeplugImage img = *oneSystem(4, 4, {{}, {}, {}, {}, {}, {}, {2, 8, t6}}).img;
        img.setWord(kModelWord, model);
        convertWide<To510>(img);
        const int block = findSystemBlock(img, 1);
        TableShape s6, s14;
        const int start6 = tableStart(img, block, 6, &s6);
        const int start14 = tableStart(img, block, 14, &s14);
        ASSERT_EQ(s6.wordsPerEntry, 13);
        ASSERT_EQ(s14.entries, 2);
        const uint16_t cleared = model == 4 ? 0x0FFF : 0xFFFF;
        EXPECT_EQ(wordsAt(img, start6, 3), (std::vector<uint16_t>{0xFFFF, cleared, cleared}))
            << "entry word 0 is not touched";
        EXPECT_EQ(img.word(start6 + 13 + 1), cleared);
        EXPECT_EQ(img.word(start14 + 1), cleared);
        EXPECT_EQ(wordsAt(img, start14 + 3 + 1, 2), (std::vector<uint16_t>{cleared, 0x1111}));
        EXPECT_EQ(tableShape(img, block, 15).wordsPerEntry, 2);
        EXPECT_EQ(tableLayout(img, block).tableCount, 21);
    }
}

TEST(Converter59510Backward, NarrowsAndDropsButKeepsDerivedTables) {
    Built b =
        build(4,
              {header(4), kindBlock(1, 4), kindBlock(4, 4), kindBlock(5, 4),
               system(1, 1, 4, {{}, {}, {}, {}, {}, {2, 4}, {1, 18}, {2, 36}}),
               system(4, 2, 4, {{}, {}, {}, {}, {}, {}, {2, 8}, {1, 22}, {}, {1, 36}, {}, {1, 32}}),
               system(5, 3, 4, {{}, {}, {1, 37}}), ordinal(4, {{2, 17}, {1, 15}})},
              1, 3);
    CodeplugImage& img = *b.img;
    const int words = imageWords(img);
    convertWide<To510>(img);
    // Data in kind-4 table 15, which the older format lacks.
    fillTable(img, findSystemBlock(img, 2), 15, 2, 2);
    ASSERT_TRUE(validateCodeplug(img));

    convertStep<To510>(img, 1);
    EXPECT_EQ(img.word(kFormatWord), 0x0509);
    EXPECT_EQ(tableShape(img, 0, 1).entries, 16);
    EXPECT_EQ(tableLayout(img, 0).descriptorOffset, 49);
    const int s1 = findSystemBlock(img, 1);
    const int s2 = findSystemBlock(img, 2);
    const int s3 = findSystemBlock(img, 3);
    EXPECT_EQ(widthsOf(img, s1, {7, 5}), (std::vector<int>{36, 4}));
    EXPECT_EQ(tableShape(img, s1, 10).entries, 2) << "derived table stays";
    EXPECT_EQ(widthsOf(img, s2, {6, 11}), (std::vector<int>{8, 32}));
    EXPECT_EQ(tableShape(img, s2, 14).entries, 2) << "derived table stays";
    EXPECT_EQ(tableLayout(img, s2).tableCount, 15);
    EXPECT_EQ(tableShape(img, s3, 2).wordsPerEntry, 37);
    EXPECT_EQ(tableShape(img, s3, 3).entries, 0);
    EXPECT_EQ(tableShape(img, findOrdinalBlock(img, 1), 0).wordsPerEntry, 17);
    EXPECT_EQ(imageWords(img), words + 2 * 3 + 2 * 3) << "only the two derived tables remain";
    EXPECT_TRUE(validateCodeplug(img));
}

// Every table that 5.10 widens, with one or two entries of recognisable data.
Built everyWidenedTable() {
    auto data = [](int entries, int words, uint16_t base) {
        std::vector<uint16_t> d(static_cast<std::size_t>(entries * words));
        for (std::size_t i = 0; i < d.size(); ++i)
            d[i] = static_cast<uint16_t>(base + i);
        return Table{entries, words, d};
    };
    std::vector<Table> k0(4), k1(8), k3(8), k4(12), k5(3), o(5);
    k0[3] = data(2, 36, 0x1000);
    k1[5] = data(2, 4, 0x1100), k1[6] = data(1, 18, 0x1200), k1[7] = data(1, 36, 0x1300);
    k3[5] = data(1, 6, 0x2100), k3[6] = data(2, 20, 0x2200), k3[7] = data(1, 36, 0x2300);
    k4[6] = data(1, 8, 0x3100), k4[7] = data(1, 22, 0x3200), k4[9] = data(2, 36, 0x3300);
    k4[11] = data(1, 32, 0x3400);
    k5[2] = data(1, 37, 0x4100);
    o[0] = data(2, 17, 0x5000), o[1] = data(1, 15, 0x5100), o[4] = data(1, 14, 0x5200);
    return build(4,
                 {header(4), kindBlock(0, 4), kindBlock(1, 4), kindBlock(4, 4), kindBlock(5, 4),
                  system(0, 1, 4, k0), system(1, 2, 4, k1), system(3, 3, 4, k3),
                  system(4, 4, 4, k4), system(5, 5, 4, k5), ordinal(4, o)},
                 1, 5);
}

TEST(Converter59510Backward, NarrowsEveryWidenedTableBackToItsData) {
    CodeplugImage img = *everyWidenedTable().img;
    setTableCountWidth(img, true);
    const CodeplugImage original = img;
    struct Check {
        int number, table, width59, width510;
    };
    const Check checks[] = {{1, 3, 36, 58}, {2, 5, 4, 5},   {2, 6, 18, 19},  {2, 7, 36, 58},
                            {3, 5, 6, 7},   {3, 6, 20, 21}, {3, 7, 36, 58},  {4, 6, 8, 13},
                            {4, 7, 22, 26}, {4, 9, 36, 58}, {4, 11, 32, 64}, {5, 2, 37, 59}};

    convertStep<To510>(img, 0);
    for (const Check& k : checks)
        EXPECT_EQ(tableShape(img, findSystemBlock(img, k.number), k.table).wordsPerEntry,
                  k.width510)
            << "system " << k.number << " table " << k.table;
    EXPECT_EQ(tableShape(img, findOrdinalBlock(img, 1), 0).wordsPerEntry, 18);
    // Kind-5 table 3 holds data now; the older format has no place for it.
    fillTable(img, findSystemBlock(img, 5), 3, 1, 37);

    convertStep<To510>(img, 1);
    for (const Check& k : checks) {
        SCOPED_TRACE("system " + std::to_string(k.number) + " table " + std::to_string(k.table));
        TableShape now, before;
        const int start = tableStart(img, findSystemBlock(img, k.number), k.table, &now);
        const int was = tableStart(original, findSystemBlock(original, k.number), k.table, &before);
        EXPECT_EQ(now.wordsPerEntry, k.width59);
        EXPECT_EQ(wordsAt(img, start, now.words()), wordsAt(original, was, before.words()));
    }
    EXPECT_EQ(tableShape(img, findSystemBlock(img, 5), 3).entries, 0);
    EXPECT_EQ(tableShape(img, findOrdinalBlock(img, 1), 0).wordsPerEntry, 17);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(Converter59510Backward, AnUnsizedTableTakesTheOlderWidth) {
    CodeplugImage img = *oneSystem(0, 5).img;  // kind-0 table 3: no entries, width 0
    convertStep<To510>(img, 1);
    EXPECT_EQ(tableShape(img, findSystemBlock(img, 1), 3).wordsPerEntry, 36);
    EXPECT_EQ(tableShape(img, findOrdinalBlock(img, 1), 0).wordsPerEntry, 17);
}

}  // namespace
