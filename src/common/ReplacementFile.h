#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>

// Modes of the files this program writes. A codeplug, a trace or a password is only the
// owner's; an image or a package part anyone may read. The process umask still applies.
constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kSharedFileMode = 0644;

enum class ReplaceResult {
    kOk,
    kTargetNotRegular,  // the target exists and is a device, a pipe, a folder or a link
    kCreateFailed,      // no temporary file could be made in the target's folder
    kWriteFailed,
    kFlushFailed,
    kRenameFailed,
};

// A file that appears whole or not at all: the bytes go to a private temporary file made in the
// target's folder (a fresh random name, O_EXCL, never following a link), which is flushed to
// disk and renamed over the target only when everything was written. A target that exists and
// is not a regular file is refused rather than replaced, so "/dev/stdout" or a FIFO keeps what
// it is. The temporary file goes when the object goes uncommitted.
class ReplacementFile {
  public:
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    ReplaceResult Open(const std::filesystem::path& target, mode_t mode);
    // False once any write fell short; the first failure is kept for Commit.
    bool Write(const void* data, std::size_t count);
    // Flushes, closes and renames over the target; the temporary file is removed on failure.
    ReplaceResult Commit();
    // Drops the temporary file without touching the target.
    void Discard();

    int Descriptor() const { return fd_; }
    // errno of the failed step.
    int Error() const { return error_; }
    const std::filesystem::path& Target() const { return target_; }

  private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    int fd_ = -1;
    int error_ = 0;
    bool writeFailed_ = false;
};

// False when path names an entry that is not a regular file (links are not followed).
bool MayReplace(const std::filesystem::path& path);

// Writes size bytes as the whole new content of target; error is the errno of the failed step.
ReplaceResult ReplaceFileContents(const std::filesystem::path& target, const void* data,
                                  std::size_t size, mode_t mode, int& error);

// A line for the user: "cannot write OUT: No space left on device", "OUT exists and is not a
// regular file", ...
std::string ReplaceFailureText(ReplaceResult result, int error, const std::string& target);
