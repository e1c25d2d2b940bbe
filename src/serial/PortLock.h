#pragma once

// Exclusive use of a serial device among programs: UUCP lock files ("LCK..ttyUSB0" in
// /var/lock or /run/lock, the convention minicom, QSerialPort and others follow) and the
// look-up of the process that holds a device.
//
// A lock file is live when its file is locked (QSerialPort's QLockFile and this layer keep an
// flock on the files they create) or when it names a running process other than this one. Any
// other lock file is stale: a dead process's lock is no lock.

#include <sys/types.h>

#include <string>
#include <vector>

namespace serial {

// The lock-file name of a device node: "/dev/ttyUSB0" -> "LCK..ttyUSB0",
// "/dev/pts/3" -> "LCK..pts_3" (the path below /dev with '/' turned into '_').
std::string LockFileName(const std::string& node);

// Directories listed twice (also through a symlink, /var/lock -> /run/lock) appear once.
std::vector<std::string> UniqueDirectories(const std::vector<std::string>& dirs);

struct LockHolder {
    bool held = false;
    pid_t pid = 0;     // the PID the lock file names, 0 when unreadable
    std::string path;  // the lock file
};

// The PID a lock file's text names: leading blanks, then decimal digits; 0 otherwise.
pid_t ParseLockPid(const std::string& text);

// The first live lock file of node in dirs. Stale ones are removed when removeStale is true
// (and the directory lets us).
LockHolder FindLiveLock(const std::vector<std::string>& dirs, const std::string& node,
                        bool removeStale);

// A lock file this process holds.
class UucpLock {
  public:
    UucpLock() = default;
    ~UucpLock() { Release(); }
    UucpLock(UucpLock&& other) noexcept;
    UucpLock& operator=(UucpLock&& other) noexcept;
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    // Fails (false, holder filled) when a live lock file exists. Otherwise removes stale
    // ones and creates the lock file in the first writable directory; where none is
    // writable it succeeds without a file.
    bool Acquire(const std::vector<std::string>& dirs, const std::string& node, LockHolder* holder);
    void Release();
    // The lock file created, empty when none.
    const std::string& Path() const { return path; }

  private:
    int fd = -1;
    std::string path;
};

// A process that holds node: one with an flock on it (/proc/locks) or, failing that, one with
// it open (/proc/<pid>/fd, visible for this user's processes, or all of them for root).
// Another process is preferred to this one. 0 when none is found. procRoot stands for /proc.
pid_t FindHolderPid(const std::string& node, const std::string& procRoot = "/proc");

// The program name of a process (/proc/<pid>/comm), empty when unknown.
std::string ProcessName(pid_t pid, const std::string& procRoot = "/proc");

}  // namespace serial
