#include "FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Closes the descriptor when the scope ends.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

bool readSmallFile(const std::string& path, std::size_t maxBytes, std::vector<uint8_t>& data,
                   bool& tooLong, std::string& error) {
    tooLong = false;
    data.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = systemError("cannot open", path);
        return false;
    }
    FdCloser closer{fd};
    // One byte more than allowed tells a file that is too long from one that fits exactly.
    data.resize(maxBytes + 1);
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = systemError("cannot read", path);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxBytes) {
        tooLong = true;
        error = path + " is longer than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    data.resize(got);
    return true;
}

bool writeFileAtomically(const std::string& path, const uint8_t* data, std::size_t size,
                         std::string& error) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = systemError("cannot create a file beside", path);
        return false;
    }
    bool ok = true;
    {
        FdCloser closer{fd};
        std::size_t done = 0;
        while (ok && done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = systemError("cannot write", temp);
                ok = false;
            } else {
                done += static_cast<std::size_t>(n);
            }
        }
        if (ok && ::fchmod(fd, 0644) != 0) {
            error = systemError("cannot set the mode of", temp);
            ok = false;
        }
        if (ok && ::fsync(fd) != 0) {
            error = systemError("cannot flush", temp);
            ok = false;
        }
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = systemError("cannot rename the new file to", path);
        ok = false;
    }
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}
