#include "common/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "common/FileBytes.h"

namespace {

// EEXIST on every one of this many fresh names means someone is filling the folder on purpose.
constexpr int kMaxTemporaryNames = 100;
constexpr int kSuffixLetters = 8;

std::string RandomSuffix(std::mt19937_64& generator) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(kSuffixLetters, '\0');
    for (char& letter : suffix)
        letter = kLetters[pick(generator)];
    return suffix;
}

}  // namespace

bool MayReplace(const std::filesystem::path& path) {
    struct stat info {};
    // A path that cannot be looked at (no such entry, a missing folder on the way) is left to
    // the create, which says why.
    return ::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode);
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

ReplaceResult ReplacementFile::Open(const std::filesystem::path& target, mode_t mode) {
    Discard();
    target_ = target;
    error_ = 0;
    writeFailed_ = false;
    if (!MayReplace(target))
        return ReplaceResult::kTargetNotRegular;
    std::random_device seed;
    std::mt19937_64 generator((static_cast<std::uint64_t>(seed()) << 32) ^ seed() ^
                              static_cast<std::uint64_t>(::getpid()));
    const std::string stem = target.string() + ".";
    for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
        const std::filesystem::path candidate = stem + RandomSuffix(generator);
        // O_EXCL with O_CREAT fails on any entry of that name, a link included.
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd_ >= 0) {
            temp_ = candidate;
            return ReplaceResult::kOk;
        }
        if (errno != EEXIST)
            break;
    }
    error_ = errno;
    return ReplaceResult::kCreateFailed;
}

bool ReplacementFile::Write(const void* data, std::size_t count) {
    if (fd_ < 0 || writeFailed_)
        return false;
    if (WriteAllBytes(fd_, data, count))
        return true;
    writeFailed_ = true;
    error_ = errno;
    return false;
}

ReplaceResult ReplacementFile::Commit() {
    if (fd_ < 0)
        return ReplaceResult::kCreateFailed;
    ReplaceResult result = writeFailed_ ? ReplaceResult::kWriteFailed : ReplaceResult::kOk;
    if (result == ReplaceResult::kOk && ::fsync(fd_) != 0) {
        error_ = errno;
        result = ReplaceResult::kFlushFailed;
    }
    // A close that fails reports a write the system could not complete.
    if (::close(fd_) != 0 && result == ReplaceResult::kOk) {
        error_ = errno;
        result = ReplaceResult::kFlushFailed;
    }
    fd_ = -1;
    // The target is looked at again: it may have become something else while the bytes went.
    if (result == ReplaceResult::kOk && !MayReplace(target_)) {
        error_ = 0;
        result = ReplaceResult::kTargetNotRegular;
    }
    if (result == ReplaceResult::kOk) {
        if (::rename(temp_.c_str(), target_.c_str()) == 0)
            temp_.clear();
        else {
            error_ = errno;
            result = ReplaceResult::kRenameFailed;
        }
    }
    Discard();
    return result;
}

void ReplacementFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

ReplaceResult ReplaceFileContents(const std::filesystem::path& target, const void* data,
                                  std::size_t size, mode_t mode, int& error) {
    ReplacementFile file;
    ReplaceResult result = file.Open(target, mode);
    if (result == ReplaceResult::kOk) {
        file.Write(data, size);
        result = file.Commit();
    }
    error = file.Error();
    return result;
}

std::string ReplaceFailureText(ReplaceResult result, int error, const std::string& target) {
    const std::string cause = error != 0 ? std::string(": ") + std::strerror(error) : "";
    switch (result) {
        case ReplaceResult::kOk:
            return {};
        case ReplaceResult::kTargetNotRegular:
            return "cannot write " + target + ": it exists and is not a regular file";
        case ReplaceResult::kCreateFailed:
            return "cannot create a file beside " + target + cause;
        case ReplaceResult::kWriteFailed:
            return "cannot write " + target + cause;
        case ReplaceResult::kFlushFailed:
            return "cannot flush " + target + cause;
        case ReplaceResult::kRenameFailed:
            return "cannot rename the new file to " + target + cause;
    }
    return {};
}
