#include "serial/PortLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>

#include "common/FileBytes.h"

namespace serial {

namespace {

// A lock file younger than this is taken as live while its process runs even if that process
// does not hold the device yet: a program writes its lock file before it opens the device.
constexpr time_t kFreshLockSeconds = 5;

bool ProcessAlive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

std::string ReadSmallFile(int fd) {
    char buffer[256];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool HasOpen(const std::string& procRoot, const std::string& pidText, const std::string& node);

// Whether the running process pid is the one that holds node: it has the device open, or its
// descriptors cannot be looked at (another user's process; then it is given the benefit of the
// doubt), or its lock file is too young for it to have opened the device yet. A PID that the
// system has given to an unrelated process since the lock's owner ended holds nothing.
bool ConfirmedHolder(pid_t pid, const std::string& node, const struct stat& lockStat) {
    const std::string pidText = std::to_string(pid);
    if (HasOpen("/proc", pidText, node))
        return true;
    const std::string fdDir = "/proc/" + pidText + "/fd";
    if (::access(fdDir.c_str(), R_OK | X_OK) != 0 && errno != ENOENT)
        return true;
    const time_t now = ::time(nullptr);
    return lockStat.st_mtime > now - kFreshLockSeconds;
}

std::string OwnerName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry != nullptr ? entry->pw_name : "UID " + std::to_string(uid);
}

std::string SelfExecutable() {
    char target[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

bool WriteAll(int fd, const std::string& text) {
    return WriteAllBytes(fd, text.data(), text.size());
}

bool IsNumber(const char* text) {
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

// A process with an flock on the inode (device dev, inode ino), from /proc/locks.
pid_t FlockHolder(const std::string& procRoot, dev_t dev, ino_t ino) {
    std::ifstream locks(procRoot + "/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string id, type, advisory, access, pidText, inode;
        fields >> id >> type;
        if (type == "->")
            continue;  // a waiter, not a holder
        fields >> advisory >> access >> pidText >> inode;
        if (type != "FLOCK")
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long number = 0;
        if (std::sscanf(inode.c_str(), "%x:%x:%llu", &major, &minor, &number) != 3)
            continue;
        if (makedev(major, minor) == dev && number == static_cast<unsigned long long>(ino)) {
            return static_cast<pid_t>(std::atol(pidText.c_str()));
        }
    }
    return 0;
}

// Whether one of process pid's descriptors, by its name in /proc/PID/fd and the path it is
// open on, matches.
bool AnyDescriptor(const std::string& procRoot, const std::string& pidText,
                   const std::function<bool(const char* name, const std::string& path)>& matches) {
    const std::string fdDir = procRoot + "/" + pidText + "/fd";
    DIR* dir = ::opendir(fdDir.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    char target[PATH_MAX];
    while (!found) {
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr)
            break;
        if (entry->d_name[0] == '.')
            continue;
        const std::string link = fdDir + "/" + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0)
            found = matches(entry->d_name, std::string(target, static_cast<size_t>(n)));
    }
    ::closedir(dir);
    return found;
}

// Whether process pid has node open.
bool HasOpen(const std::string& procRoot, const std::string& pidText, const std::string& node) {
    return AnyDescriptor(procRoot, pidText,
                         [&node](const char*, const std::string& path) { return path == node; });
}

// The process holds the master side of the pseudo-terminal whose slave is node
// (/dev/pts/N): its ptmx descriptor reports "tty-index: N" in fdinfo. Such a process is the
// line's other end (a simulated radio keeps its slave open so that the line never hangs up
// between the tool's opens), not a second user of the line.
bool HoldsPtyMasterOf(const std::string& procRoot, const std::string& pidText,
                      const std::string& node) {
    static const std::string kPtsPrefix = "/dev/pts/";
    if (node.compare(0, kPtsPrefix.size(), kPtsPrefix) != 0 ||
        !IsNumber(node.c_str() + kPtsPrefix.size()))
        return false;
    const std::string index = node.substr(kPtsPrefix.size());
    return AnyDescriptor(procRoot, pidText, [&](const char* name, const std::string& path) {
        if (path != "/dev/ptmx" && path != "/dev/pts/ptmx")
            return false;
        std::ifstream info(procRoot + "/" + pidText + "/fdinfo/" + name);
        std::string line;
        while (std::getline(info, line)) {
            std::istringstream fields(line);
            std::string key, value;
            fields >> key >> value;
            if (key == "tty-index:" && value == index)
                return true;
        }
        return false;
    });
}

}  // namespace

LockInspection InspectLockFile(const std::string& path, const std::string& node) {
    LockInspection seen;
    struct stat linkStat {};
    if (::lstat(path.c_str(), &linkStat) != 0)
        return seen;  // no lock file
    seen.exists = true;
    seen.uid = linkStat.st_uid;
    if (!S_ISREG(linkStat.st_mode)) {
        seen.unusable = S_ISLNK(linkStat.st_mode) ? "is a symbolic link" : "is not a regular file";
        return seen;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        seen.unusable = std::string("cannot be read (") + std::strerror(errno) + ")";
        return seen;
    }
    struct stat st {};
    ::fstat(fd, &st);
    seen.dev = st.st_dev;
    seen.ino = st.st_ino;
    seen.mtime = st.st_mtim;
    // A shared probe conflicts with the holder's exclusive lock but not with other probes.
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    const pid_t pid = ParseLockPid(ReadSmallFile(fd));
    ::close(fd);
    seen.holder.pid = pid;
    seen.holder.path = path;
    seen.holder.held =
        locked || (pid != ::getpid() && ProcessAlive(pid) && ConfirmedHolder(pid, node, st));
    return seen;
}

// The stale file is renamed aside first (one atomic step that takes exactly one file), and a
// file that turns out to be another one, made meanwhile, is linked back.
int BreakStaleLock(const std::string& path, const LockInspection& seen) {
    const std::string aside = path + ".stale." + std::to_string(::getpid());
    if (::rename(path.c_str(), aside.c_str()) != 0)
        return errno == ENOENT ? 0 : errno;
    bool same = false;
    const int fd = ::open(aside.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0) {
        struct stat st {};
        same = ::fstat(fd, &st) == 0 && st.st_dev == seen.dev && st.st_ino == seen.ino &&
               st.st_mtim.tv_sec == seen.mtime.tv_sec && st.st_mtim.tv_nsec == seen.mtime.tv_nsec &&
               ParseLockPid(ReadSmallFile(fd)) == seen.holder.pid;
        ::close(fd);
    }
    if (!same)
        ::link(aside.c_str(), path.c_str());
    ::unlink(aside.c_str());
    return 0;
}

std::string LockFileName(const std::string& node) {
    std::string name = node.compare(0, 5, "/dev/") == 0 ? node.substr(5) : node;
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

std::vector<std::string> UniqueDirectories(const std::vector<std::string>& dirs) {
    std::vector<std::string> unique;
    std::vector<std::string> real;
    for (const std::string& dir : dirs) {
        char resolved[PATH_MAX];
        const std::string key = ::realpath(dir.c_str(), resolved) ? resolved : dir;
        if (std::find(real.begin(), real.end(), key) != real.end())
            continue;
        real.push_back(key);
        unique.push_back(dir);
    }
    return unique;
}

pid_t ParseLockPid(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    long long pid = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        pid = pid * 10 + (text[i] - '0');
        if (pid > 0x7FFFFFFF)
            return 0;
    }
    return digits ? static_cast<pid_t>(pid) : 0;
}

LockHolder FindLiveLock(const std::vector<std::string>& dirs, const std::string& node,
                        bool removeStale) {
    const std::string name = LockFileName(node);
    for (const std::string& dir : UniqueDirectories(dirs)) {
        const std::string path = dir + "/" + name;
        const LockInspection seen = InspectLockFile(path, node);
        if (seen.holder.held)
            return seen.holder;
        if (removeStale && seen.exists && seen.unusable.empty())
            BreakStaleLock(path, seen);
    }
    return LockHolder();
}

UucpLock::UucpLock(UucpLock&& other) noexcept
    : fd(other.fd), path(std::move(other.path)), unlockedReason(std::move(other.unlockedReason)) {
    other.fd = -1;
    other.path.clear();
    other.unlockedReason.clear();
}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd = other.fd;
        path = std::move(other.path);
        unlockedReason = std::move(other.unlockedReason);
        other.fd = -1;
        other.path.clear();
        other.unlockedReason.clear();
    }
    return *this;
}

bool UucpLock::Acquire(const std::vector<std::string>& dirs, const std::string& node,
                       LockHolder* holder) {
    Release();
    const std::string name = LockFileName(node);
    const auto refuse = [holder](const LockHolder& live) {
        if (holder)
            *holder = live;
        return false;
    };
    const LockHolder live = FindLiveLock(dirs, node, false);
    if (live.held)
        return refuse(live);

    // The first writable directory is the one other programs look in first; a failure there
    // is not made up for by a file elsewhere.
    std::string dir;
    for (const std::string& candidate : UniqueDirectories(dirs)) {
        if (::access(candidate.c_str(), W_OK) == 0) {
            dir = candidate;
            break;
        }
    }
    if (dir.empty()) {
        unlockedReason = "no lock folder is writable";
        return true;
    }
    const std::string file = dir + "/" + name;

    // The lock file is written in full under a private name and then linked into place, so
    // it appears at once complete and flock'ed, and link() fails rather than replace a file
    // another program has just made.
    std::string temporary = file + ".XXXXXX";
    const int created = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (created < 0) {
        unlockedReason = "cannot create a file in " + dir + " (" + std::strerror(errno) + ")";
        return true;
    }
    ::fchmod(created, 0644);
    ::flock(created, LOCK_EX | LOCK_NB);
    // The UUCP format (PID in ten columns), followed by the program and the host as QLockFile
    // reads them, so that QSerialPort sees a running holder.
    char pidText[16];
    std::snprintf(pidText, sizeof pidText, "%10d\n", static_cast<int>(::getpid()));
    const bool written = WriteAll(created, pidText + SelfExecutable() + "\n" + HostName() + "\n");
    const auto giveUp = [&](std::string reason) {
        ::unlink(temporary.c_str());
        ::close(created);
        unlockedReason = std::move(reason);
        return true;
    };
    if (!written)
        return giveUp("cannot write " + temporary + " (" + std::strerror(errno) + ")");

    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (::link(temporary.c_str(), file.c_str()) == 0) {
            ::unlink(temporary.c_str());
            fd = created;
            path = file;
            return true;
        }
        if (errno != EEXIST)
            return giveUp("cannot create " + file + " (" + std::strerror(errno) + ")");
        const LockInspection seen = InspectLockFile(file, node);
        if (seen.holder.held) {
            ::unlink(temporary.c_str());
            ::close(created);
            return refuse(seen.holder);
        }
        if (!seen.exists)
            continue;  // gone meanwhile
        if (!seen.unusable.empty())
            return giveUp(file + " " + seen.unusable + " and is left alone");
        if (const int error = BreakStaleLock(file, seen); error != 0) {
            std::string reason = "the stale lock file " + file;
            if (seen.uid != ::geteuid())
                reason += " belongs to " + OwnerName(seen.uid) + " and";
            return giveUp(reason + " cannot be removed (" + std::strerror(error) + ")");
        }
    }
    // Lock files keep appearing as fast as they are removed: someone is after the device.
    ::unlink(temporary.c_str());
    ::close(created);
    LockHolder contended;
    contended.held = true;
    contended.path = file;
    return refuse(contended);
}

void UucpLock::Release() {
    unlockedReason.clear();
    if (fd >= 0) {
        ::unlink(path.c_str());
        ::close(fd);
    }
    fd = -1;
    path.clear();
}

pid_t FindHolderPid(const std::string& node, const std::string& procRoot) {
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0)
        return 0;
    const pid_t self = ::getpid();
    const pid_t flocker = FlockHolder(procRoot, st.st_dev, st.st_ino);
    if (flocker > 0 && flocker != self)
        return flocker;

    bool selfHasIt = flocker == self;
    DIR* proc = ::opendir(procRoot.c_str());
    if (proc == nullptr)
        return selfHasIt ? self : 0;
    pid_t found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (!IsNumber(entry->d_name))
            continue;
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid == self)
            continue;
        if (HasOpen(procRoot, entry->d_name, node) &&
            !HoldsPtyMasterOf(procRoot, entry->d_name, node)) {
            found = pid;
            break;
        }
    }
    ::closedir(proc);
    if (found > 0)
        return found;
    if (!selfHasIt)
        selfHasIt = HasOpen(procRoot, "self", node);
    return selfHasIt ? self : 0;
}

std::string ProcessName(pid_t pid, const std::string& procRoot) {
    std::ifstream comm(procRoot + "/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace serial
