#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Synthetic firmware for tests, benchmarks and demo packages, deterministic from a seed: S-record
// images with the properties of the radio's real ones (loader S2 at 0x010100, boot S3 at
// 0xFE000100, application S3 at 0xFE040100, 16 data bytes per record, CR LF line ends, the end
// record S904000000FB) and DSP program files (little-endian COFF) in either section-header
// layout, with several pages, overlapping sections and sections the download filters out.
namespace firmwaregen {

using Bytes = std::vector<std::uint8_t>;

enum class ImageKind { kLoader, kBoot, kApplication, kDspLoader };

struct SRecordPlan {
    ImageKind kind = ImageKind::kApplication;
    std::uint64_t dataBytes = 4096;
    std::uint32_t seed = 1;
    int bytesPerRecord = 16;
};

// Data byte i of the image made from seed (a cheap counter-based generator, so any byte can be
// had without generating those before it).
std::uint8_t DataByte(std::uint32_t seed, std::uint64_t i);
Bytes Data(std::uint32_t seed, std::uint64_t count);

std::uint32_t StartAddress(ImageKind kind);
// Data bytes whose S-record text is about textBytes long.
std::uint64_t DataBytesForText(ImageKind kind, std::uint64_t textBytes, int bytesPerRecord = 16);

// Writes the image line by line: an S0 header (none for the DSP loader, which is read as S3
// records only), the data records, the end record. Nothing is held but one line.
void WriteSRecordImage(std::ostream& out, const SRecordPlan& plan);
// One record of type ('0'..'3', '7'..'9') with addressBytes of address, without a line end.
std::string SRecordLine(char type, int addressBytes, std::uint32_t address,
                        const std::uint8_t* data, int count);

struct DspSection {
    std::uint32_t address =
        0;  // in 16-bit words; with the 48-byte layout the upper half is the page
    std::int32_t sizeWords = 0;
    std::uint16_t pageField = 0;
    bool copied = true;  // passes the download's filter and has a page file
    Bytes data;
    // Where the header says the data lies; -1: after the table and the sections before it.
    // A section given an offset has none of its data written.
    std::int64_t rawOffset = -1;
};

struct DspPlan {
    bool layout48 = false;  // the 48-byte section headers (target kind 3) or the 40-byte ones
    int pages = 3;          // pages with data (the 40-byte layout has only page 0)
    int sectionsPerPage = 3;
    int maxSectionWords = 600;
    bool overlapping = true;  // each page's last section overlaps the one before
    bool filtered = true;     // adds sections the download must leave out
    bool optionalHeader = true;
    std::uint32_t seed = 1;
};

struct DspImage {
    bool layout48 = false;
    bool optionalHeader = true;
    std::vector<DspSection> sections;  // in table order
};

DspImage MakeDspImage(const DspPlan& plan);
void WriteCoff(std::ostream& out, const DspImage& image);
// The pages the download must send, in page order: every copied section laid at twice its
// word address within its page (the lower address half with the 48-byte layout), later
// sections over earlier ones, gaps zero (before the filler).
std::vector<Bytes> ExpectedPages(const DspImage& image);

}  // namespace firmwaregen
