#include "download/SRecord.h"

#include <gtest/gtest.h>

TEST(ClassifyRecord, DataAndHeaderTypes) {
    EXPECT_EQ(ClassifyRecord("S1130000"), kRecordS1);
    EXPECT_EQ(ClassifyRecord("S214010100"), kRecordS2);
    EXPECT_EQ(ClassifyRecord("S315FE040100"), kRecordS3);
    EXPECT_EQ(ClassifyRecord("S00600004844521B"), kRecordS0);
    // Only the first two characters count.
    EXPECT_EQ(ClassifyRecord("S1"), kRecordS1);
    EXPECT_EQ(ClassifyRecord("S3garbage"), kRecordS3);
}

TEST(ClassifyRecord, EverythingElseIsMinusOne) {
    for (const char* line : {"S5030001FB", "S804000000FB", "S904000000FB", "S70500000000FA", "S4",
                             "S6", "", "S", "1S", "s1130000", " S1", "\r"}) {
        EXPECT_EQ(ClassifyRecord(line), kRecordOther) << '"' << line << '"';
    }
}

TEST(IsEndRecord, S9AndS7Only) {
    for (const char* line : {"S904000000FB", "S70500000000FA", "S9"})
        EXPECT_TRUE(IsEndRecord(line)) << line;
    for (const char* line : {"S804000000FB", "S1130000", "S", "", "s9"})
        EXPECT_FALSE(IsEndRecord(line)) << line;
}

TEST(DataByteCount, SubtractsAddressAndChecksumByType) {
    const struct {
        const char* line;
        int count;
    } cases[] = {
        // count 0x13 = 19: 2 address bytes, 16 data bytes, 1 checksum byte.
        {"S1130000000102030405060708090A0B0C0D0E0F74", 16},
        {"S214010100000102030405060708090A0B0C0D0E0FD5", 16},
        {"S315FE040100000102030405060708090A0B0C0D0E0FAA", 16},
        {"S00600004844521B", 3},
        // Only the two count characters are read, though the address after them is hex too.
        {"S105FFFF0102F7", 2},
        {"S1FF", 0xFF - 3},
        // Short or broken count fields.
        {"S1", 0 - 2 - 1},        // no count: ParseHex of "" is 0
        {"S19", 9 - 2 - 1},       // one digit
        {"S1G5", -1 - 2 - 1},     // no digit first: -1
        {"S15G0000", 5 - 2 - 1},  // the scan stops at G
        {"S303FE04", -2},         // count smaller than the address
        // Lines of other types have no data.
        {"S904000000FB", 0},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DataByteCount(c.line), c.count) << '"' << c.line << '"';
}

TEST(DataByteCountFor, UsesTheGivenAddressSize) {
    EXPECT_EQ(DataByteCountFor("S315FE040100", 4), 16);
    EXPECT_EQ(DataByteCountFor("S015", 4), 16);
    EXPECT_EQ(DataByteCountFor("", 4), -5);
}

TEST(HexWord, LowByteFromTheFirstPairNonDigitsAndCharactersPastTheLineAsZero) {
    const struct {
        const char* line;
        std::size_t at;
        int word;
    } cases[] = {
        {"0102", 0, 0x0201}, {"xxABCDxx", 2, 0xCDAB}, {"abcd", 0, 0xCDAB},  {"FFFF", 0, 0xFFFF},
        {"G1H2", 0, 0x0201}, {"1 2\r", 0, 0x2010},    {"12345", 2, 0x5034}, {"123", 0, 0x3012},
        {"12", 0, 0x0012},   {"12", 100, 0x0000},     {"", 0, 0x0000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexWord(c.line, c.at), c.word) << '"' << c.line << "\" at " << c.at;
}

TEST(RecordFitsLine, CountsWholeWords) {
    const char* line = "S1070000AABBCCDD";  // data "AABBCCDD" at 8, checksum missing
    EXPECT_TRUE(RecordFitsLine(line, 8, 4));
    EXPECT_FALSE(RecordFitsLine(line, 8, 5));  // 5 bytes read 12 characters
    EXPECT_TRUE(RecordFitsLine(line, 8, 0));
    EXPECT_TRUE(RecordFitsLine(line, 8, -3));
    EXPECT_TRUE(RecordFitsLine("S1060000AABBCC00", 8, 3));  // odd count reads the checksum
}
