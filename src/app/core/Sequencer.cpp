// The update sequences behind Start: the password, the boot-version decision, extraction,
// the target check, the download and the codeplug stage.
#include <fstream>

#include "app/core/CodeUpdater.h"
#include "app/core/FolderLock.h"
#include "app/core/PrivateFolder.h"
#include "app/core/UpdaterTexts.h"
#include "download/CodeDownload.h"
#include "download/DspDownload.h"
#include "link/TargetKinds.h"

namespace {

constexpr int kDownloadBaud = 115200;
// How long a radio may take to restart into bootload mode after its boot download, and the
// pause between two requests while it does (ticks of 1/18 s).
constexpr std::int64_t kRadioBackWithinMs = 60000;
constexpr int kRadioBackPauseTicks = 9;

// Blanks and control characters (every character up to and including the blank) are cut
// from both ends of the entered password.
std::string TrimPassword(const std::string& text) {
    auto isCut = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isCut(text[begin]))
        ++begin;
    while (end > begin && isCut(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

}  // namespace

void CodeUpdater::m_StartButtonClick() {
    const bool isBoot =
        m_Attributes.UpgradeType == kUpgradeBoot ||
        (m_Attributes.UpgradeType == kUpgradeApplicationBoot && view_.BootChecked());
    if (m_UpdateInProgress != 0) {
        stopRequested_ = true;
        EndUpdate(true);
        progress_.SetPosition(0);
        return;
    }
    // Stop returns the window to idle while the sequence still winds down on the stack; a
    // second sequence must not start on top of it.
    if (sequenceActive_)
        return;
    if (m_PasswordAccepted == 0) {
        std::string entered;
        if (!view_.AskPassword(entered)) {
            outcome_ = UpdateOutcome::kNotRun;
            return;
        }
        const char* expected = (isBoot && m_AutoBootUpdate == 0)
                                   ? updater_text::kBootPassword
                                   : updater_text::kApplicationPassword;
        if (TrimPassword(entered) != expected) {
            outcome_ = UpdateOutcome::kNotRun;
            return;
        }
        m_PasswordAccepted = 1;
    }
    view_.FocusRetrieve();
    BeginSequence("update");
    if (m_AutoBootUpdate != 0)
        RunAutoBootUpdate();
    else
        RunUpdate(isBoot);
    EndSequence();
}

void CodeUpdater::BeginSequence(const char* kind) {
    sequenceActive_ = true;
    stopRequested_ = false;
    outcome_ = UpdateOutcome::kFailed;
    codeplugResult_ = CodeplugResult::kNotReached;
    JournalBegin(kind);
}

void CodeUpdater::EndSequence() {
    ClosePort();
    sequenceActive_ = false;
    if (stopRequested_ && outcome_ != UpdateOutcome::kSucceeded)
        outcome_ = UpdateOutcome::kStopped;
    JournalEnd();
}

bool CodeUpdater::CheckBootVersion() {
    if (TargetKindInfo(m_TargetKind).skipsTargetCheck)
        return true;
    JournalPhase("boot-check");
    std::uint8_t boot[2] = {0, 0};
    m_UseBootTwo = 0;
    if (m_Link.ReadBootVersion(m_TargetKind, boot) != LinkResult::kSuccess) {
        SetStatus(updater_text::kBootReadError);
        return false;
    }
    if (boot[0] == m_Attributes.BootMajor) {
        if (boot[1] == m_Attributes.BootMinor) {
            SetStatus(updater_text::kBootCurrent);
            outcome_ = UpdateOutcome::kSucceeded;
            return false;
        }
        return true;
    }
    if (boot[0] == m_Attributes.BootTwoMajor && m_Attributes.BootTwoMajor != 0) {
        m_UseBootTwo = 1;
        if (boot[1] == m_Attributes.BootTwoMinor) {
            SetStatus(updater_text::kBootCurrent);
            outcome_ = UpdateOutcome::kSucceeded;
            return false;
        }
        return true;
    }
    SetStatus(updater_text::kBootMajorMismatch);
    return false;
}

bool CodeUpdater::BootUpdateNeeded(bool& majorMismatch, bool& commError) {
    majorMismatch = false;
    commError = false;
    m_UseBootTwo = 0;
    JournalPhase("boot-check");
    std::uint8_t boot[2] = {0, 0};
    if (m_Link.ReadBootVersion(m_TargetKind, boot) != LinkResult::kSuccess) {
        commError = true;
        return false;
    }
    if (boot[0] == m_Attributes.BootMajor)
        return boot[1] != m_Attributes.BootMinor;
    if (boot[0] == m_Attributes.BootTwoMajor && m_Attributes.BootTwoMajor != 0) {
        m_UseBootTwo = 1;
        return boot[1] != m_Attributes.BootTwoMinor;
    }
    majorMismatch = true;
    return false;
}

bool CodeUpdater::ExtractImages(bool bootSet) {
    m_LoaderFileName.clear();
    m_CodeFileName.clear();
    JournalPhase("extract");
    // Copies of the program that share a working folder extract one at a time: the chunk
    // files have fixed names, and a copy that found another's would give up. The joined images
    // get names of their own, so the lock ends with the extraction.
    ExtractedImages images;
    {
        const FolderLock turn(platform_.workingDirectory);
        images = ExtractEmbeddedFiles(package_, m_Attributes, m_UseBootTwo != 0, bootSet,
                                      platform_.workingDirectory);
    }
    if (images.failure != ExtractFailure::kNone) {
        std::string text =
            images.failure == ExtractFailure::kLoader ? kEmbeddedLoaderFailed : kEmbeddedCodeFailed;
        if (!images.detail.empty())
            text += "\n\n" + images.detail;
        view_.ShowMessage(kEmbeddedFilesTitle, MessageIcon::kError, text);
        SetStatus(updater_text::kIdle);
        return false;
    }
    m_LoaderFileName = images.loaderFileName;
    m_CodeFileName = images.codeFileName;
    return true;
}

bool CodeUpdater::BeginUpdateOnPort() {
    BeginUpdate();
    SetStatus(updater_text::kExtracting);
    if (OpenSelectedPort(false))
        return true;
    SetStatus(updater_text::kIdle);
    EndUpdate(false);
    return false;
}

bool CodeUpdater::ExtractAndCheckTarget(bool bootSet) {
    if (!ExtractImages(bootSet)) {
        EndUpdate(false);
        return false;
    }
    SetStatus(updater_text::kCheckingTarget);
    JournalPhase("target-check");
    if (!CheckTargetRadio()) {
        EndUpdate(true);
        return false;
    }
    return true;
}

LinkResult CodeUpdater::DownloadImages(bool isBoot) {
    JournalPhase(isBoot ? "boot-download" : "download");
    std::ifstream loader(platform_.workingDirectory / m_LoaderFileName);
    std::ifstream code(platform_.workingDirectory / m_CodeFileName);
    const StatusSink sink = [this](const std::string& text) { SetStatus(text); };
    progress_.Measure(true);
    const LinkResult result =
        DownloadCode(m_Link, loader, code, sink, m_TargetKind, progress_, isBoot,
                     m_Attributes.ProcessorVariant != 0, platform_.clock);
    progress_.Measure(false);
    record_.linkResult = static_cast<int>(result);
    JournalPhase(record_.phase.c_str());
    return result;
}

LinkResult CodeUpdater::DownloadDspImages() {
    // The page files go to a folder of this run's own: the program's folder is not writable
    // once installed, and a shared one could be raced by another user.
    PrivateFolder pages("quenta-dsp");
    if (!pages.Ok()) {
        SetStatus(std::string(updater_text::kDspFolderError) + " " + pages.Error());
        return LinkResult::kCommProblem;
    }
    JournalPhase("dsp-download");
    std::ifstream loader(platform_.workingDirectory / m_LoaderFileName);
    std::ifstream code(platform_.workingDirectory / m_CodeFileName, std::ios::binary);
    const StatusSink sink = [this](const std::string& text) { SetStatus(text); };
    progress_.Measure(true);
    const LinkResult result = DownloadDsp(m_Link, loader, code, m_TargetKind, sink, pages.Path(),
                                          progress_, platform_.clock);
    progress_.Measure(false);
    record_.linkResult = static_cast<int>(result);
    JournalPhase(record_.phase.c_str());
    return result;
}

void CodeUpdater::ShowCodeplugResult(CodeplugResult result) {
    codeplugResult_ = result;
    record_.codeplugResult = static_cast<int>(result);
    switch (result) {
        case CodeplugResult::kNotOffered:
            SetStatus(updater_text::kDone);
            view_.ShowMessage(updater_text::kTitleUpdater, MessageIcon::kInformation,
                              updater_text::kNoConversion);
            break;
        case CodeplugResult::kSameFormat:
        case CodeplugResult::kConverted:
            SetStatus(updater_text::kDone);
            break;
        case CodeplugResult::kReadFailed:
            SetStatus(updater_text::kUploadError);
            return;
        case CodeplugResult::kWriteFailed:
        case CodeplugResult::kConversionFailed:
        case CodeplugResult::kBackupFailed:
            return;  // the stage has set the status and shown why
        case CodeplugResult::kCancelled:
            SetStatus(updater_text::kCodeplugCancelled);
            return;
        default:
            SetStatus(updater_text::kNoLongerResponding);
            return;
    }
    outcome_ = UpdateOutcome::kSucceeded;
}

void CodeUpdater::RunUpdate(bool isBoot) {
    const bool bootSelected =
        m_Attributes.UpgradeType == kUpgradeApplicationBoot && view_.BootChecked();

    if (!BeginUpdateOnPort())
        return;
    if (isBoot && !CheckBootVersion()) {
        EndUpdate(false);  // its status stays
        return;
    }
    if (!ExtractAndCheckTarget(bootSelected))
        return;
    const bool isDsp = m_Attributes.UpgradeType == kUpgradeDsp;
    const LinkResult result = isDsp ? DownloadDspImages() : DownloadImages(isBoot);
    if (!isBoot && !bootSelected && !isDsp && m_UpdateInProgress != 0 &&
        result == LinkResult::kSuccess) {
        ShowCodeplugResult(TransferCodeplug());
    } else if (result == LinkResult::kProcessorMismatch) {
        view_.ShowMessage(updater_text::kTitleUpdater, MessageIcon::kError,
                          m_Attributes.ProcessorVariant != 0 ? updater_text::kProcessorFor316
                                                             : updater_text::kProcessorFor716);
        SetStatus(updater_text::kIdle);
        progress_.SetPosition(0);
    } else if (result == LinkResult::kTimedOut && m_MultiCoreDirect != 0) {
        SetStatus(updater_text::kIdle);
        progress_.SetPosition(0);
        view_.ShowMessage(updater_text::kTitleComPort, MessageIcon::kError,
                          updater_text::kMultiCore);
    } else if (result == LinkResult::kSuccess && m_UpdateInProgress != 0) {
        outcome_ = UpdateOutcome::kSucceeded;  // a boot or DSP download finished
    }
    EndUpdate(true);
}

bool CodeUpdater::AwaitRadioBack() {
    const std::int64_t since = platform_.pump.NowMilliseconds();
    for (;;) {
        std::uint8_t boot[2] = {0, 0};
        if (m_Link.ReadBootVersion(m_TargetKind, boot) == LinkResult::kSuccess)
            return true;
        if (Stopped() || m_Link.PortWentAway() ||
            platform_.pump.NowMilliseconds() - since >= kRadioBackWithinMs)
            return false;
        // A request refused at once (not timed out) is not repeated at once.
        platform_.clock.DelayTicks(kRadioBackPauseTicks);
        if (Stopped())
            return false;
        // The unanswered request's time-out cleared the link's flag; Stop clears the update's.
        m_Link.SetEnabled(true);
    }
}

void CodeUpdater::RunAutoBootUpdate() {
    if (!BeginUpdateOnPort())
        return;
    bool majorMismatch = false;
    bool commError = false;
    const bool bootNeeded = BootUpdateNeeded(majorMismatch, commError);
    if (!bootNeeded && majorMismatch) {
        SetStatus(updater_text::kBootMajorMismatch);
        EndUpdate(false);
        return;
    }
    if (!bootNeeded && commError) {
        SetStatus(updater_text::kBootReadError);
        EndUpdate(false);
        return;
    }
    // The joined images of this run are deleted on every path: left behind they would pile
    // up in the working directory as Loader1.hex, Loader2.hex, ...
    if (bootNeeded) {
        if (!ExtractAndCheckTarget(true))
            return;
        const LinkResult bootResult = DownloadImages(true);
        DeleteImages();
        // A boot download that failed (or was stopped) ends the sequence with its own text:
        // asking for bootload mode and flashing the application over it would hide the fault.
        if (bootResult != LinkResult::kSuccess || m_UpdateInProgress == 0) {
            EndUpdate(false);
            return;
        }
        SetStatus(updater_text::kIdle);
        view_.ShowMessage(updater_text::kTitleUpdater, MessageIcon::kInformation,
                          updater_text::kBootUpdated);
        // A person presses OK once the radio is back; an OK given at once would send the rate
        // change into the radio's restart, where it is lost.
        if (view_.AnswersBootloadBoxAlone())
            AwaitRadioBack();
        if (m_UpdateInProgress == 0) {
            EndUpdate(false);
            return;
        }
        m_Link.ChangeBaud(kDownloadBaud);
        view_.SetRetrieveEnabled(true);
        view_.FocusRetrieve();
        view_.SetRetrieveEnabled(false);
        SetStatus(updater_text::kExtracting);
    }
    m_UseBootTwo = 0;
    if (!ExtractAndCheckTarget(false))
        return;
    const LinkResult result = DownloadImages(false);
    if (!bootNeeded && result == LinkResult::kSuccess)
        SetStatus(updater_text::kIdle);
    DeleteImages();
    if (m_UpdateInProgress == 0 || result != LinkResult::kSuccess) {
        EndUpdate(false);
        return;
    }
    ShowCodeplugResult(TransferCodeplug());
    EndUpdate(false);
}
