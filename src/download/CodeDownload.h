#pragma once

#include <istream>

#include "download/BlockTransfer.h"
#include "download/DownloadClock.h"
#include "download/ProgressBar.h"
#include "link/LinkTypes.h"
#include "link/Platform.h"
#include "link/RadioLink.h"

// Writes new firmware into the radio's flash: the loader image, then, after the wait for the
// flash erase, the boot or application code. The link is open and enabled at the rate the
// caller chose; loader and code are S-record text streams, read line by line as they are sent
// (nothing is read ahead). Progress goes to the status sink and the progress bar.
//
// Result: 1 done ("Download finished."), 2 communication problem or an image stream that cannot
// be read (refused before anything is sent), 4 timed out, cancelled or
// the resends of a rejected pair ran out, 6 flash verify failure, 9 processor mismatch
// (kind 1 only; no text). The link stays open; after a code image it is at 19200 baud.
// The erase wait runs clock.DelayTicks, which must keep processing messages so that Stop
// stays live.
LinkResult DownloadCode(RadioLink& link, std::istream& loader, std::istream& code,
                        const StatusSink& statusSink, TargetKind kind, ProgressBar& progressBar,
                        bool isBoot, bool processorFlag, DownloadClock& clock);

// The state of one flash download, alive for the call of DownloadCode.
class CodeDownload {
  public:
    CodeDownload(RadioLink& link, const StatusSink& statusSink, TargetKind kind,
                 ProgressBar& progressBar, bool isBoot, bool processorFlag);

    LinkResult Run(std::istream& loader, std::istream& code, DownloadClock& clock);
    // One image: the loader (isCode false) or the boot or application code (true).
    LinkResult DownloadImage(std::istream& stream, bool isCode);
    // Asks the radio for its processor type: true when it is the variant the package is for.
    bool ProbeProcessor();

  private:
    void Show(const char* text) const;
    void Report(LinkResult outcome) const;

    RadioLink& link_;
    const StatusSink& statusSink_;
    TargetKind kind_;
    ProgressBar& progressBar_;
    bool isBoot_;
    bool processorFlag_;
    BlockTransfer transfer_;
};
