#include "download/DspFile.h"

#include "link/TargetKinds.h"

namespace {

constexpr int kSectionCountOffset = 2;
constexpr int kOptionalSizeOffset = 16;
constexpr int kAddressOffset = 12;
constexpr int kAddressHighOffset = 14;
constexpr std::uint32_t kAddressInPageMask = 0xFFFF;  // kind 3: the word address in its page
constexpr int kSizeOffset = 16;
constexpr int kRawOffsetOffset = 20;
constexpr int kLargestHeader = 48;

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

DspLayout DspLayoutFor(TargetKind kind) {
    if (TargetKindInfo(kind).dspLayout == DspSectionLayout::kPageInAddress)
        return {48, 46, 0x00FF, true};
    return {40, 38, 0xFF00, false};
}

DspFileHeader DecodeDspFileHeader(const std::uint8_t* bytes) {
    DspFileHeader header;
    header.sectionCount = static_cast<std::int16_t>(U16(bytes + kSectionCountOffset));
    header.tableStart = U16(bytes + kOptionalSizeOffset) != 0 ? kDspSectionTableWithOptional
                                                              : kDspSectionTableWithout;
    return header;
}

DspSection DecodeDspSection(const std::uint8_t* bytes, const DspLayout& layout) {
    DspSection s;
    s.virtualAddress = U32(bytes + kAddressOffset);
    s.sizeWords = static_cast<std::int32_t>(U32(bytes + kSizeOffset));
    s.rawOffset = U32(bytes + kRawOffsetOffset);
    s.pageField = U16(bytes + layout.pageFieldOffset);
    s.filtered = (s.pageField & layout.mask) != 0;
    if (layout.pageFromAddress) {
        // The upper half of the address names the page, so the place inside the page is the
        // lower half alone: twice the whole address would put page 1 past 128 KiB of zeros.
        s.pageIndex = U16(bytes + kAddressHighOffset);
        s.accepted = s.pageIndex < kDspKind3Pages;
        s.pageOffset = std::int64_t{s.virtualAddress & kAddressInPageMask} * 2;
    } else {
        // Every address of this layout lies in page 0.
        s.pageIndex = s.pageField / 256;
        s.accepted = s.pageIndex == 0;
        s.pageOffset = std::int64_t{s.virtualAddress} * 2;
    }
    return s;
}

bool ReadAt(std::istream& in, std::int64_t offset, void* buffer, std::int64_t n) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in)
        return false;
    if (n == 0)
        return true;
    in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(n));
    return in.gcount() == n;
}

bool ReadDspFileHeader(std::istream& in, DspFileHeader& header) {
    std::uint8_t bytes[kDspFileHeaderSize];
    if (!ReadAt(in, 0, bytes, sizeof bytes))
        return false;
    header = DecodeDspFileHeader(bytes);
    return true;
}

bool ReadDspSection(std::istream& in, const DspFileHeader& header, const DspLayout& layout,
                    int index, DspSection& section) {
    std::uint8_t bytes[kLargestHeader];
    const std::int64_t at = header.tableStart + std::int64_t{index} * layout.headerSize;
    if (!ReadAt(in, at, bytes, layout.headerSize))
        return false;
    section = DecodeDspSection(bytes, layout);
    return true;
}

bool CheckDspFile(std::istream& in, std::int64_t fileSize, TargetKind kind, std::string& reason,
                  bool& readFailed) {
    readFailed = false;
    if (fileSize < kDspFileHeaderSize) {
        reason = "its header lies outside the file.";
        return false;
    }
    DspFileHeader header;
    if (!ReadDspFileHeader(in, header)) {
        readFailed = true;
        return false;
    }
    if (header.sectionCount < 0) {
        reason = "its number of sections is negative.";
        return false;
    }
    const DspLayout layout = DspLayoutFor(kind);
    if (header.tableStart + std::int64_t{header.sectionCount} * layout.headerSize > fileSize) {
        reason = "its section table lies outside the file.";
        return false;
    }
    for (int i = 0; i < header.sectionCount; ++i) {
        DspSection s;
        if (!ReadDspSection(in, header, layout, i, s)) {
            readFailed = true;
            return false;
        }
        if (!s.Copied())
            continue;
        const std::string which = "section " + std::to_string(i + 1);
        if (s.sizeWords < 0) {
            reason = which + " has a negative size.";
            return false;
        }
        const std::int64_t bytes = std::int64_t{s.sizeWords} * 2;
        if (s.PageOffset() + bytes > kDspMaxPageBytes) {
            reason = which + " does not fit a DSP page.";
            return false;
        }
        if (std::int64_t{s.rawOffset} + bytes > fileSize) {
            reason = which + " has data outside the file.";
            return false;
        }
    }
    return true;
}
