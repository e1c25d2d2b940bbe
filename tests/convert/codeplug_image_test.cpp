#include <gtest/gtest.h>

#include "TestImages.h"
#include "convert/CodeplugImage.h"
#include "convert/CodeplugText.h"
#include "convert/CodeplugVersion.h"

using namespace test_images;

namespace {

TEST(CodeplugFields, SetFieldClearsMaskAndDoesNotMaskValue) {
    CodeplugImage img;
    img.setWord(10, 0xFFFF);
    EXPECT_EQ(setField(img, 10, 0xF800, 11, 3), 0x1800);
    EXPECT_EQ(img.word(10), 0x1FFF);
    EXPECT_EQ(getField(img, 10, 0xF800, 11), 3);
}

TEST(CodeplugFields, MinusOneLeavesLayoutAndDescriptorFieldsUnchanged) {
    CodeplugImage img;
    img.setWord(2, static_cast<uint16_t>((7 << 11) | 49));
    setTableLayout(img, 0, -1, 9);
    EXPECT_EQ(tableLayout(img, 0).descriptorOffset, 49);
    EXPECT_EQ(tableLayout(img, 0).tableCount, 9);
    setTableLayout(img, 0, 69, -1);
    EXPECT_EQ(tableLayout(img, 0).descriptorOffset, 69);
    EXPECT_EQ(tableLayout(img, 0).tableCount, 9);

    setTableShape(img, 0, 2, 5, 7);
    setTableShape(img, 0, 2, -1, 3);
    EXPECT_EQ(shapeOf(img, 0, 2), std::pair(5, 3));
    setTableShape(img, 0, 2, 1, -1);
    EXPECT_EQ(shapeOf(img, 0, 2), std::pair(1, 3));
}

TEST(CodeplugFields, TableStartAddsPreviousTables) {
    CodeplugImage img;
    img.setWord(102, static_cast<uint16_t>((3 << 11) | 10));  // descriptors at 110
    img.setWord(110, 0x0203);                                 // 2 x 3
    img.setWord(111, 0x0401);                                 // 4 x 1
    img.setWord(112, 0x0105);
    TableShape shape;
    EXPECT_EQ(tableStart(img, 100, 0), 113);
    EXPECT_EQ(tableStart(img, 100, 2, &shape), 113 + 6 + 4);
    EXPECT_EQ(shape.entries, 1);
    EXPECT_EQ(shape.wordsPerEntry, 5);
}

TEST(CodeplugFields, AccessOutsideTheBufferIsDroppedAndFlagged) {
    CodeplugImage img;
    EXPECT_EQ(img.word(CodeplugImage::kWords), 0);
    EXPECT_TRUE(img.outOfBounds);
    img.outOfBounds = false;
    img.setWord(-1, 7);
    img.setWord(CodeplugImage::kWords + 5, 7);
    EXPECT_TRUE(img.outOfBounds);
    img.outOfBounds = false;
    clearWords(img, CodeplugImage::kWords - 2, 10);
    EXPECT_TRUE(img.outOfBounds);
}

TEST(CodeplugFields, ImageAndBlockLengthsThatDoNotFitRaiseOverflow) {
    CodeplugImage img;
    setImageWords(img, 16384);
    EXPECT_FALSE(img.overflow);
    addImageWords(img, 1);
    EXPECT_TRUE(img.overflow);
    EXPECT_EQ(imageWords(img), 16384);
    img.overflow = false;
    setBlockLength(img, 0, 0x3FFF);
    EXPECT_FALSE(img.overflow);
    addBlockLength(img, 0, 1);
    EXPECT_TRUE(img.overflow);
}

TEST(CodeplugMoves, OpeningAGapPushesTheLastWordsOutClosingOneLeavesThem) {
    CodeplugImage opened;
    for (int i = 0; i < CodeplugImage::kWords; ++i)
        opened.words[i] = static_cast<uint16_t>(i);
    CodeplugImage closed = opened;
    insertWords(opened, 100, 3);
    EXPECT_EQ(wordsAt(opened, 99, 5), (std::vector<uint16_t>{99, 0, 0, 0, 100}));
    EXPECT_EQ(opened.word(CodeplugImage::kWords - 1), CodeplugImage::kWords - 4);
    EXPECT_FALSE(opened.outOfBounds);

    removeWords(closed, 100, 3);
    EXPECT_EQ(closed.word(100), 103);
    EXPECT_EQ(closed.word(CodeplugImage::kWords - 4), CodeplugImage::kWords - 1);
    EXPECT_EQ(closed.word(CodeplugImage::kWords - 1), CodeplugImage::kWords - 1);
}

TEST(CodeplugMoves, ReplaceTableDataGrowsShrinksAndRemoves) {
    CodeplugImage img;
    img.setWord(2, static_cast<uint16_t>((2 << 11) | 4));
    img.setWord(4, 0x0102);  // table 0: 1 x 2 at 6..7
    img.setWord(5, 0x0101);  // table 1: 1 x 1 at 8
    img.setWord(6, 0xAAAA);
    img.setWord(7, 0xBBBB);
    img.setWord(8, 0xCCCC);
    const uint16_t three[] = {1, 2, 3};
    EXPECT_EQ(replaceTableData(img, 0, 0, three, 3), 1);
    EXPECT_EQ(wordsAt(img, 6, 4), (std::vector<uint16_t>{1, 2, 3, 0xCCCC}));
    const uint16_t one[] = {9};
    setTableShape(img, 0, 0, 1, 3);
    EXPECT_EQ(replaceTableData(img, 0, 0, one, 1), -2);
    EXPECT_EQ(wordsAt(img, 6, 2), (std::vector<uint16_t>{9, 0xCCCC}));
    setTableShape(img, 0, 0, 1, 1);
    EXPECT_EQ(replaceTableData(img, 0, 0, nullptr, 0), -1);
    EXPECT_EQ(img.word(6), 0xCCCC);
}

TEST(CodeplugText, WriteText10PadsWithBlanks) {
    CodeplugImage img;
    writeText10(img, "SYS ALIAS", 65);
    EXPECT_EQ(readText10(img, 65), "SYS ALIAS ");
    EXPECT_EQ(img.word(65), ('Y' << 8) | 'S');
    writeText10(img, "1", 65);
    EXPECT_EQ(readText10(img, 65), "1         ");
    writeText10(img, "ABCDEFGHIJKLMNOP", 65);
    EXPECT_EQ(readText10(img, 65), "ABCDEFGHIJ");
    EXPECT_EQ(img.word(70), 0);
}

TEST(CodeplugVersions, IndexMapping) {
    EXPECT_EQ(versionIndexOf(5, 5), 0);
    EXPECT_EQ(versionIndexOf(5, 10), 5);
    EXPECT_EQ(versionIndexOf(4, 9), 255);
    EXPECT_EQ(versionIndexOf(5, 11), 255);
    EXPECT_EQ(versionIndexOf(5, 4), 255);
    int major = 0, minor = 0;
    versionNumbersOf(4, major, minor);
    EXPECT_EQ(major, 5);
    EXPECT_EQ(minor, 9);
    versionNumbersOf(6, major, minor);
    EXPECT_EQ(major, 0);
    EXPECT_EQ(minor, 0);
    CodeplugImage img;
    img.setWord(kFormatWord, 0x050A);
    EXPECT_EQ(codeplugVersionIndex(img), 5);
    img.setWord(kFormatWord, 0x0601);
    EXPECT_EQ(codeplugVersionIndex(img), 255);
}

TEST(CodeplugText, HexAndBytes) {
    const std::pair<char, int> digits[] = {{'7', 7}, {'c', 12}, {'F', 15}, {'g', 0}};
    for (auto [digit, value] : digits)
        EXPECT_EQ(hexDigitValue(digit), value) << digit;

    uint8_t bytes[8] = {};
    EXPECT_EQ(hexTextToBytes(bytes, sizeof bytes, "  0A1b\t\n", false), 2);
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[1], 0x1B);
    EXPECT_EQ(hexTextToBytes(bytes, sizeof bytes, "\177AB\177\177", false), 1);
    EXPECT_EQ(bytes[0], 0xAB);
    EXPECT_EQ(hexTextToBytes(bytes, sizeof bytes, "01-02-FF-7", true), 3);
    EXPECT_EQ(bytes[2], 0xFF);
    EXPECT_EQ(hexTextToBytes(bytes, 2, "0102030405", false), 2) << "capacity bounds the store";

    const uint8_t code[8] = {0x00, 0x01, 0xAB, 0xCD, 0xEF, 0x10, 0x99, 0x7F};
    EXPECT_EQ(bytesToText(code, 8), "0001ABCDEF10997F");
    EXPECT_EQ(bytesToText(code, 0), "");

    const std::pair<double, long> halves[] = {{548.864, 549}, {2.5, 3}, {2.49, 2}, {-1.5, -1}};
    for (auto [value, rounded] : halves)
        EXPECT_EQ(roundHalfUp(value), rounded) << value;

    uint8_t words[5] = {1, 2, 3, 4, 5};
    swapWordBytes(words, 5);
    EXPECT_EQ(words[0], 2);
    EXPECT_EQ(words[3], 3);
    EXPECT_EQ(words[4], 5) << "a trailing odd byte has no partner";
}

}  // namespace
