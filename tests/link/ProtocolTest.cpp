#include <gtest/gtest.h>

#include <vector>

#include "link/CommandTable.h"
#include "link/Protocol.h"
#include "link/VersionRecord.h"

namespace {

TEST(WordChecksum, SumsBigEndianWordsModulo65536) {
    const std::uint8_t a[] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(WordChecksum(a, 4), 0x12 * 256 + 0x34 + 0x56 * 256 + 0x78);
    const std::uint8_t wrap[] = {0xFF, 0xFF, 0x00, 0x02};
    EXPECT_EQ(WordChecksum(wrap, 4), 0x0001);
    EXPECT_EQ(WordChecksum(a, 0), 0);
    // An odd length never reads past the end: the last byte is a high byte.
    const std::uint8_t odd[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(WordChecksum(odd, 3), 0x0102 + 0x0300);
    const std::vector<std::uint8_t> block(128, 0xFF);
    EXPECT_EQ(WordChecksum(block.data(), 128), static_cast<std::uint16_t>(64 * 0xFFFF));
}

TEST(DeviceBaudIndex, MapsRatesToTheBaudTable) {
    const std::pair<int, int> table[] = {{9600, 12},   {19200, 14}, {38400, 15},  {57600, 17},
                                         {115200, 19}, {4800, 14},  {230400, 14}, {0, 14}};
    for (auto [baud, index] : table)
        EXPECT_EQ(DeviceBaudIndex(baud), index) << baud;
}

TEST(RateChangeCode, MapsRatesAndBack) {
    const std::pair<int, int> table[] = {{9600, 0},  {19200, 1},  {38400, 3},
                                         {57600, 4}, {115200, 5}, {1200, 1}};
    for (auto [baud, code] : table)
        EXPECT_EQ(RateChangeCode(baud), code) << baud;
    EXPECT_EQ(RateFromChangeCode(5), 115200);
    EXPECT_EQ(RateFromChangeCode(1), 19200);
    EXPECT_EQ(RateFromChangeCode(2), 0);
}

TEST(CommandTable, HasSixtyRowsInIdOrder) {
    for (int id = 0; id < kCommandCount; ++id) {
        EXPECT_EQ(FindCommand(id), id);
        EXPECT_EQ(kCommandTable[id].id, id);
    }
    EXPECT_EQ(FindCommand(60), -1);
    EXPECT_EQ(FindCommand(-1), -1);
}

TEST(CommandTable, RowsUsedByTheProgram) {
    struct Row {
        int id;
        std::uint8_t g, f, one, data;
    };
    const Row rows[] = {
        {1, 0x02, 0x00, 0xD8, 0},    {3, 0x02, 0x02, 0xC5, 2},  {8, 0x02, 0x07, 0xC4, 0},
        {13, 0x03, 0x02, 0xD9, 128}, {25, 0x04, 0x05, 0x00, 8}, {29, 0x04, 0x0A, 0x72, 3},
        {36, 0x04, 0x1D, 0x72, 2},   {38, 0x00, 0x00, 0x72, 6}, {42, 0x09, 0x00, 0x00, 0},
        {48, 0x02, 0x09, 0xD9, 128}, {49, 0x02, 0x0A, 0xC7, 0}, {51, 0x04, 0x20, 0xC7, 0},
        {54, 0x04, 0x2C, 0x00, 4},   {56, 0x04, 0x2D, 0x00, 0}, {57, 0x04, 0x2E, 0x00, 2},
        {59, 0x04, 0x3F, 0x00, 2},
    };
    for (const Row& r : rows) {
        const CommandEntry& e = kCommandTable[r.id];
        EXPECT_EQ(e.code2[0], r.g) << r.id;
        EXPECT_EQ(e.code2[1], r.f) << r.id;
        EXPECT_EQ(e.code1, r.one) << r.id;
        EXPECT_EQ(e.dataLength, r.data) << r.id;
    }
}

TEST(CommandTable, MakeCommandAndReplyLength) {
    MessageRecord rec;
    ASSERT_TRUE(MakeCommand(rec, kCmdBootVersion, true));
    EXPECT_EQ(rec.length, 2);
    EXPECT_EQ(rec.buffer[0], 0x04);
    EXPECT_EQ(rec.buffer[1], 0x2E);
    ASSERT_TRUE(MakeCommand(rec, kCmdControllerVersion, false));
    EXPECT_EQ(rec.length, 1);
    EXPECT_EQ(rec.buffer[0], 0x72);

    rec.length = 77;
    rec.buffer[0] = 0xAA;
    EXPECT_FALSE(MakeCommand(rec, 60, true));
    EXPECT_EQ(rec.length, 77);
    EXPECT_EQ(rec.buffer[0], 0xAA);

    EXPECT_EQ(ReplyLength(kCmdFileFormatVersion, true), 4);
    EXPECT_EQ(ReplyLength(kCmdSerialNumber, true), 10);
    EXPECT_EQ(ReplyLength(kCmdDataBlock, true), 130);
    EXPECT_EQ(ReplyLength(kCmdDataBlock, false), 129);
    EXPECT_EQ(ReplyLength(kCmdInformationBusy, true), 2);
    EXPECT_EQ(ReplyLength(99, true), 0);
}

TEST(VersionText, FormatsEveryField) {
    VersionRecord r;
    const std::uint8_t bytes[VersionRecord::kSize] = {
        5,    10,   1,    2,    3,    4,    0,    12, 7, 8, 9, 0x00,
        0x01, 0xAB, 0x0C, 0xFF, 0x10, 0x9A, 0x5E, 1,  9, 0, 0};
    std::copy(bytes, bytes + VersionRecord::kSize, r.bytes);
    EXPECT_EQ(version_text::FileFormatVersion(r), "5.10");
    EXPECT_EQ(version_text::DspVersion(r), "1.2.3");
    EXPECT_EQ(version_text::ControllerVersion(r), "4.0.12");
    EXPECT_EQ(version_text::SerialNumber(r), "00-01-AB-0C-FF-10-9A-5E");
    EXPECT_EQ(version_text::SerialNumber(r).size(), 23u);
    EXPECT_EQ(version_text::BootVersion(r), "1.9");
    EXPECT_EQ(version_text::SemVersion(r), "Not Applicable");
    for (int kind = 0; kind <= 8; ++kind) {
        bool shown = kind == 1 || kind == 5 || kind == 7;
        EXPECT_EQ(version_text::HardwareRevision(r, static_cast<TargetKind>(kind)),
                  shown ? "7.8.9" : "Not Applicable")
            << kind;
    }
    r.bytes[VersionRecord::kBootOffset] = 0;
    r.bytes[VersionRecord::kBootOffset + 1] = 3;
    EXPECT_EQ(version_text::BootVersion(r), "0.3");
    r.bytes[VersionRecord::kBootOffset + 1] = 0;
    EXPECT_EQ(version_text::BootVersion(r), "Not Applicable");
    r.bytes[VersionRecord::kSemOffset] = 2;
    EXPECT_EQ(version_text::SemVersion(r), "2.0");
}

TEST(VersionText, ShowableResults) {
    for (LinkResult r : {LinkResult::kSuccess, LinkResult::kCommProblem, LinkResult::kTimedOut,
                         LinkResult::kNoBootInfo, LinkResult::kVerifyFailure,
                         LinkResult::kSemFailed, LinkResult::kProcessorMismatch}) {
        EXPECT_EQ(version_text::IsShowable(r), r == LinkResult::kSuccess ||
                                                   r == LinkResult::kNoBootInfo ||
                                                   r == LinkResult::kSemFailed)
            << ToInt(r);
    }
}

}  // namespace
