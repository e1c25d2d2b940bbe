#pragma once

// Status-line texts of the downloads, used exactly as written.
namespace dltext {

inline constexpr const char kPreparing[] = "Preparing to download ...";
inline constexpr const char kFinished[] = "Download finished.";
inline constexpr const char kDownloadingPrefix[] = "Downloading ";
inline constexpr const char kLoaderWord[] = "Loader ";
inline constexpr const char kBootWord[] = "Boot ";
inline constexpr const char kApplicationWord[] = "Application ";
inline constexpr const char kCodeSuffix[] = "code ...";
inline constexpr const char kCodeCommProblem[] = "Communication problem during code download.";
inline constexpr const char kCodeTimedOut[] = "Code download timed out or canceled by user.";
inline constexpr const char kVerifyFailedPrefix[] = "Flash Verify failed at address: 0x";
inline constexpr const char kErasing40[] = "Erasing flash (40 seconds)...";
inline constexpr const char kErasing2[] = "Erasing flash (2 seconds)...";
inline constexpr const char kErasing80[] = "Erasing flash (80 seconds)...";
// An image file that cannot be read: nothing is sent, so the flash is never erased for it.
inline constexpr const char kCodeImageUnreadable[] =
    "Error reading the firmware image files during code download.";

inline constexpr const char kDspLoader[] = "Downloading Loader code...";
inline constexpr const char kDspFinished[] = "Download finished";
inline constexpr const char kDspCommProblem[] = "Communication problem during DSP download.";
inline constexpr const char kDspTimedOut[] = "DSP download timed out or canceled by user.";

// Failures of the DSP download's own files, which the radio never sees.
inline constexpr const char kDspLoaderUnreadable[] =
    "Error reading the DSP loader file during DSP download.";
inline constexpr const char kDspFileUnreadable[] =
    "Error reading the DSP file during DSP download.";
inline constexpr const char kDspPageFilesUnwritable[] =
    "Error writing the DSP page files during DSP download.";
inline constexpr const char kDspPageFileUnreadable[] =
    "Error reading a DSP page file during DSP download.";
inline constexpr const char kDspFileDamagedPrefix[] = "DSP file is damaged: ";

}  // namespace dltext
