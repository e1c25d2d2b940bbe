#include "download/DspPageFiles.h"

#include <string>
#include <system_error>
#include <vector>

DspPageFiles::~DspPageFiles() {
    RemoveAll();
}

std::filesystem::path DspPageFiles::PathOf(int page) const {
    return directory_ / ("Page" + std::to_string(page));
}

bool DspPageFiles::Create() {
    created_ = true;
    bool ok = true;
    for (int i = 0; i < kDspPageCount; ++i) {
        std::ofstream& f = files_[static_cast<std::size_t>(i)];
        f.open(PathOf(i), std::ios::binary | std::ios::out | std::ios::trunc);
        ok = ok && f.is_open();
    }
    used_.fill(false);
    usedCount_ = 0;
    return ok;
}

bool DspPageFiles::Write(int page, std::int64_t offset, const void* data, std::int64_t count) {
    if (page < 0 || page >= kDspPageCount)
        return false;
    std::ofstream& f = files_[static_cast<std::size_t>(page)];
    if (!f.is_open())
        return false;
    f.seekp(static_cast<std::streamoff>(offset));
    if (count > 0)
        f.write(static_cast<const char*>(data), static_cast<std::streamsize>(count));
    if (!f)
        return false;
    if (!used_[static_cast<std::size_t>(page)]) {
        used_[static_cast<std::size_t>(page)] = true;
        ++usedCount_;
    }
    return true;
}

bool DspPageFiles::CloseAll() {
    bool ok = true;
    for (std::ofstream& f : files_) {
        if (!f.is_open())
            continue;
        f.close();
        ok = ok && !f.fail();
    }
    return ok;
}

void DspPageFiles::RemoveAll() {
    if (!created_)
        return;
    for (std::ofstream& f : files_) {
        if (f.is_open())
            f.close();
    }
    for (int i = 0; i < kDspPageCount; ++i) {
        std::error_code ignored;
        std::filesystem::remove(PathOf(i), ignored);
    }
    created_ = false;
}

DspSplit SplitDspPages(std::istream& dspFile, TargetKind kind, DspPageFiles& pages) {
    const DspLayout layout = DspLayoutFor(kind);
    DspFileHeader header;
    if (!ReadDspFileHeader(dspFile, header))
        return DspSplit::kFileUnreadable;
    std::vector<std::uint8_t> piece(kDspPieceBytes);
    for (int i = 0; i < header.sectionCount; ++i) {
        DspSection section;
        if (!ReadDspSection(dspFile, header, layout, i, section))
            return DspSplit::kFileUnreadable;
        if (!section.Copied())
            continue;
        // The file is checked before anything is sent; a file that changed since then must
        // still not place anything beyond a page.
        if (section.sizeWords < 0 ||
            section.PageOffset() + std::int64_t{section.sizeWords} * 2 > kDspMaxPageBytes) {
            return DspSplit::kFileUnreadable;
        }
        std::int64_t remaining = section.sizeWords;
        std::int64_t rawOffset = section.rawOffset;
        std::int64_t pageOffset = section.PageOffset();
        // A section of exactly a multiple of the piece ends with an empty piece, which still
        // marks its page used.
        while (remaining >= 0) {
            const std::int64_t n = remaining <= kDspPieceWords ? remaining * 2 : kDspPieceBytes;
            if (!ReadAt(dspFile, rawOffset, piece.data(), n))
                return DspSplit::kFileUnreadable;
            if (!pages.Write(section.pageIndex, pageOffset, piece.data(), n))
                return DspSplit::kPageUnwritable;
            remaining -= kDspPieceWords;
            rawOffset += kDspPieceBytes;
            pageOffset += kDspPieceBytes;
        }
    }
    return DspSplit::kDone;
}
