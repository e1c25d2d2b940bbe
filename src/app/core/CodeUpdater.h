#pragma once

// THE SHAPE OF THE UPDATE LOGIC, agreed between the window, `quenta update` and the tests.
// The public operations below are fixed; members, private helpers and the files behind them
// are the implementer's. Everything runs on one thread; the waits run the message pump.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/TimeLeft.h"
#include "app/core/UpdaterView.h"
#include "app/journal/JournalRow.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/PackageAttributes.h"
#include "download/DownloadClock.h"
#include "download/ImageThroughput.h"
#include "link/DeviceFactory.h"
#include "link/Platform.h"
#include "link/RadioLink.h"

class CodeplugPasswords;
class ZKWTransferParms;

// The platform the update logic runs on: the program gives the Qt event loop, timers and port
// component; tests give a virtual or scaled clock.
struct UpdaterPlatform {
    MessagePump& pump;
    IntervalTimer& commTimer;      // m_CommTimer: the link's reply timeout on the direct device
    IntervalTimer& progressTimer;  // ProgressBarTimer
    PortComponent& component;      // ApdComPort
    DownloadClock& clock;          // erase waits and the 360-tick restart waits
    // Logical processors of this computer (IsMultiProcessor).
    std::function<int()> processorCount;
    // Where images are extracted (the current working directory in the program).
    std::filesystem::path workingDirectory;
    // Where codeplugs are saved before anything is written back.
    std::filesystem::path backupDirectory;

    // Seams for tests; left empty, the program's own are used.
    // The direct serial devices of the link (empty: the serial layer's).
    std::function<std::unique_ptr<LinkDeviceFactory>()> makeDeviceFactory;
    // The scan's question for COM n: empty when it can be opened now, else why not in one line
    // (empty function: the serial layer's passive check).
    std::function<std::string(int comNumber)> checkPort;
    // How long the port component keeps repeating a request the radio answers busy: longer
    // than any erase, short enough that a radio stuck in busy ends the update.
    int busyRepeatLimitMs = 180000;
    // The journal every run of the update is recorded in (none: not recorded).
    UpdateRecorder* recorder = nullptr;
};

// How the last Start ended, for a front end that reports it (an exit status).
enum class UpdateOutcome {
    kNotRun,     // nothing ran: the password dialog was cancelled or the password was wrong
    kSucceeded,  // "Done.", a finished boot or DSP download, or a boot that is already current
    kFailed,     // any other end: the status line says what happened
    kStopped,    // Stop (or the close query) ended the sequence
};

// Results of the codeplug stage. 0 to 5 are the stage's classic results; the rest say that
// nothing was written to the radio for a reason of this program's own.
enum class CodeplugResult : int {
    kNotReached = -1,  // the last Start ended before the stage (or ran none)
    kNoAnswer = 0,
    // The radio's codeplug (or the format its new firmware expects) is older than 5.8: the
    // firmware is updated, the codeplug is not converted and the radio cannot use it. The
    // status reads "Done." and an information box says what to do; the codeplug as read is
    // saved (LastBackup()).
    kNotOffered = 1,
    kSameFormat = 2,
    kConverted = 3,
    kReadFailed = 4,
    kWriteFailed = 5,
    kConversionFailed = 6,
    kBackupFailed = 7,
    kCancelled = 8,
};

// The number a result is defined by, for a status text.
constexpr int ToInt(CodeplugResult result) {
    return static_cast<int>(result);
}

// The logic of the main window TCodeUpdaterMainDispForm: its state and every operation that is
// not drawing. The window (or another view) owns one and forwards its events to it.
class CodeUpdater {
  public:
    CodeUpdater(UpdaterView& view, UpdaterPlatform& platform, const PackageResources& package);
    ~CodeUpdater();
    CodeUpdater(const CodeUpdater&) = delete;
    CodeUpdater& operator=(const CodeUpdater&) = delete;

    // The logic steps of the window's construction: link reset and timer, flags,
    // ReadPackageAttributes, m_TargetKind, m_AutoBootUpdate, ScanPorts.
    void Initialise();

    // --- Event handlers ---
    void m_StartButtonClick();  // Start, and Stop while busy
    void m_RetrieveVersionInfoButtonClick();
    bool FormCloseQuery();  // true when the window may close
    // The list position to select after the user chose index (SelectFirstAvailablePort).
    int m_ComportComboBoxChange(int index);
    void ApdComPortTriggerTimer(int handle);
    void m_OnCommTimerTimer();
    void ProgressBarTimerTimer();

    // --- State the window shows ---
    const ResourceAttributes& Attributes() const { return m_Attributes; }
    TargetKind TargetKindCode() const { return m_TargetKind; }
    bool AutoBootUpdate() const { return m_AutoBootUpdate != 0; }
    bool UpdateInProgress() const { return m_UpdateInProgress != 0; }
    // m_PortPresent of list position index (0..63) is 2.
    bool PortPresent(int index) const;
    // Upgrade type 3 without the automatic sequence: the Application/Boot choice is shown.
    bool ShowsUpgradeChoice() const;
    // The file the last codeplug backup was saved to (empty when none this run).
    const std::filesystem::path& LastBackup() const { return lastBackup_; }
    RadioLink& Link() { return m_Link; }
    UpdateOutcome LastOutcome() const { return outcome_; }
    // How the codeplug stage of the last Start ended; a front end tells a radio whose codeplug
    // was not converted (CodeplugResult::kNotOffered) from a plain success.
    CodeplugResult LastCodeplugResult() const { return codeplugResult_; }
    // A sequence is on the call stack (it may still be winding down after Stop): the window
    // must not be destroyed and Start is ignored until it returns.
    bool SequenceActive() const { return sequenceActive_; }
    // Why list position index could not be opened at the last scan (empty when it could).
    std::string PortDetail(int index) const;
    // Overrides the kind the package gives (the command line's retrieve --kind).
    void SetTargetKind(TargetKind kind) { m_TargetKind = kind; }
    // The port as the user named it, repeated in the command the recovery hint of a failed
    // codeplug write suggests (the command line's own --port and --port-dir, quoted for a
    // shell). Empty: "--port COMn" of the selected port.
    void SetPortArguments(std::string arguments) { portArguments_ = std::move(arguments); }

    // --- Operations of the window the handlers run; public for the front ends and tests ---
    void SetStatus(const std::string& text);
    void BeginUpdate();
    void EndUpdate(bool deleteImages);
    void StartProgressTimer(int intervalMs);
    void StopProgressTimer();
    void ScanPorts();
    bool IsMultiProcessor() const;

    bool OpenSelectedPort(bool retrieveOnly);
    void ClosePort();
    bool OpenDirect(int n, bool retrieveOnly);
    // How the mobile family's radio is reached: not at all (the port would not open), on the
    // direct line (through the interface box, or series 1 straight), or through the port
    // component.
    enum class Route { kNone, kDirectLine, kPortComponent };
    Route ProbeConnection(int n);
    bool OpenThroughPortComponent(int n, bool retrieveOnly);

    bool CheckTargetRadio();
    void ReportSeriesMismatch(std::uint8_t family, std::uint8_t major);

    bool CheckBootVersion();
    bool BootUpdateNeeded(bool& majorMismatch, bool& commError);
    void RunUpdate(bool isBoot);
    void RunAutoBootUpdate();

    CodeplugResult TransferCodeplug();
    // The codeplug stage on its own, for a radio whose firmware was updated but whose codeplug
    // was not converted (a run cut off, a password nobody could give): open the port, read,
    // save, convert to the format the radio reports, write and verify, journalled as a run of
    // kind "upgrade". The radio is running its firmware already: no restart waits. Status,
    // LastOutcome(), LastCodeplugResult() and LastBackup() tell how it ended, as after Start.
    CodeplugResult UpgradeCodeplug();
    bool ReadRadioAccessCode(std::string& code);

  private:
    // A sequence (an update, or the codeplug stage on its own) begins: no other starts on top
    // of it, it has failed until it says otherwise, and its journal row of that kind goes in.
    void BeginSequence(const char* kind);
    // The sequence ends: the port closed, a stopped sequence that did not succeed said to be
    // stopped, its journal row completed.
    void EndSequence();
    // Begins a download: busy, "Extracting embedded files...", the selected port opened for
    // it; false having ended the update when the port would not open.
    bool BeginUpdateOnPort();
    bool ExtractImages(bool bootSet);
    // Extracts the images of one download and checks that the radio is the one they are for;
    // false having ended the update (the images, once extracted, deleted with it).
    bool ExtractAndCheckTarget(bool bootSet);
    void DeleteImages();
    LinkResult DownloadImages(bool isBoot);
    LinkResult DownloadDspImages();
    void ShowCodeplugResult(CodeplugResult result);
    void ShowOpenFailure(int n, const std::string& errorText, const std::string& detail);
    // The 360-tick wait while the radio restarts, with its timer-driven progress; false when
    // Stop ended it.
    bool RestartWait(const char* status);
    // After a boot download, with the bootload-mode box answered by no one: asks the radio for
    // its boot version until it answers (it restarts into bootload mode meanwhile), for at most
    // a minute or until Stop. False when it did not answer.
    bool AwaitRadioBack();
    bool Stopped() const { return m_UpdateInProgress == 0; }
    // The stage once the radio runs its new firmware: serial number, format, then the rest.
    CodeplugResult CodeplugStageOnRadio();
    CodeplugResult TransferAfterFormat(const std::string& accessCode, bool accessCodeRead,
                                       const std::uint8_t radioFormat[2]);
    // The write's failure in the status line and a message naming both backups.
    void ReportWriteFailure(const std::string& headline, const std::string& why);
    std::string WriteFailureStatus(const std::string& headline) const;
    // Writes image (saved in lastConverted_) until the radio holds it: every write is read
    // back, and after one that fails or that the radio does not hold the user is asked
    // whether to write it again, a few times at most. kConverted once the radio holds it;
    // otherwise the last failure is reported and kWriteFailed returned.
    CodeplugResult WriteUntilHeld(ZKWTransferParms& transfer, CodeplugPasswords& passwords,
                                  const std::vector<std::uint8_t>& image);
    // One write of image and its read-back; false with the failure for the user.
    bool WriteCodeplugOnce(ZKWTransferParms& transfer, CodeplugPasswords& passwords,
                           const std::vector<std::uint8_t>& image, std::string& headline,
                           std::string& why);
    // The codeplug read is damaged: offers the converted codeplug that an unfinished update
    // of this radio saved, written as WriteUntilHeld writes. kReadFailed when there is none
    // or the user declines.
    CodeplugResult OfferUnfinishedBackup(ZKWTransferParms& transfer, CodeplugPasswords& passwords,
                                         const std::string& serial,
                                         const std::uint8_t radioFormat[2]);
    std::string PortName() const;
    std::string PortArguments() const;
    // The journal row of the run: inserted before anything is sent, updated at every phase
    // and at the end.
    void JournalBegin(const char* kind = "update");
    void JournalPhase(const char* phase);
    void JournalEnd();
    // The row goes to the journal and to the view, with the phases' times up to now.
    void JournalPublish();
    // An image's data has crossed the line: it joins the row, named after the phase it is in.
    void JournalImageCrossed(const ImageCrossing& crossing);

    UpdaterView& view_;
    UpdaterPlatform& platform_;
    const PackageResources& package_;
    RadioLink m_Link;
    TimeLeftProgress progress_;
    ImageThroughput meter_;
    ResourceAttributes m_Attributes;
    TargetKind m_TargetKind = 0;
    std::array<int, 64> m_PortPresent{};
    std::array<int, 65> m_PortState{};  // indexed by port number 1..64
    std::string m_LoaderFileName;
    std::string m_CodeFileName;
    std::uint8_t m_UpdateInProgress = 0;
    std::uint8_t m_PasswordAccepted = 0;
    std::uint8_t m_UseBootTwo = 0;
    std::uint8_t m_AutoBootUpdate = 0;
    std::uint8_t m_MultiCoreDirect = 0;
    std::filesystem::path lastBackup_;
    std::filesystem::path lastConverted_;
    std::string portArguments_;
    std::array<std::string, 64> portDetail_{};
    JournalRow record_;
    // The phases of the run in the order reached, each with the platform clock's time it began.
    struct PhaseStart {
        std::string phase;
        std::int64_t ms;
    };
    std::vector<PhaseStart> phaseStarts_;
    std::int64_t runEndMs_ = -1;  // -1 while the run goes on
    bool journalling_ = false;
    int imagesInPhase_ = 0;
    std::string lastStatus_;
    UpdateOutcome outcome_ = UpdateOutcome::kNotRun;
    CodeplugResult codeplugResult_ = CodeplugResult::kNotReached;
    bool sequenceActive_ = false;
    bool stopRequested_ = false;
    // The update waits for the radio's restarts; the stage run on its own does not.
    bool restartWaits_ = true;
};
