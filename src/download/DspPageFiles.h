#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "download/DspFile.h"

// The nine temporary page files "Page0" .. "Page8" of a DSP download, in the directory the
// caller gives (it must be writable: a private folder, not the installed program's directory).
// The files are deleted when the object goes, whatever the outcome, so a failed download
// leaves nothing behind.
class DspPageFiles {
  public:
    explicit DspPageFiles(std::filesystem::path directory) : directory_(std::move(directory)) {}
    ~DspPageFiles();
    DspPageFiles(const DspPageFiles&) = delete;
    DspPageFiles& operator=(const DspPageFiles&) = delete;

    std::filesystem::path PathOf(int page) const;

    // Creates the nine files empty for binary writing; false when any cannot be created.
    bool Create();
    // Writes count bytes into page at offset (gaps read back as zero bytes); the first write
    // marks the page used. False on a write failure.
    bool Write(int page, std::int64_t offset, const void* data, std::int64_t count);
    // Closes the files written; false when a write could not be completed.
    bool CloseAll();
    void RemoveAll();

    bool Used(int page) const { return used_[static_cast<std::size_t>(page)]; }
    int UsedCount() const { return usedCount_; }

  private:
    std::filesystem::path directory_;
    std::array<std::ofstream, kDspPageCount> files_;
    std::array<bool, kDspPageCount> used_{};
    int usedCount_ = 0;
    bool created_ = false;
};

// Piece size of the section copy (and of reading a page back): neither the DSP file nor a page
// is held in memory whole.
inline constexpr int kDspPieceBytes = 32000;
inline constexpr int kDspPieceWords = kDspPieceBytes / 2;

enum class DspSplit { kDone, kFileUnreadable, kPageUnwritable };

// Splits the DSP file into its pages: every section the download sends is copied, in table
// order, into its page file at its place in the page (PageOffset), so that a later section
// overwrites an earlier one where they overlap and the gaps read back as zero bytes. Sections
// outside the mask are never read; those of a page without a page file are dropped unread.
// The page files must have been created; they are left open for the caller to close.
DspSplit SplitDspPages(std::istream& dspFile, TargetKind kind, DspPageFiles& pages);
