#include "common/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool WriteAllBytes(int fd, const void* data, std::size_t count) {
    const char* at = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t written = ::write(fd, at, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        at += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

ReadFileResult ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                               int& error) {
    bytes.clear();
    error = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = errno;
        return ReadFileResult::kOpenFailed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : 0;
        ::close(fd);
        return ReadFileResult::kNotRegular;
    }
    // One byte more than allowed tells a file that is too long from one that fits exactly.
    bytes.resize(maxBytes + 1);
    std::size_t got = 0;
    ReadFileResult result = ReadFileResult::kOk;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            result = ReadFileResult::kReadFailed;
            break;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (result == ReadFileResult::kOk && got > maxBytes)
        result = ReadFileResult::kTooLong;
    bytes.resize(result == ReadFileResult::kOk ? got : 0);
    return result;
}

std::string ReadFileFailureText(ReadFileResult result, int error, const std::string& path,
                                std::size_t maxBytes) {
    switch (result) {
        case ReadFileResult::kOk:
            return {};
        case ReadFileResult::kOpenFailed:
            return "cannot open " + path + ": " + std::strerror(error);
        case ReadFileResult::kNotRegular:
            return path + (error == EISDIR ? " is a folder, not a file" : " is not a regular file");
        case ReadFileResult::kReadFailed:
            return "cannot read " + path + ": " + std::strerror(error);
        case ReadFileResult::kTooLong:
            return path + " is longer than " + std::to_string(maxBytes) + " bytes";
    }
    return {};
}
