#include "PasswordPipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t kMaxPasswordBytes = 4096;
constexpr int kMaxDescriptor = 1023;

}  // namespace

bool ParseDescriptor(const std::string& text, int& fd) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    fd = std::stoi(text);
    return fd <= kMaxDescriptor;
}

bool ReadPasswordFromDescriptor(int fd, std::string& password, std::string& error) {
    std::string data;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = "cannot read the password from descriptor " + std::to_string(fd) + ": " +
                    std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > kMaxPasswordBytes) {
            error = "the password on descriptor " + std::to_string(fd) + " is longer than " +
                    std::to_string(kMaxPasswordBytes) + " bytes";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    password = data.substr(0, data.find('\n'));
    if (password.empty()) {
        error = "descriptor " + std::to_string(fd) + " holds no password";
        return false;
    }
    return true;
}

int PasswordPipe(const std::string& password, std::string& error) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe for the password: ") + std::strerror(errno);
        return -1;
    }
    // A pipe holds far more than the longest password, so the write cannot block.
    const std::string line = password + "\n";
    const ssize_t written = ::write(ends[1], line.data(), line.size());
    ::close(ends[1]);
    if (written != static_cast<ssize_t>(line.size())) {
        error = "cannot hand the password on through a pipe";
        ::close(ends[0]);
        return -1;
    }
    return ends[0];
}
