#include "app/package/ExclusiveFile.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "common/FileBytes.h"

ExclusiveFile::~ExclusiveFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

int ExclusiveFile::Create(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    error_ = fd_ < 0 ? errno : 0;
    return error_;
}

bool ExclusiveFile::Write(const char* data, std::size_t count) {
    if (fd_ < 0)
        return false;
    if (WriteAllBytes(fd_, data, count))
        return true;
    error_ = errno;
    return false;
}

bool ExclusiveFile::Close() {
    if (fd_ < 0)
        return error_ == 0;
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0 && error_ == 0)
        error_ = errno;
    return result == 0 && error_ == 0;
}

std::string ErrorText(int error) {
    return std::strerror(error);
}
