#include "common/PrivateFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool MakePrivateFolders(const std::filesystem::path& folder, std::string& error) {
    std::filesystem::path made;
    for (const std::filesystem::path& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
            error = made.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        error = folder.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = folder.string() + ": " + std::strerror(ENOTDIR);
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), info.st_mode & 0700) != 0) {
        error = folder.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int syncErrno = errno;
    ::close(fd);
    errno = syncErrno;
    return synced;
}
