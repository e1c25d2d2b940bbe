// Feeds arbitrary text to the S-record reader as a code image and as a DSP loader image. The
// line reader must lose no character; a record whose characters are all hexadecimal digits
// and lie inside its line must give exactly the bytes its data field spells.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "download/SRecord.h"
#include "download/SRecordReader.h"

namespace {

int Digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool AllHex(std::string_view s) {
    for (char c : s)
        if (Digit(c) < 0)
            return false;
    return true;
}

// The pieces and their line ends give back the text, with every CR LF taken as one LF.
void CheckLinesLoseNothing(const std::string& text) {
    std::istringstream in(text);
    SRecordLineReader lines(in);
    std::string joined;
    while (lines.Next()) {
        FUZZ_CHECK(lines.Piece().size() + (lines.PieceEndsLine() ? 1 : 0) <=
                   SRecordLineReader::kMaxPieceChars);
        joined.append(lines.Piece());
        if (lines.PieceEndsLine())
            joined.push_back('\n');
    }
    FUZZ_CHECK(lines.Piece().empty());
    std::string expected;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        expected.push_back(text[i]);
    }
    FUZZ_CHECK(joined == expected);
}

void CheckRecords(const std::string& text, SRecordReader::Kind kind) {
    std::istringstream in(text);
    SRecordReader reader(in, kind);
    int weight = 0;
    int records = 0;
    while (reader.NextRecord(weight)) {
        ++records;
        FUZZ_CHECK(reader.Records() == records);
        const std::string_view line = reader.CurrentLine();
        const DataRecordLayout layout = kind == SRecordReader::Kind::kDspLoader
                                            ? kDspLoaderLayout
                                            : kDataRecordLayouts[ClassifyRecord(line)];
        FUZZ_CHECK(weight == layout.progressWeight);
        // The count field is one byte: at most 255 data bytes, 128 words.
        std::string bytes;
        std::uint16_t word = 0;
        int words = 0;
        while (reader.NextWord(word)) {
            FUZZ_CHECK(++words <= 128);
            bytes.push_back(static_cast<char>(word & 0xFF));
            bytes.push_back(static_cast<char>(word >> 8));
        }
        // A well-formed record of an even number of data bytes: its data field, byte by byte.
        if (line.size() >= 4 && AllHex(line.substr(2))) {
            const int count = Digit(line[2]) * 16 + Digit(line[3]);
            const int dataBytes = count - layout.addressBytes - 1;
            const std::size_t end =
                static_cast<std::size_t>(layout.dataStart + 2 * count - 2 * layout.addressBytes);
            if (dataBytes >= 0 && dataBytes % 2 == 0 && line.size() >= end) {
                FUZZ_CHECK(bytes.size() == static_cast<std::size_t>(dataBytes));
                for (int i = 0; i < dataBytes; ++i) {
                    const std::size_t at = static_cast<std::size_t>(layout.dataStart + 2 * i);
                    const int value = Digit(line[at]) * 16 + Digit(line[at + 1]);
                    FUZZ_CHECK(static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)]) ==
                               value);
                }
            }
        }
    }
    FUZZ_CHECK(!reader.NextRecord(weight));
    FUZZ_CHECK(reader.Records() == records);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckLinesLoseNothing(text);
    CheckRecords(text, SRecordReader::Kind::kCodeImage);
    CheckRecords(text, SRecordReader::Kind::kDspLoader);
    return 0;
}
