#pragma once

// The texts the update logic shows: status lines, message-box titles and messages.
namespace updater_text {

// Message-box titles.
inline constexpr const char kTitleUpdater[] = "Quenta Code Updater";
inline constexpr const char kTitleComPort[] = "COM Port";
inline constexpr const char kTitleCommunication[] = "Communication";
inline constexpr const char kTitleConfirm[] = "Confirm";

// Status lines.
inline constexpr const char kIdle[] = "Idle";
inline constexpr const char kDone[] = "Done.";
inline constexpr const char kExtracting[] = "Extracting embedded files...";
inline constexpr const char kCheckingTarget[] = "Checking target radio...";
inline constexpr const char kResetting[] = "Resetting radio...";
inline constexpr const char kUploading[] = "Uploading codeplug...";
inline constexpr const char kResettingConverting[] = "Resetting radio and converting codeplug...";
inline constexpr const char kDownloading[] = "Downloading codeplug...";
// Beside the status line when the port disappeared during an exchange.
inline constexpr const char kPortWentAway[] = "The port went away (unplugged?).";
inline constexpr const char kNoLongerResponding[] = "The radio is no longer responding.";
inline constexpr const char kUploadError[] = "An error occurred while uploading the codeplug.";
inline constexpr const char kDownloadError[] = "An error occurred while downloading the codeplug.";
inline constexpr const char kVerifying[] = "Verifying codeplug...";
// The start of the status after a write whose read-back differs or fails.
inline constexpr const char kNotHeld[] = "The radio does not hold the codeplug that was written";
// Questions of the codeplug stage; the backup's path follows each on a line of its own.
// After a write that failed or that the radio does not hold:
inline constexpr const char kAskRewrite[] = "Write the saved codeplug to the radio again?";
// When the codeplug read is damaged and an unfinished update of the radio saved one converted
// to the radio's format:
inline constexpr const char kDamagedCodeplug[] = "The codeplug read from the radio is damaged.";
inline constexpr const char kAskWriteUnfinished[] =
    "Write the codeplug that an unfinished update of this radio saved?";
inline constexpr const char kBootCurrent[] =
    "The boot version is current and does not need to be upgraded.";
inline constexpr const char kBootMajorMismatch[] =
    "Error: the major boot versions of the radio and file are different.";
inline constexpr const char kBootReadError[] =
    "Communication error while trying to retrieve boot version.";
inline constexpr const char kTargetReadError[] =
    "Communication error while trying to check target radio.";
inline constexpr const char kNoBootInfo[] = "No Boot Info.";
// The stage's own ends where nothing was written to the radio.
inline constexpr const char kConversionError[] =
    "The codeplug could not be converted; nothing was written to the radio.";
inline constexpr const char kBackupError[] =
    "The codeplug could not be saved; nothing was written to the radio.";
inline constexpr const char kCodeplugCancelled[] =
    "Canceled by user before the codeplug was written back.";
inline constexpr const char kDspFolderError[] =
    "Unable to create a temporary folder for the DSP pages.";

// Messages.
inline constexpr const char kPortNotAvailable[] = "Selected COM port is in use or not available.";
inline constexpr const char kRetrieveFailed[] =
    "Communication error while retrieving version information.";
inline constexpr const char kQuitWhileBusy[] =
    "Update in progress.  Are you sure you want to quit?";
inline constexpr const char kMultiCore[] =
    "Quenta Code Updater will not work with the current configuration.\n\nEither connect to the "
    "radio using Tessel Box 940-7710-002 (which can\nbe purchased from Marrowby), or use a "
    "computer that does not\nhave a multi-core processor or hyperthreading enabled.";
inline constexpr const char kProcessorFor316[] =
    "This version of Quenta Code Updater is meant for Series 1 radios with 316\nprocessors.  "
    "Please acquire the updater for Series 1 radios with 716 processors.";
inline constexpr const char kProcessorFor716[] =
    "This version of Quenta Code Updater is meant for Series 1 radios with 716\nprocessors.  "
    "Please acquire the updater for Series 1 radios with 316 processors.";
inline constexpr const char kNoConversion[] =
    "Quenta Code updaters do not support a file format conversion for your\nradio.  To clear "
    "the Bad File Format error, please perform a parms\nupload and then download using Cordavo "
    "1.30.x.  If you do not\nhave Cordavo 1.30.x, then contact your local dealer for assistance.";
inline constexpr const char kBootUpdated[] =
    "Quenta Code Updater has detected that the connected radio did not\nhave the latest bootload "
    "code version.  This has been automatically\nupdated.  Please place the radio back into "
    "bootload mode to continue\nwith the application code upgrade.\n\nPress OK once the radio is "
    "ready.";
inline constexpr const char kSeriesMismatch[] =
    "This version of Quenta Code Updater does not match the radio series.\n";

// Passwords of the Start button.
inline constexpr const char kApplicationPassword[] = "pelican";
inline constexpr const char kBootPassword[] = "marigold";

}  // namespace updater_text
