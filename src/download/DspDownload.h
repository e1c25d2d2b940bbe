#pragma once

#include <filesystem>
#include <istream>
#include <vector>

#include "download/BlockTransfer.h"
#include "download/DownloadClock.h"
#include "download/DspPageFiles.h"
#include "download/ProgressBar.h"
#include "link/LinkTypes.h"
#include "link/Platform.h"
#include "link/RadioLink.h"

// Loads the radio's DSP program: the DSP loader (an S3 S-record text stream) with the block
// transfer, a one-second pause, then the DSP program file (a COFF file opened for binary
// reading) split into memory pages, each written to a page file in directory and sent after
// the other. The file is checked before anything is sent; nothing of it or of a page is held
// in memory whole (32000-byte pieces).
//
// Result: 1 done ("Download finished"), 2 communication problem or a failure of the DSP file
// or the page files (each with its own text), 4 timed out or cancelled. directory must be
// writable; the page files are deleted at the end whatever the outcome.
LinkResult DownloadDsp(RadioLink& link, std::istream& loader, std::istream& dspFile,
                       TargetKind kind, const StatusSink& statusSink,
                       const std::filesystem::path& directory, ProgressBar& progressBar,
                       DownloadClock& clock);

// The state of one DSP download, alive for the call of DownloadDsp.
class DspDownload {
  public:
    // Piece size of the section copy and of reading the pages back.
    static constexpr int kPieceBytes = kDspPieceBytes;
    // Pause between the loader and the pages, without processing messages.
    static constexpr int kLoaderSettleMs = 1000;

    DspDownload(RadioLink& link, TargetKind kind, const StatusSink& statusSink,
                ProgressBar& progressBar);

    LinkResult Run(std::istream& loader, std::istream& dspFile,
                   const std::filesystem::path& directory, DownloadClock& clock);
    // Refuses a DSP file that the page pass could not read soundly; false with a status text.
    bool CheckFile(std::istream& dspFile);
    LinkResult DownloadDspLoader(std::istream& loader);
    LinkResult DownloadDspPages(std::istream& dspFile, const std::filesystem::path& directory);
    // Sends one page file; false (with a status text) when it cannot be read.
    bool DownloadDspPage(std::istream& pageFile, int pageNumber, int usedCount);

  private:
    bool CopySections(std::istream& dspFile, DspPageFiles& pages);
    bool AwaitReady(std::int32_t requestId);
    void Show(const std::string& text) const;
    void Report(LinkResult outcome) const;

    RadioLink& link_;
    TargetKind kind_;
    const StatusSink& statusSink_;
    ProgressBar& progressBar_;
    BlockTransfer transfer_;
    std::vector<std::uint8_t> piece_;
};
