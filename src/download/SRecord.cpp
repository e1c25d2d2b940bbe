#include "download/SRecord.h"

#include "common/Hex.h"

namespace {

bool StartsWith(std::string_view line, char a, char b) {
    return line.size() >= 2 && line[0] == a && line[1] == b;
}

int DigitOrZero(std::string_view line, std::size_t position) {
    if (position >= line.size()) {
        return 0;
    }
    const int value = HexDigitValue(line[position]);
    return value < 0 ? 0 : value;
}

int ByteAt(std::string_view line, std::size_t position) {
    return DigitOrZero(line, position) * 16 + DigitOrZero(line, position + 1);
}

// Number of characters HexWord reads for `dataBytes` bytes: whole words of four characters.
int WordCharacters(int dataBytes) {
    const int characters = dataBytes * 2;
    return characters <= 0 ? 0 : (characters + 3) / 4 * 4;
}

}  // namespace

int ClassifyRecord(std::string_view line) noexcept {
    if (StartsWith(line, 'S', '1')) {
        return kRecordS1;
    }
    if (StartsWith(line, 'S', '2')) {
        return kRecordS2;
    }
    if (StartsWith(line, 'S', '3')) {
        return kRecordS3;
    }
    if (StartsWith(line, 'S', '0')) {
        return kRecordS0;
    }
    return kRecordOther;
}

bool IsEndRecord(std::string_view line) noexcept {
    return StartsWith(line, 'S', '9') || StartsWith(line, 'S', '7');
}

int DataByteCountFor(std::string_view line, int addressBytes) noexcept {
    // The count is the two-character field alone: the characters after it are hexadecimal too
    // and must not extend the number.
    const std::string_view count = line.size() > 2 ? line.substr(2, 2) : std::string_view{};
    return ParseHex(count) - addressBytes - 1;
}

int DataByteCount(std::string_view line) noexcept {
    const int type = ClassifyRecord(line);
    if (type == kRecordOther) {
        return 0;
    }
    const int addressBytes = type == kRecordS0 ? 2 : kDataRecordLayouts[type].addressBytes;
    return DataByteCountFor(line, addressBytes);
}

std::uint16_t HexWord(std::string_view line, std::size_t position) noexcept {
    const int b0 = ByteAt(line, position);
    const int b1 = ByteAt(line, position + 2);
    return static_cast<std::uint16_t>(b0 + 256 * b1);
}

bool RecordFitsLine(std::string_view line, int dataStart, int dataBytes) noexcept {
    const int characters = WordCharacters(dataBytes);
    return characters == 0 || static_cast<std::size_t>(dataStart + characters) <= line.size();
}
