#include "download/CodeDownload.h"

#include <string>

#include "download/DownloadTexts.h"
#include "download/EraseWait.h"
#include "download/SRecordReader.h"
#include "download/StreamSize.h"
#include "link/CommandTable.h"
#include "link/TargetKinds.h"

namespace {

constexpr int kStartReplyLength = 2;  // 02 07, and the busy 02 0A
// The processor query 02 0B and its reply 02 0C x p, p the processor type.
constexpr std::uint8_t kProcessorGroup = 0x02;
constexpr std::uint8_t kProcessorQuery = 0x0B;
constexpr std::uint8_t kProcessorReply = 0x0C;
constexpr int kProcessorByte = 3;
constexpr std::uint8_t kProcessorFirstVariant = 4;
constexpr std::uint8_t kProcessorSecondVariant = 8;
// Rate of the radio and the link after a code image.
constexpr int kRateAfterCode = 19200;

}  // namespace

LinkResult DownloadCode(RadioLink& link, std::istream& loader, std::istream& code,
                        const StatusSink& statusSink, TargetKind kind, ProgressBar& progressBar,
                        bool isBoot, bool processorFlag, DownloadClock& clock) {
    CodeDownload download(link, statusSink, kind, progressBar, isBoot, processorFlag);
    return download.Run(loader, code, clock);
}

CodeDownload::CodeDownload(RadioLink& link, const StatusSink& statusSink, TargetKind kind,
                           ProgressBar& progressBar, bool isBoot, bool processorFlag)
    : link_(link),
      statusSink_(statusSink),
      kind_(kind),
      progressBar_(progressBar),
      isBoot_(isBoot),
      processorFlag_(processorFlag),
      transfer_(link, progressBar, statusSink, BlockTransfer::kCodeRules) {}

LinkResult CodeDownload::Run(std::istream& loader, std::istream& code, DownloadClock& clock) {
    Show(dltext::kPreparing);
    LinkResult status = LinkResult::kSuccess;
    // An image that cannot be read would go out as filler only, after the flash was erased.
    if (!loader || !code || StreamSize(loader) < 0 || StreamSize(code) < 0) {
        Show(dltext::kCodeImageUnreadable);
        return LinkResult::kCommProblem;
    }
    if (!link_.PrepareTimeout(kDownloadTimeoutMs))
        return LinkResult::kCommProblem;
    status = DownloadImage(loader, false);
    if (status == LinkResult::kSuccess && TargetKindInfo(kind_).probesProcessor &&
        !ProbeProcessor())
        status = LinkResult::kProcessorMismatch;
    if (status == LinkResult::kSuccess) {
        const EraseWait erase = EraseWaitFor(kind_, isBoot_);
        if (erase.text != nullptr)
            Show(erase.text);
        clock.DelayTicks(erase.ticks);
        status = DownloadImage(code, true);
        if (status == LinkResult::kSuccess)
            Show(dltext::kFinished);
    }
    link_.ReleaseTimeout();
    return status;
}

LinkResult CodeDownload::DownloadImage(std::istream& stream, bool isCode) {
    progressBar_.SetMinimum(0);
    progressBar_.SetMaximum(ProgressMaximum(StreamSize(stream), 4, 64));
    progressBar_.SetPosition(0);
    transfer_.Restart();

    const MessageRecord start = CommandCode(kCmdDownloadStart);
    const MessageRecord ready = CommandCode(kCmdReady);
    const MessageRecord busy = CommandCode(kCmdDownloadBusy);
    bool gotBusy = false;
    link_.ExchangeRepeatingBusy(start, ready, kStartReplyLength, busy, kStartReplyLength, gotBusy);
    LinkResult status = link_.Outcome();
    if (status != LinkResult::kSuccess) {
        Report(status);
        return status;
    }

    transfer_.ResetPair();
    transfer_.ResetBlock();
    std::string text = dltext::kDownloadingPrefix;
    text +=
        !isCode ? dltext::kLoaderWord : (isBoot_ ? dltext::kBootWord : dltext::kApplicationWord);
    text += dltext::kCodeSuffix;
    Show(text.c_str());

    SRecordReader reader(stream, SRecordReader::Kind::kCodeImage);
    transfer_.SendImage(reader);
    if (transfer_.status == LinkResult::kSuccess) {
        link_.Send(CommandCode(kCmdEndOfDownload));
        if (isCode)
            link_.ChangeBaud(kRateAfterCode);
    }
    status = transfer_.status;
    if (status == LinkResult::kVerifyFailure)
        return status;
    if (status == LinkResult::kTimedOut && transfer_.ResendsExhausted()) {
        Report(status);
        return status;
    }
    status = link_.Outcome();
    if (status != LinkResult::kSuccess)
        Report(status);
    return status;
}

bool CodeDownload::ProbeProcessor() {
    link_.SendCode2(kProcessorGroup, kProcessorQuery, nullptr, 0);
    MessageRecord reply;
    if (!link_.Receive(reply))
        return false;
    if (reply.length <= kProcessorByte || reply.buffer[0] != kProcessorGroup ||
        reply.buffer[1] != kProcessorReply)
        return false;
    const std::uint8_t processor = reply.buffer[kProcessorByte];
    return processorFlag_ ? processor == kProcessorFirstVariant
                          : processor == kProcessorSecondVariant;
}

void CodeDownload::Show(const char* text) const {
    if (statusSink_)
        statusSink_(text);
}

void CodeDownload::Report(LinkResult outcome) const {
    if (outcome == LinkResult::kCommProblem)
        Show(dltext::kCodeCommProblem);
    else if (outcome == LinkResult::kTimedOut)
        Show(dltext::kCodeTimedOut);
}
