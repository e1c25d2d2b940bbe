#include "FirmwareGen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "download/DspFile.h"
#include "download/SRecordReader.h"

using namespace firmwaregen;

namespace {

std::vector<std::uint16_t> Words(const Bytes& data) {
    std::vector<std::uint16_t> w;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        w.push_back(static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8)));
    return w;
}

std::vector<std::uint16_t> ReadWords(std::istream& in, SRecordReader::Kind kind) {
    SRecordReader reader(in, kind);
    std::vector<std::uint16_t> words;
    int weight = 0;
    std::uint16_t w = 0;
    while (reader.NextRecord(weight))
        while (reader.NextWord(w))
            words.push_back(w);
    EXPECT_TRUE(reader.EndRecordSeen());
    return words;
}

TEST(FirmwareGen, SRecordImagesHaveThePackageShapeValidSumsAndReadBackAsTheirData) {
    struct Case {
        ImageKind kind;
        const char* firstData;
    } cases[] = {{ImageKind::kLoader, "S214010100"},
                 {ImageKind::kBoot, "S315FE000100"},
                 {ImageKind::kApplication, "S315FE040100"}};
    for (const Case& c : cases) {
        std::ostringstream out;
        WriteSRecordImage(out, {c.kind, 1000, 7, 16});
        const std::string text = out.str();
        EXPECT_EQ(text.substr(0, 2), "S0");
        const std::size_t second = text.find("\r\n") + 2;
        EXPECT_EQ(text.compare(second, std::strlen(c.firstData), c.firstData), 0) << text;
        EXPECT_EQ(text.substr(text.size() - 14), "S904000000FB\r\n");
        EXPECT_EQ(text.find('\n', 0), text.find("\r\n") + 1);  // CR LF line ends
        std::istringstream in(text);
        EXPECT_EQ(ReadWords(in, SRecordReader::Kind::kCodeImage), Words(Data(7, 1000)));
        // Every record's bytes, its checksum with them, add up to 0xFF.
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            unsigned sum = 0;
            for (std::size_t i = 2; i + 2 < line.size(); i += 2)  // up to the '\r'
                sum += static_cast<unsigned>(std::stoul(line.substr(i, 2), nullptr, 16));
            EXPECT_EQ(sum & 0xFF, 0xFFu) << line;
        }
    }
}

TEST(FirmwareGen, DeterministicFromTheSeedAndSizedByText) {
    EXPECT_EQ(Data(5, 300), Data(5, 300));
    EXPECT_NE(Data(5, 300), Data(6, 300));
    EXPECT_EQ(DataByte(5, 299), Data(5, 300)[299]);
    const std::uint64_t bytes = DataBytesForText(ImageKind::kApplication, 12u << 20);
    std::ostringstream out;
    WriteSRecordImage(out, {ImageKind::kApplication, bytes, 1, 16});
    const double size = static_cast<double>(out.str().size());
    EXPECT_NEAR(size, 12.0 * (1 << 20), 100.0);
}

TEST(FirmwareGen, DspLoaderHasNoHeaderSoEveryLineIsData) {
    std::ostringstream out;
    WriteSRecordImage(out, {ImageKind::kDspLoader, 64, 2, 16});
    std::istringstream in(out.str());
    EXPECT_EQ(ReadWords(in, SRecordReader::Kind::kDspLoader), Words(Data(2, 64)));
}

TEST(FirmwareGen, DspFilesDecodeAsTheyWereMadeInBothLayouts) {
    for (bool layout48 : {false, true}) {
        DspPlan plan;
        plan.layout48 = layout48;
        plan.pages = 3;
        const DspImage image = MakeDspImage(plan);
        std::ostringstream out;
        WriteCoff(out, image);
        std::istringstream in(out.str());
        const TargetKind kind = layout48 ? 3 : 2;
        std::string reason;
        bool readFailed = false;
        EXPECT_TRUE(
            CheckDspFile(in, static_cast<std::int64_t>(out.str().size()), kind, reason, readFailed))
            << reason;
        DspFileHeader header;
        ASSERT_TRUE(ReadDspFileHeader(in, header));
        ASSERT_EQ(header.sectionCount, static_cast<int>(image.sections.size()));
        int filtered = 0;
        for (int i = 0; i < header.sectionCount; ++i) {
            ::DspSection s;
            ASSERT_TRUE(ReadDspSection(in, header, DspLayoutFor(kind), i, s));
            EXPECT_EQ(s.Copied(), image.sections[static_cast<std::size_t>(i)].copied);
            EXPECT_EQ(s.sizeWords, image.sections[static_cast<std::size_t>(i)].sizeWords);
            filtered += s.Copied() ? 0 : 1;
        }
        EXPECT_GT(filtered, 0);
        EXPECT_EQ(ExpectedPages(image).size(), layout48 ? 3u : 1u);
    }
}

}  // namespace
