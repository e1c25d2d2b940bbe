// Writing the converted codeplug until the radio holds it: every write is read back, and a
// write that fails or that the radio does not hold is offered again while the saved codeplug
// is at hand. A damaged codeplug read from a radio whose last update did not finish is met
// with the codeplug that update saved.
#include <algorithm>

#include "app/core/CodeUpdater.h"
#include "app/core/CodeplugPace.h"
#include "app/core/CodeplugVerify.h"
#include "app/core/UnfinishedUpdate.h"
#include "app/core/UpdaterTexts.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransferParms.h"

namespace {

// After a failed write the saved codeplug is offered at most this often in one run: a radio
// that takes it is usually back after one more write, one that never does is not helped by
// asking without end.
constexpr int kRewriteOffers = 3;

}  // namespace

bool CodeUpdater::WriteCodeplugOnce(ZKWTransferParms& transfer, CodeplugPasswords& passwords,
                                    const std::vector<std::uint8_t>& image, std::string& headline,
                                    std::string& why) {
    std::vector<std::uint8_t> buffer(kTransferImageBytes, 0);
    std::copy(image.begin(), image.end(), buffer.begin());
    const auto length = static_cast<std::int32_t>(image.size());
    ++record_.codeplugWrites;
    record_.codeplugVerified = false;
    JournalPhase("codeplug-write");
    progress_.Measure(true);
    StartProgressTimer(static_cast<int>(length * kDownloadProgressMsPerByte));
    SetStatus(updater_text::kDownloading);
    transfer.SetImage(buffer.data(), length);
    transfer.SetSize(length);
    const int downloaded = transfer.Download();
    StopProgressTimer();
    progress_.Measure(false);
    if (downloaded <= 0 || !transfer.DownloadComplete()) {
        const auto& report = transfer.LastDownload();
        headline = updater_text::kDownloadError;
        why = downloaded > 0 ? "The radio did not confirm the whole codeplug (" +
                                   std::to_string(report.blocksSent) + " of " +
                                   std::to_string(report.blocksNeeded) + " blocks, " +
                                   std::to_string(report.sumMismatches) + " block sums differ)."
                             : std::string("The write was cut off.");
        return false;
    }

    // The transfer's end has no answer and the block sums are the sender's own arithmetic:
    // only reading the codeplug back shows that the radio stored it.
    JournalPhase("verify");
    progress_.Measure(true);
    StartProgressTimer(kUploadProgressMs);
    SetStatus(updater_text::kVerifying);
    CodeplugVerify verify;
    verify.outcome = CodeplugVerify::Outcome::kStopped;
    if (!Stopped())
        verify = ReadBackCodeplug(m_Link, passwords.ReadBackPrompt(), image);
    StopProgressTimer();
    progress_.Measure(false);
    record_.codeplugVerified = verify.Held();
    if (verify.Held())
        return true;
    headline = std::string(updater_text::kNotHeld) + ": " + verify.Describe() + ".";
    why.clear();
    return false;
}

CodeplugResult CodeUpdater::WriteUntilHeld(ZKWTransferParms& transfer, CodeplugPasswords& passwords,
                                           const std::vector<std::uint8_t>& image) {
    std::string headline;
    std::string why;
    for (int offers = 0;; ++offers) {
        if (WriteCodeplugOnce(transfer, passwords, image, headline, why))
            return CodeplugResult::kConverted;
        // Stop ends the stage as before; a port that went away takes no write at all.
        if (offers == kRewriteOffers || Stopped() || m_Link.PortWentAway())
            break;
        SetStatus(WriteFailureStatus(headline));
        JournalPhase(record_.phase.c_str());
        const bool again =
            view_.AskYesNo(updater_text::kTitleUpdater,
                           headline + (why.empty() ? std::string() : "\n" + why) + "\n\n" +
                               updater_text::kAskRewrite + "\n" + lastConverted_.string());
        if (!again || Stopped())
            break;
        // The password the user gave answers the radio's challenge again without asking.
        transfer.passChecker.askPassword = passwords.ReadBackPrompt();
    }
    ReportWriteFailure(headline, why);
    return CodeplugResult::kWriteFailed;
}

CodeplugResult CodeUpdater::OfferUnfinishedBackup(ZKWTransferParms& transfer,
                                                  CodeplugPasswords& passwords,
                                                  const std::string& serial,
                                                  const std::uint8_t radioFormat[2]) {
    UnfinishedBackup backup;
    if (platform_.recorder == nullptr || Stopped() ||
        !FindUnfinishedBackup(*platform_.recorder, serial, record_.id, radioFormat, backup))
        return CodeplugResult::kReadFailed;
    SetStatus(updater_text::kUploadError);
    const bool write = view_.AskYesNo(
        updater_text::kTitleUpdater,
        std::string(updater_text::kDamagedCodeplug) + "\n\n" + updater_text::kAskWriteUnfinished +
            "\n" + backup.path.string() + "\n(the update begun " + backup.started + ")");
    if (!write || Stopped())
        return CodeplugResult::kReadFailed;
    lastConverted_ = backup.path;
    record_.backupConverted = backup.path.string();
    record_.backupConvertedSha256 = backup.sha256;
    return WriteUntilHeld(transfer, passwords, backup.codeplug);
}
