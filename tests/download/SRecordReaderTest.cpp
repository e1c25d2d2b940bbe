#include "download/SRecordReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "DownloadTestSupport.h"

namespace {

// --- helpers -------------------------------------------------------------------------------

using dltest::Record;

struct ReadResult {
    std::vector<int> weights;                       // one per record
    std::vector<std::vector<std::uint16_t>> words;  // per record
    bool endRecordSeen = false;
    int shortRecords = 0;
};

ReadResult ReadAll(std::istream& in, SRecordReader::Kind kind) {
    SRecordReader reader(in, kind);
    ReadResult result;
    int weight = 0;
    while (reader.NextRecord(weight)) {
        result.weights.push_back(weight);
        result.words.emplace_back();
        std::uint16_t word = 0;
        while (reader.NextWord(word)) {
            result.words.back().push_back(word);
        }
    }
    result.endRecordSeen = reader.EndRecordSeen();
    result.shortRecords = reader.ShortRecords();
    EXPECT_EQ(reader.Records(), static_cast<int>(result.weights.size()));
    return result;
}

ReadResult ReadText(const std::string& text,
                    SRecordReader::Kind kind = SRecordReader::Kind::kCodeImage) {
    std::istringstream in(text);
    return ReadAll(in, kind);
}

// The bytes of the records' words stored low byte first, as the flash download stores them.
std::vector<std::uint8_t> LowByteFirst(const std::vector<std::vector<std::uint16_t>>& records) {
    std::vector<std::uint8_t> bytes;
    for (const auto& words : records) {
        for (const std::uint16_t word : words) {
            bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        }
    }
    return bytes;
}

std::vector<std::string> Pieces(const std::string& text) {
    std::istringstream in(text);
    SRecordLineReader lines(in);
    std::vector<std::string> pieces;
    while (lines.Next()) {
        pieces.emplace_back(lines.Piece());
        pieces.back() += lines.PieceEndsLine() ? "|" : "#";
    }
    return pieces;
}

using Words = std::vector<std::uint16_t>;

// A stream that makes up an S3 image record by record as it is read, so the image never exists
// whole anywhere; it also remembers how far the reader has consumed.
class GeneratedImage : public std::streambuf {
  public:
    explicit GeneratedImage(int records) : records_(records) {}

    static std::uint8_t DataByte(int record, int i) {
        return static_cast<std::uint8_t>(record * 7 + i * 13);
    }

  protected:
    int_type underflow() override {
        if (gptr() < egptr()) {
            return traits_type::to_int_type(*gptr());
        }
        if (next_ > records_) {
            return traits_type::eof();
        }
        if (next_ == records_) {
            line_ = "S904000000FB\r\n";
        } else {
            std::vector<std::uint8_t> bytes;
            for (int i = 0; i < 16; ++i) {
                bytes.push_back(DataByte(next_, i));
            }
            line_ = Record('3', 4, 0xFE040100u + 16u * static_cast<std::uint32_t>(next_), bytes) +
                    "\r\n";
        }
        ++next_;
        setg(line_.data(), line_.data(), line_.data() + line_.size());
        return traits_type::to_int_type(*gptr());
    }

  private:
    int records_;
    int next_ = 0;
    std::string line_;
};

// --- the line buffer -----------------------------------------------------------------------

TEST(SRecordLineReader, CutsLinesAtLfOrCrLfAndLongOnesIntoPiecesOf299) {
    using Pieces_ = std::vector<std::string>;
    const std::string x298(298, 'x'), x299(299, 'x'), a299(299, 'a'), b299(299, 'b');
    const struct {
        std::string text;
        Pieces_ pieces;  // "|": the piece ends its line, "#": it does not
    } cases[] = {
        {"ab\r\ncd\nef", {"ab|", "cd|", "ef#"}},
        {"\n\r\n", {"|", "|"}},
        {"", {}},
        {"a\rb\r\r\n", {"a\rb\r|"}},  // a lone CR is an ordinary character
        {x298 + "\r\ny\n", {x298 + "|", "y|"}},
        {x298 + "\n", {x298 + "|"}},
        // The line end no longer fits: it comes as an empty piece of its own.
        {x299 + "\r\n", {x299 + "#", "|"}},
        {a299 + b299 + "cc\n", {a299 + "#", b299 + "#", "cc|"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Pieces(c.text), c.pieces) << c.text.substr(0, 20);
}

TEST(SRecordLineReader, ConsumesNothingBeyondThePiece) {
    std::istringstream in("AB\r\nCD\nEF");
    SRecordLineReader lines(in);
    ASSERT_TRUE(lines.Next());
    EXPECT_EQ(in.tellg(), 4);
    ASSERT_TRUE(lines.Next());
    EXPECT_EQ(in.tellg(), 7);
    // A CR that is not followed by LF is looked at, not taken.
    std::istringstream cut(std::string(298, 'x') + "\rZ");
    SRecordLineReader cutLines(cut);
    ASSERT_TRUE(cutLines.Next());
    EXPECT_EQ(cutLines.Piece().size(), 299u);
    EXPECT_EQ(cut.tellg(), 299);
}

// --- code images ---------------------------------------------------------------------------

TEST(SRecordReader, LoaderImageAsThePackageCarriesIt) {
    // An S0 header, S2 records at 0x010100 of 16 data bytes each, CR LF, end record S904000000FB.
    const std::vector<std::uint8_t> data = dltest::Pattern(160);
    const ReadResult result = ReadText(dltest::Image(data, '2', 0x010100));
    EXPECT_EQ(result.weights, std::vector<int>(10, 3));
    EXPECT_EQ(LowByteFirst(result.words), data);
    EXPECT_TRUE(result.endRecordSeen);
    EXPECT_EQ(result.shortRecords, 0);
}

// Whole texts read record by record: the words of each record, their weights, whether the end
// record was seen, and the records cut short by their line.
struct ReadCase {
    const char* name;
    std::string text;
    std::vector<Words> words;
    std::vector<int> weights;
    bool endRecordSeen;
    int shortRecords;
    SRecordReader::Kind kind = SRecordReader::Kind::kCodeImage;
};

ReadCase Case(const char* name, std::string text, std::vector<Words> words,
              std::vector<int> weights, bool endRecordSeen, int shortRecords,
              SRecordReader::Kind kind = SRecordReader::Kind::kCodeImage) {
    return {
        name, std::move(text), std::move(words), std::move(weights), endRecordSeen, shortRecords,
        kind};
}

std::vector<ReadCase> ReadCases() {
    const std::vector<std::uint8_t> two = {0x12, 0x34};
    std::string skipped;
    for (const std::string& line :
         {Record('0', 2, 0, {'h', 'd', 'r'}), Record('3', 4, 0xFE000100, {0x01, 0x02}),
          std::string("S5030001FB"), std::string(),  // an empty line
          std::string("S804000000FB"), std::string("garbage"),
          std::string("s3 lower case is no record"), Record('3', 4, 0xFE000102, {0x03, 0x04}),
          std::string("S904000000FB")})
        skipped += line + "\r\n";
    // Read as DSP loader records, with the S3 layout whatever their type.
    const std::string s0 = "S00600004844521B";  // count 6: one data byte at character 12
    const std::string s1 = Record('1', 2, 0, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE});  // count 8
    const auto dsp = SRecordReader::Kind::kDspLoader;
    return {
        Case("WeightsByType",
             Record('1', 2, 0, two) + "\n" + Record('2', 3, 0, two) + "\n" +
                 Record('3', 4, 0xFE040100, two) + "\n",
             {{0x3412}, {0x3412}, {0x3412}}, {3, 3, 4}, false, 0),
        Case("SkippedRecordTypesDoNotStopReading", skipped, {{0x0201}, {0x0403}}, {4, 4}, true, 0),
        // Three data bytes AA BB CC, checksum C8: the second word is CC + 256 * C8.
        Case("OddDataByteCountTakesTheChecksumAsTheLastHighByte",
             "S1060000AABBCCC8\r\nS9030000FC\r\n", {{0xBBAA, 0xC8CC}}, {3}, true, 0),
        Case("OneDataByteIsReadWithTheChecksum", Record('3', 4, 0, {0x7E}) + "\n", {{0x7B7E}}, {4},
             false, 0),
        Case("RecordWithoutDataStillCountsItsWeight", "S1030000FC\nS303FE04\nS1\n", {{}, {}, {}},
             {3, 4, 3}, false, 0),
        // The second piece of an over-long line is examined like any line.
        Case("APieceThatStartsWithARecordTypeIsReadAsARecord",
             std::string(299, 'x') + Record('1', 2, 0, {0x11, 0x22}) + "\n" +
                 std::string(299, 'y') + "S9030000FC\n" + Record('1', 2, 0, {0x33, 0x44}) + "\n",
             {{0x2211}}, {3}, true, 0),
        Case("ImageWithoutEndRecordIsReadToTheEndOfTheStream",
             Record('2', 3, 0x010100, {1, 2, 3, 4}) + "\r\n" +
                 Record('2', 3, 0x010104, {5, 6}),  // no final line end
             {{0x0201, 0x0403}, {0x0605}}, {3, 3}, false, 0),
        Case("EmptyText", "", {}, {}, false, 0),
        Case("S7EndsACodeImage",
             Record('3', 4, 0, {1, 2}) + "\nS70500000000FA\n" + Record('3', 4, 2, {3, 4}),
             {{0x0201}}, {4}, true, 0),
        // Count 0x0B asks for 8 data bytes; the line holds 2 and no checksum.
        Case("MissingDigitsReadAsZero", "S10B0000ABCD\nS1050000123400\n",
             {{0xCDAB, 0, 0, 0}, {0x3412}}, {3, 3}, false, 1),
        Case("NonHexCharactersReadAsZero", "S1070000zz12x4FF\n", {{0x1200, 0xFF04}}, {3}, false, 0),
        Case("ABrokenCountField", "S1ZZ0000ABCD\nS1\n", {{}, {}}, {3, 3}, false, 0),
        Case("DspLoaderS3RecordsUntilS9",
             Record('3', 4, 0x00008000, {0x10, 0x20, 0x30, 0x40}) + "\r\n" +
                 Record('3', 4, 0x00008004, {0x50, 0x60}) + "\r\nS9030000FC\r\n" +
                 Record('3', 4, 0, {1, 2}) + "\r\n",
             {{0x2010, 0x4030}, {0x6050}}, {4, 4}, true, 0, dsp),
        // An S0, an S7, an S1 and an empty line are all read with the S3 layout.
        Case("DspLoaderTakesEveryOtherLineAsAnS3Record",
             s0 + "\nS70500000000FA\n" + s1 + "\n\nS9\n",
             {{HexWord(s0, 12)}, {}, {HexWord(s1, 12), HexWord(s1, 16)}, {}}, {4, 4, 4, 4}, true, 0,
             dsp),
        Case("DspLoaderWithoutS9ReadsToTheEnd", Record('3', 4, 0, {1, 2}) + "\n", {{0x0201}}, {4},
             false, 0, dsp),
    };
}

TEST(SRecordReader, ReadsEveryRecordOfAText) {
    EXPECT_EQ(Record('1', 2, 0, {0xAA, 0xBB, 0xCC}), "S1060000AABBCCC8");
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.name);
        const ReadResult result = ReadText(c.text, c.kind);
        EXPECT_EQ(result.words, c.words);
        EXPECT_EQ(result.weights, c.weights);
        EXPECT_EQ(result.endRecordSeen, c.endRecordSeen);
        EXPECT_EQ(result.shortRecords, c.shortRecords);
    }
}

TEST(SRecordReader, LongLineIsReadInPiecesAndTheLaterPiecesAreSkipped) {
    // An S3 record with the largest count, 0xFF: 250 data bytes, 514 characters in all.
    std::vector<std::uint8_t> bytes(250);
    std::iota(bytes.begin(), bytes.end(), 0);
    const std::string longLine = Record('3', 4, 0xFE040100, bytes);
    ASSERT_EQ(longLine.size(), 514u);
    const std::string text =
        longLine + "\r\n" + Record('3', 4, 0xFE040200, {0xDE, 0xAD}) + "\r\nS904000000FB\r\n";

    const ReadResult result = ReadText(text);
    // The first piece (299 characters) is the record: its count asks for 125 words, and the
    // characters it does not hold read as zero digits. The second piece (characters 299-597)
    // starts with data digits, no record type, and is skipped.
    ASSERT_EQ(result.weights, (std::vector<int>{4, 4}));
    ASSERT_EQ(result.words[0].size(), 125u);
    const std::string piece = longLine.substr(0, 299);
    for (std::size_t w = 0; w < 125; ++w) {
        EXPECT_EQ(result.words[0][w], HexWord(piece, 12 + 4 * w)) << "word " << w;
    }
    // The words held wholly by the piece are the record's data.
    const std::vector<std::uint8_t> delivered = LowByteFirst({result.words[0]});
    EXPECT_EQ(std::vector<std::uint8_t>(delivered.begin(), delivered.begin() + 142),
              std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 142));
    EXPECT_EQ(result.words[0][124], 0);
    EXPECT_EQ(result.shortRecords, 1);
    EXPECT_EQ(result.words[1], (Words{0xADDE}));
    EXPECT_TRUE(result.endRecordSeen);
}

TEST(SRecordReader, StopsAtTheEndRecordAndReadsNothingAfterIt) {
    const std::string head = Record('1', 2, 0, {1, 2}) + "\r\nS904000000FB\r\n";
    std::istringstream in(head + Record('1', 2, 2, {3, 4}) + "\r\n");
    SRecordReader reader(in, SRecordReader::Kind::kCodeImage);
    int weight = 0;
    ASSERT_TRUE(reader.NextRecord(weight));
    EXPECT_FALSE(reader.NextRecord(weight));
    EXPECT_TRUE(reader.EndRecordSeen());
    EXPECT_EQ(in.tellg(), static_cast<std::streamoff>(head.size()));
    EXPECT_FALSE(reader.NextRecord(weight));  // and stays at the end
    std::uint16_t word = 0;
    EXPECT_FALSE(reader.NextWord(word));
}

TEST(SRecordReader, ReadsOneLineAtATime) {
    const std::string first = Record('3', 4, 0, {1, 2, 3, 4}) + "\r\n";
    std::istringstream in(first + Record('3', 4, 4, {5, 6}) + "\r\nS904000000FB\r\n");
    SRecordReader reader(in, SRecordReader::Kind::kCodeImage);
    int weight = 0;
    ASSERT_TRUE(reader.NextRecord(weight));
    std::uint16_t word = 0;
    ASSERT_TRUE(reader.NextWord(word));
    ASSERT_TRUE(reader.NextWord(word));
    EXPECT_FALSE(reader.NextWord(word));
    EXPECT_EQ(in.tellg(), static_cast<std::streamoff>(first.size()));
}

TEST(SRecordReader, TheCallerMayStopInsideARecord) {
    std::istringstream in(Record('1', 2, 0, {1, 2, 3, 4, 5, 6}) + "\n" + Record('1', 2, 6, {7, 8}) +
                          "\n");
    SRecordReader reader(in, SRecordReader::Kind::kCodeImage);
    int weight = 0;
    std::uint16_t word = 0;
    ASSERT_TRUE(reader.NextRecord(weight));
    ASSERT_TRUE(reader.NextWord(word));
    EXPECT_EQ(word, 0x0201);
    // The rest of the first record is dropped when the caller moves on.
    ASSERT_TRUE(reader.NextRecord(weight));
    ASSERT_TRUE(reader.NextWord(word));
    EXPECT_EQ(word, 0x0807);
    EXPECT_FALSE(reader.NextWord(word));
}

TEST(SRecordReader, UnopenedFileGivesAnEmptyImage) {
    std::ifstream missing("/nonexistent/quenta/image.s19");
    const ReadResult result = ReadAll(missing, SRecordReader::Kind::kCodeImage);
    EXPECT_TRUE(result.weights.empty());
    EXPECT_FALSE(result.endRecordSeen);
}

TEST(SRecordReader, StreamsAnImageThatIsNeverWholeInMemory) {
    constexpr int kRecords = 100000;  // 4.6 MB of S-record text
    GeneratedImage image(kRecords);
    std::istream in(&image);
    SRecordReader reader(in, SRecordReader::Kind::kCodeImage);
    int weight = 0;
    int record = 0;
    long words = 0;
    bool allMatch = true;
    while (reader.NextRecord(weight)) {
        std::uint16_t word = 0;
        for (int i = 0; reader.NextWord(word); i += 2) {
            const std::uint16_t expected = static_cast<std::uint16_t>(
                GeneratedImage::DataByte(record, i) | GeneratedImage::DataByte(record, i + 1) << 8);
            allMatch = allMatch && word == expected;
            ++words;
        }
        ++record;
    }
    EXPECT_TRUE(allMatch);
    EXPECT_EQ(record, kRecords);
    EXPECT_EQ(words, 8L * kRecords);
    EXPECT_TRUE(reader.EndRecordSeen());
}

}  // namespace
