#include "TraceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

TraceFile::~TraceFile() {
    Discard();
}

bool TraceFile::Open(const std::string& path, std::string& error) {
    path_ = path;
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        error = "cannot write the trace " + path + ": it is a folder";
        return false;
    }
    int fd = -1;
    if (exists && !S_ISREG(info.st_mode)) {
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    } else {
        temp_ = path + ".XXXXXX";
        fd = ::mkstemp(temp_.data());
        if (fd < 0)
            temp_.clear();
        else
            ::fchmod(fd, 0644);
    }
    if (fd < 0) {
        error = "cannot write the trace " + path + ": " + std::strerror(errno);
        return false;
    }
    stream_ = ::fdopen(fd, "w");
    if (stream_ == nullptr) {
        error = "cannot write the trace " + path + ": " + std::strerror(errno);
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
    const bool replacing = !temp_.empty();
    auto failed = [this](int cause) {
        if (writeErrno_ == 0)
            writeErrno_ = cause;
    };
    if (std::fflush(stream_) != 0)
        failed(errno);
    if (replacing && ::fsync(::fileno(stream_)) != 0)
        failed(errno);
    if (std::fclose(stream_) != 0)
        failed(errno);
    stream_ = nullptr;
    if (replacing && writeErrno_ == 0 && lines_ > 0) {
        if (::rename(temp_.c_str(), path_.c_str()) == 0)
            temp_.clear();
        else
            failed(errno);
    }
    Discard();
    if (writeErrno_ == 0)
        return true;
    error = "the trace could not be written to " + path_ + " (" + std::strerror(writeErrno_) +
            (replacing ? "); it was not kept" : ")");
    return false;
}

void TraceFile::Discard() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}
