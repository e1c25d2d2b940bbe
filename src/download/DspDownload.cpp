#include "download/DspDownload.h"

#include <fstream>
#include <string>

#include "download/DownloadTexts.h"
#include "download/DspFile.h"
#include "download/SRecordReader.h"
#include "download/StreamSize.h"
#include "link/CommandTable.h"

namespace {

constexpr int kReplyLength = 2;  // 02 07, 02 03 and the busy 02 0A

}  // namespace

LinkResult DownloadDsp(RadioLink& link, std::istream& loader, std::istream& dspFile,
                       TargetKind kind, const StatusSink& statusSink,
                       const std::filesystem::path& directory, ProgressBar& progressBar,
                       DownloadClock& clock) {
    DspDownload download(link, kind, statusSink, progressBar);
    return download.Run(loader, dspFile, directory, clock);
}

DspDownload::DspDownload(RadioLink& link, TargetKind kind, const StatusSink& statusSink,
                         ProgressBar& progressBar)
    : link_(link),
      kind_(kind),
      statusSink_(statusSink),
      progressBar_(progressBar),
      transfer_(link, progressBar, statusSink, BlockTransfer::kDspRules) {}

LinkResult DspDownload::Run(std::istream& loader, std::istream& dspFile,
                            const std::filesystem::path& directory, DownloadClock& clock) {
    if (!loader || StreamSize(loader) < 0) {
        Show(dltext::kDspLoaderUnreadable);
        return LinkResult::kCommProblem;
    }
    if (!CheckFile(dspFile))
        return LinkResult::kCommProblem;
    if (!link_.PrepareTimeout(kDownloadTimeoutMs))
        return LinkResult::kCommProblem;
    LinkResult status = DownloadDspLoader(loader);
    if (status == LinkResult::kSuccess) {
        clock.Pause(kLoaderSettleMs);
        status = DownloadDspPages(dspFile, directory);
    }
    link_.ReleaseTimeout();
    return status;
}

bool DspDownload::CheckFile(std::istream& dspFile) {
    const std::int64_t size = StreamSize(dspFile);
    std::string reason;
    bool readFailed = false;
    if (size < 0 || !CheckDspFile(dspFile, size, kind_, reason, readFailed)) {
        Show((size < 0 || readFailed) ? std::string(dltext::kDspFileUnreadable)
                                      : dltext::kDspFileDamagedPrefix + reason);
        return false;
    }
    return true;
}

bool DspDownload::AwaitReady(std::int32_t requestId) {
    link_.Send(CommandCode(requestId));
    bool gotBusy = false;
    link_.AwaitReply(CommandCode(kCmdReady), kReplyLength, CommandCode(kCmdDownloadBusy),
                     kReplyLength, gotBusy);
    return link_.Outcome() == LinkResult::kSuccess;
}

LinkResult DspDownload::DownloadDspLoader(std::istream& loader) {
    progressBar_.SetMinimum(0);
    progressBar_.SetMaximum(ProgressMaximum(StreamSize(loader), 4, 64));
    progressBar_.SetPosition(0);
    transfer_.Restart();
    if (AwaitReady(kCmdDownloadStart)) {
        transfer_.ResetPair();
        transfer_.ResetBlock();
        Show(dltext::kDspLoader);
        SRecordReader reader(loader, SRecordReader::Kind::kDspLoader);
        transfer_.SendImage(reader);
        if (transfer_.status == LinkResult::kSuccess) {
            link_.Send(CommandCode(kCmdEndOfDownload));
        }
        if (link_.Outcome() == LinkResult::kSuccess)
            return LinkResult::kSuccess;
    }
    const LinkResult status = link_.Outcome();
    Report(status);
    return status;
}

LinkResult DspDownload::DownloadDspPages(std::istream& dspFile,
                                         const std::filesystem::path& directory) {
    DspPageFiles pages(directory);
    if (!pages.Create()) {
        Show(dltext::kDspPageFilesUnwritable);
        return LinkResult::kCommProblem;
    }
    Show(dltext::kPreparing);
    transfer_.Restart();
    if (!AwaitReady(kCmdDspPageStart)) {
        const LinkResult status = link_.Outcome();
        Report(status);
        return status;
    }
    transfer_.ResetPair();
    transfer_.ResetBlock();
    progressBar_.SetPosition(0);

    if (!CopySections(dspFile, pages))
        return LinkResult::kCommProblem;
    if (!pages.CloseAll()) {
        Show(dltext::kDspPageFilesUnwritable);
        return LinkResult::kCommProblem;
    }

    int pageNumber = 1;
    for (int page = 0; page < kDspPageCount; ++page) {
        if (!pages.Used(page))
            continue;
        std::ifstream file(pages.PathOf(page), std::ios::binary);
        if (!file.is_open()) {
            Show(dltext::kDspPageFileUnreadable);
            return LinkResult::kCommProblem;
        }
        if (!DownloadDspPage(file, pageNumber, pages.UsedCount()))
            return LinkResult::kCommProblem;
        // A page the radio stopped taking keeps the outcome of its own wait; the end-of-page
        // wait would end at once and call it a cancel.
        if (transfer_.status != LinkResult::kSuccess) {
            Report(transfer_.status);
            return transfer_.status;
        }
        link_.Send(CommandCode(kCmdEndOfDspPage));
        bool gotBusy = false;
        link_.AwaitReply(CommandCode(kCmdDspPageAccepted), kReplyLength,
                         CommandCode(kCmdDownloadBusy), kReplyLength, gotBusy);
        const LinkResult status = link_.Outcome();
        if (status != LinkResult::kSuccess) {
            Report(status);
            return status;
        }
        ++pageNumber;
    }
    link_.Send(CommandCode(kCmdEndOfDownload));
    pages.RemoveAll();
    Show(dltext::kDspFinished);
    return LinkResult::kSuccess;
}

bool DspDownload::CopySections(std::istream& dspFile, DspPageFiles& pages) {
    switch (SplitDspPages(dspFile, kind_, pages)) {
        case DspSplit::kDone:
            return true;
        case DspSplit::kFileUnreadable:
            Show(dltext::kDspFileUnreadable);
            return false;
        case DspSplit::kPageUnwritable:
            Show(dltext::kDspPageFilesUnwritable);
            return false;
    }
    return false;
}

bool DspDownload::DownloadDspPage(std::istream& pageFile, int pageNumber, int usedCount) {
    const std::int64_t size = StreamSize(pageFile);
    if (size < 0) {
        Show(dltext::kDspPageFileUnreadable);
        return false;
    }
    progressBar_.SetMinimum(0);
    progressBar_.SetMaximum(ProgressMaximum(size, 2, 128));
    progressBar_.SetPosition(0);
    transfer_.progress = 0;
    Show("Downloading page " + std::to_string(pageNumber) + " of " + std::to_string(usedCount) +
         " from input DSP file ...");
    piece_.resize(kPieceBytes);
    std::int64_t left = size;
    while (left > 0 && transfer_.status == LinkResult::kSuccess) {
        const std::int64_t n = left < kPieceBytes ? left : kPieceBytes;
        pageFile.read(reinterpret_cast<char*>(piece_.data()), static_cast<std::streamsize>(n));
        if (pageFile.gcount() != n) {
            Show(dltext::kDspPageFileUnreadable);
            return false;
        }
        for (std::int64_t i = 0; i + 1 < n && transfer_.status == LinkResult::kSuccess; i += 2)
            transfer_.AppendWord(static_cast<std::uint16_t>(piece_[i] | (piece_[i + 1] << 8)));
        left -= n;
    }
    transfer_.FlushBlocks();
    return true;
}

void DspDownload::Show(const std::string& text) const {
    if (statusSink_)
        statusSink_(text);
}

void DspDownload::Report(LinkResult outcome) const {
    if (outcome == LinkResult::kCommProblem)
        Show(dltext::kDspCommProblem);
    else if (outcome == LinkResult::kTimedOut)
        Show(dltext::kDspTimedOut);
}
