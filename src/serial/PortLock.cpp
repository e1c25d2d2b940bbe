#include "serial/PortLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace serial {

namespace {

bool ProcessAlive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

std::string ReadSmallFile(int fd) {
    char buffer[256];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// Inspects one lock file; removes it when stale and removeStale is set.
LockHolder InspectLockFile(const std::string& path, bool removeStale) {
    LockHolder holder;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return holder;
    // A shared probe conflicts with the holder's exclusive lock but not with other probes.
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    const pid_t pid = ParseLockPid(ReadSmallFile(fd));
    ::close(fd);
    if (locked || (pid != ::getpid() && ProcessAlive(pid))) {
        holder.held = true;
        holder.pid = pid;
        holder.path = path;
        return holder;
    }
    if (removeStale)
        ::unlink(path.c_str());
    return holder;
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
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
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

// Whether process pid has node open.
bool HasOpen(const std::string& procRoot, const std::string& pidText, const std::string& node) {
    const std::string fdDir = procRoot + "/" + pidText + "/fd";
    DIR* dir = ::opendir(fdDir.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    char target[PATH_MAX];
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string link = fdDir + "/" + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && node.compare(0, std::string::npos, target, static_cast<size_t>(n)) == 0) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
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
        if (n <= 0)
            continue;
        const std::string path(target, static_cast<size_t>(n));
        if (path != "/dev/ptmx" && path != "/dev/pts/ptmx")
            continue;
        std::ifstream info(procRoot + "/" + pidText + "/fdinfo/" + entry->d_name);
        std::string line;
        while (std::getline(info, line)) {
            std::istringstream fields(line);
            std::string key, value;
            fields >> key >> value;
            if (key == "tty-index:" && value == index)
                found = true;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

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
        LockHolder holder = InspectLockFile(dir + "/" + name, removeStale);
        if (holder.held)
            return holder;
    }
    return LockHolder();
}

UucpLock::UucpLock(UucpLock&& other) noexcept : fd(other.fd), path(std::move(other.path)) {
    other.fd = -1;
    other.path.clear();
}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd = other.fd;
        path = std::move(other.path);
        other.fd = -1;
        other.path.clear();
    }
    return *this;
}

bool UucpLock::Acquire(const std::vector<std::string>& dirs, const std::string& node,
                       LockHolder* holder) {
    Release();
    const LockHolder live = FindLiveLock(dirs, node, true);
    if (live.held) {
        if (holder)
            *holder = live;
        return false;
    }
    const std::string name = LockFileName(node);
    for (const std::string& dir : UniqueDirectories(dirs)) {
        if (::access(dir.c_str(), W_OK) != 0)
            continue;
        const std::string file = dir + "/" + name;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int created =
                ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
            if (created >= 0) {
                ::fchmod(created, 0644);
                ::flock(created, LOCK_EX | LOCK_NB);
                // The UUCP format (PID in ten columns), followed by the program and the host
                // as QLockFile reads them, so that QSerialPort sees a running holder.
                char pidText[16];
                std::snprintf(pidText, sizeof pidText, "%10d\n", static_cast<int>(::getpid()));
                WriteAll(created, pidText + SelfExecutable() + "\n" + HostName() + "\n");
                fd = created;
                path = file;
                return true;
            }
            if (errno != EEXIST)
                break;
            // Created by someone else since the check: live, or stale and removed now.
            const LockHolder raced = InspectLockFile(file, true);
            if (raced.held) {
                if (holder)
                    *holder = raced;
                return false;
            }
        }
        // The first writable directory is the one other programs look in first; a failure
        // there is not made up for by a file elsewhere.
        break;
    }
    return true;
}

void UucpLock::Release() {
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
