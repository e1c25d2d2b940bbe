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
    EXPECT_TRUE(IsEndRecord("S904000000FB"));
    EXPECT_TRUE(IsEndRecord("S70500000000FA"));
    EXPECT_TRUE(IsEndRecord("S9"));
    EXPECT_FALSE(IsEndRecord("S804000000FB"));
    EXPECT_FALSE(IsEndRecord("S1130000"));
    EXPECT_FALSE(IsEndRecord("S"));
    EXPECT_FALSE(IsEndRecord(""));
    EXPECT_FALSE(IsEndRecord("s9"));
}

TEST(DataByteCount, SubtractsAddressAndChecksumByType) {
    // count 0x13 = 19: 2 address bytes, 16 data bytes, 1 checksum byte.
    EXPECT_EQ(DataByteCount("S1130000000102030405060708090A0B0C0D0E0F74"), 16);
    EXPECT_EQ(DataByteCount("S214010100000102030405060708090A0B0C0D0E0FD5"), 16);
    EXPECT_EQ(DataByteCount("S315FE040100000102030405060708090A0B0C0D0E0FAA"), 16);
    EXPECT_EQ(DataByteCount("S00600004844521B"), 3);
}

TEST(DataByteCount, ReadsOnlyTheTwoCountCharacters) {
    // The address after the count is hexadecimal too; it must not extend the count.
    EXPECT_EQ(DataByteCount("S105FFFF0102F7"), 2);
    EXPECT_EQ(DataByteCount("S1FF"), 0xFF - 3);
}

TEST(DataByteCount, ShortOrBrokenCountFields) {
    EXPECT_EQ(DataByteCount("S1"), 0 - 2 - 1);        // no count: ParseHex of "" is 0
    EXPECT_EQ(DataByteCount("S19"), 9 - 2 - 1);       // one digit
    EXPECT_EQ(DataByteCount("S1G5"), -1 - 2 - 1);     // no digit first: -1
    EXPECT_EQ(DataByteCount("S15G0000"), 5 - 2 - 1);  // the scan stops at G
    EXPECT_EQ(DataByteCount("S303FE04"), -2);         // count smaller than the address
}

TEST(DataByteCount, LinesOfOtherTypesHaveNoData) {
    EXPECT_EQ(DataByteCount("S904000000FB"), 0);
    EXPECT_EQ(DataByteCount(""), 0);
}

TEST(DataByteCountFor, UsesTheGivenAddressSize) {
    EXPECT_EQ(DataByteCountFor("S315FE040100", 4), 16);
    EXPECT_EQ(DataByteCountFor("S015", 4), 16);
    EXPECT_EQ(DataByteCountFor("", 4), -5);
}

TEST(HexWord, LowByteFromTheFirstPair) {
    EXPECT_EQ(HexWord("0102", 0), 0x0201);
    EXPECT_EQ(HexWord("xxABCDxx", 2), 0xCDAB);
    EXPECT_EQ(HexWord("abcd", 0), 0xCDAB);
    EXPECT_EQ(HexWord("FFFF", 0), 0xFFFF);
}

TEST(HexWord, NonDigitsReadAsZero) {
    EXPECT_EQ(HexWord("G1H2", 0), 0x0201);
    EXPECT_EQ(HexWord("1 2\r", 0), 0x2010);
}

TEST(HexWord, CharactersPastTheLineReadAsZero) {
    EXPECT_EQ(HexWord("12345", 2), 0x5034);
    EXPECT_EQ(HexWord("123", 0), 0x3012);
    EXPECT_EQ(HexWord("12", 0), 0x0012);
    EXPECT_EQ(HexWord("12", 100), 0x0000);
    EXPECT_EQ(HexWord("", 0), 0x0000);
}

TEST(RecordFitsLine, CountsWholeWords) {
    const char* line = "S1070000AABBCCDD";  // data "AABBCCDD" at 8, checksum missing
    EXPECT_TRUE(RecordFitsLine(line, 8, 4));
    EXPECT_FALSE(RecordFitsLine(line, 8, 5));  // 5 bytes read 12 characters
    EXPECT_TRUE(RecordFitsLine(line, 8, 0));
    EXPECT_TRUE(RecordFitsLine(line, 8, -3));
    EXPECT_TRUE(RecordFitsLine("S1060000AABBCC00", 8, 3));  // odd count reads the checksum
}
