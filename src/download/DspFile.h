#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "link/LinkTypes.h"

// The DSP program file: a little-endian COFF object file of the DSP's tool chain. Only a few
// fields are used: the number of sections and the size of the optional header from the 22-byte
// file header, and per section header its address, size, raw-data offset and page field.

inline constexpr int kDspFileHeaderSize = 22;
// Where the section table starts with and without an optional header.
inline constexpr int kDspSectionTableWithOptional = 50;
inline constexpr int kDspSectionTableWithout = 22;
// Number of page files and the page indices the kind-3 layout accepts (0..7).
inline constexpr int kDspPageCount = 9;
inline constexpr int kDspKind3Pages = 8;
// A page file larger than this is refused as absurd: even at full line speed it would take
// minutes, and a DSP page is far smaller (a kind-3 page spans 64 K words = 128 KiB).
inline constexpr std::int64_t kDspMaxPageBytes = std::int64_t{4} << 20;

// The section-header layout, chosen by the target kind.
struct DspLayout {
    int headerSize;        // 48 (kind 3) or 40
    int pageFieldOffset;   // 46 or 38
    std::uint16_t mask;    // a section is copied only when (page field AND mask) is zero
    bool pageFromAddress;  // kind 3: the page index is the upper half of the address
};
DspLayout DspLayoutFor(TargetKind kind);

struct DspFileHeader {
    int sectionCount = 0;  // signed 16-bit in the file
    std::int64_t tableStart = 0;
};
DspFileHeader DecodeDspFileHeader(const std::uint8_t* bytes);  // kDspFileHeaderSize bytes

struct DspSection {
    std::uint32_t virtualAddress = 0;  // in 16-bit words
    std::int32_t sizeWords = 0;
    std::uint32_t rawOffset = 0;
    std::uint16_t pageField = 0;
    int pageIndex = 0;
    bool filtered = false;        // the page field fails the mask: never read, never sent
    bool accepted = false;        // passes the mask and its page index has a page file
    std::int64_t pageOffset = 0;  // byte offset of the section in its page file

    std::int64_t PageOffset() const { return pageOffset; }
    bool Copied() const { return !filtered && accepted; }
};
DspSection DecodeDspSection(const std::uint8_t* bytes, const DspLayout& layout);

// Reads n bytes at offset; false unless all of them were read.
bool ReadAt(std::istream& in, std::int64_t offset, void* buffer, std::int64_t n);

// Reads the file header and section header index; false on a read failure.
bool ReadDspFileHeader(std::istream& in, DspFileHeader& header);
bool ReadDspSection(std::istream& in, const DspFileHeader& header, const DspLayout& layout,
                    int index, DspSection& section);

// Checks that everything the download will read lies inside a file of fileSize bytes and that
// no size is negative or absurd. Sections that are not copied are not examined. On a failure
// reason says what is wrong in words for the status line and the result is false; a read
// failure of the file itself sets readFailed.
bool CheckDspFile(std::istream& in, std::int64_t fileSize, TargetKind kind, std::string& reason,
                  bool& readFailed);
