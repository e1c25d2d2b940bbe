#include "TraceFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

TraceFile::~TraceFile() {
    Discard();
}

bool TraceFile::Open(const std::string& path, std::string& error) {
    path_ = path;
    const ReplaceResult opened = file_.Open(path, kPrivateFileMode);
    if (opened != ReplaceResult::kOk) {
        std::error_code ignored;
        error = "cannot write the trace " + path + ": " +
                (opened != ReplaceResult::kTargetNotRegular ? std::strerror(file_.Error())
                 : std::filesystem::is_directory(path, ignored)
                     ? "it is a folder"
                     : "it exists and is not a regular file");
        return false;
    }
    // The stream has a descriptor of its own, so that closing it leaves the file's descriptor
    // for the flush to disk before the rename.
    const int fd = ::dup(file_.Descriptor());
    stream_ = fd < 0 ? nullptr : ::fdopen(fd, "w");
    if (stream_ == nullptr) {
        error = "cannot write the trace " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        Discard();
        return false;
    }
    return true;
}

void TraceFile::LineWritten() {
    ++lines_;
    if (writeErrno_ == 0 && stream_ != nullptr && std::ferror(stream_))
        writeErrno_ = errno != 0 ? errno : EIO;
}

bool TraceFile::Finish(std::string& error) {
    if (stream_ == nullptr)
        return true;
    auto failed = [this](int cause) {
        if (writeErrno_ == 0)
            writeErrno_ = cause;
    };
    if (std::fflush(stream_) != 0)
        failed(errno);
    if (std::fclose(stream_) != 0)
        failed(errno);
    stream_ = nullptr;
    if (writeErrno_ == 0 && lines_ > 0) {
        const ReplaceResult committed = file_.Commit();
        if (committed == ReplaceResult::kTargetNotRegular)
            failed(EEXIST);
        else if (committed != ReplaceResult::kOk)
            failed(file_.Error() != 0 ? file_.Error() : EIO);
    }
    Discard();
    if (writeErrno_ == 0)
        return true;
    error = "the trace could not be written to " + path_ + " (" + std::strerror(writeErrno_) +
            "); it was not kept";
    return false;
}

void TraceFile::Discard() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    file_.Discard();
}
