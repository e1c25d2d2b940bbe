#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// One Motorola S-record line, examined in place. The reader places nothing by address: record
// addresses and checksums are never looked at, only the type, the count and the data
// characters.
//
// A line is: type (characters 0-1), count (2-3, the number of bytes that follow: address, data,
// checksum), address (4, 6 or 8 characters for S1, S2, S3), data (two characters per byte), a
// two-character checksum.

// Record type indices returned by ClassifyRecord.
inline constexpr int kRecordS1 = 0;
inline constexpr int kRecordS2 = 1;
inline constexpr int kRecordS3 = 2;
inline constexpr int kRecordS0 = 3;
inline constexpr int kRecordOther = -1;

// Layout of the three data record types, indexed by kRecordS1..kRecordS3.
struct DataRecordLayout {
    int addressBytes;    // bytes of the address field
    int dataStart;       // character position of the first data character
    int progressWeight;  // what the flash download adds to its progress counter per record
};
inline constexpr DataRecordLayout kDataRecordLayouts[3] = {
    {2, 8, 3},   // S1: 16-bit address
    {3, 10, 3},  // S2: 24-bit address
    {4, 12, 4},  // S3: 32-bit address
};

// The DSP loader image is read as S3 records only, with the S3 weight.
inline constexpr DataRecordLayout kDspLoaderLayout = kDataRecordLayouts[kRecordS3];

// Compares the first two characters with "S1" (0), "S2" (1), "S3" (2) and "S0" (3), in that
// order; anything else (including a line shorter than two characters) gives -1.
int ClassifyRecord(std::string_view line) noexcept;

// True when the first two characters are exactly "S9" or "S7".
bool IsEndRecord(std::string_view line) noexcept;

// The count field (characters 2-3) read with ParseHex, minus the address bytes of the record's
// type and minus 1 for the checksum. An S0 header has a 2-byte address; a line of any other type
// gives 0. A count field that does not start with a hexadecimal digit reads as -1, so the result
// is then negative, which means "no data".
int DataByteCount(std::string_view line) noexcept;

// The count field minus `addressBytes` and the checksum byte, whatever the record type; the
// DSP loader reading uses it with 4 address bytes for every line.
int DataByteCountFor(std::string_view line, int addressBytes) noexcept;

// The four characters at `position` read as two bytes b0 (characters 0-1) and b1 (2-3); the
// word is b0 + 256 * b1, so storing it low byte first reproduces the file's byte order.
// A character that is not a hexadecimal digit, and a position at or past the end of the line,
// count as the digit 0: a corrupt or cut record gives defined words and nothing outside the line
// is read.
std::uint16_t HexWord(std::string_view line, std::size_t position) noexcept;

// True when every character that HexWord reads for a record of `dataBytes` data bytes starting
// at `dataStart` lies inside the line (the record is not cut short).
bool RecordFitsLine(std::string_view line, int dataStart, int dataBytes) noexcept;
