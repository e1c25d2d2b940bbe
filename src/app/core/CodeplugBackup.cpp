#include "app/core/CodeplugBackup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "common/FileBytes.h"
#include "common/HomeFolder.h"
#include "common/PrivateFolders.h"
#include "common/ReplacementFile.h"

namespace {

constexpr int kMaxNameTries = 100;

std::string UtcStamp(std::time_t utc) {
    std::tm parts{};
    ::gmtime_r(&utc, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

// Writes all of bytes and flushes them to disk; false with errno set on any failure. The mode
// is set whatever the umask, so that every backup is the owner's to read and write back.
bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    return ::fchmod(fd, kPrivateFileMode) == 0 && WriteAllBytes(fd, bytes.data(), bytes.size()) &&
           ::fsync(fd) == 0;
}

// Backups an older run left readable by others become the owner's alone.
void NarrowOlderBackups(const std::filesystem::path& directory) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::file_status status = it->symlink_status(ec);
        if (!ec && std::filesystem::is_regular_file(status) &&
            (status.permissions() &
             (std::filesystem::perms::group_all | std::filesystem::perms::others_all)) !=
                std::filesystem::perms::none)
            std::filesystem::permissions(
                it->path(), status.permissions() & std::filesystem::perms::owner_all, ec);
    }
}

}  // namespace

void NarrowBackupFolder(const std::filesystem::path& directory) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(directory, ec);
    if (ec || !fs::is_directory(status))
        return;
    if ((status.permissions() & (fs::perms::group_all | fs::perms::others_all)) != fs::perms::none)
        fs::permissions(directory, status.permissions() & fs::perms::owner_all, ec);
    NarrowOlderBackups(directory);
}

CodeplugBackupFile SaveCodeplugBackup(const std::filesystem::path& directory,
                                      const std::string& serial, std::time_t utc,
                                      const std::string& format,
                                      const std::vector<std::uint8_t>& bytes) {
    CodeplugBackupFile out;
    std::error_code ec;
    if (!MakePrivateFolders(directory, out.error))
        return out;
    NarrowOlderBackups(directory);
    const std::string stem =
        (serial.empty() ? std::string("unknown") : serial) + "_" + UtcStamp(utc) + "_" + format;
    for (int k = 1; k <= kMaxNameTries; ++k) {
        const std::string name =
            stem + (k == 1 ? std::string() : "-" + std::to_string(k)) + ".codeplug";
        const std::filesystem::path path = directory / name;
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            out.error = path.string() + ": " + std::strerror(errno);
            return out;
        }
        const bool written = WriteAll(fd, bytes);
        const int writeErrno = errno;
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            out.error = path.string() + ": " + std::strerror(written ? errno : writeErrno);
            std::filesystem::remove(path, ec);
            return out;
        }
        // The new name is on disk too, not only the bytes (a file system that cannot flush a
        // folder says EINVAL: there is nothing more to do on it).
        if (!SyncFolder(directory) && errno != EINVAL) {
            out.error = directory.string() + ": " + std::strerror(errno);
            std::filesystem::remove(path, ec);
            return out;
        }
        out.path = path;
        return out;
    }
    out.error = (directory / stem).string() + ": no free file name";
    return out;
}

std::filesystem::path DefaultBackupDirectory() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return std::filesystem::path(data) / "quenta" / "backups";
    // The working folder only when the user has no home folder at all.
    const std::string home = HomeFolder();
    const std::filesystem::path base = home.empty() ? std::string(".") : home;
    return base / ".local" / "share" / "quenta" / "backups";
}
