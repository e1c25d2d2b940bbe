#include "app/demo/DemoFolder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/FileBytes.h"

namespace demo {

namespace {

bool IsFolder(const char* path) {
    struct stat st {};
    return path != nullptr && path[0] == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string DemoFolderBase() {
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (IsFolder(value))
            return value;
    }
    return "/tmp";
}

bool DemoFolder::Create(std::string& error) {
    std::string pattern = DemoFolderBase() + "/quenta-demo-XXXXXX";
    // mkdtemp makes the folder 0700 whatever the umask.
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a private folder in " + DemoFolderBase() + ": " + std::strerror(errno);
        return false;
    }
    path_ = pattern;
    for (const char* sub : {"ports", "run"}) {
        if (::mkdir((path_ + "/" + sub).c_str(), 0700) != 0) {
            error = "cannot make " + path_ + "/" + sub + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

DemoFolder::~DemoFolder() {
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool WritePrivateFile(const std::string& path, const std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = WriteAllBytes(fd, text.data(), text.size());
    const int cause = errno;
    ::close(fd);
    if (!written)
        error = "cannot write " + path + ": " + std::strerror(cause);
    return written;
}

}  // namespace demo
