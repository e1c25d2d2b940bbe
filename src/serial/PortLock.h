#pragma once

// Exclusive use of a serial device among programs: UUCP lock files ("LCK..ttyUSB0" in
// /var/lock or /run/lock, the convention minicom, QSerialPort and others follow) and the
// look-up of the process that holds a device.
//
// A lock file is live when its file is locked (QSerialPort's QLockFile and this layer keep an
// flock on the files they create) or when it names a running process other than this one that
// holds the device (its descriptors, seen through /proc, include the device; a process whose
// descriptors cannot be seen, or whose lock file is only seconds old, counts as holding it).
// Any other lock file is stale: a dead process's lock is no lock, nor is a lock whose PID the
// system has since given to an unrelated process.

#include <sys/types.h>

#include <ctime>

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

// What one look at a lock file found.
struct LockInspection {
    bool exists = false;
    std::string unusable;  // why the file is no lock this layer can judge or replace, if so
    uid_t uid = 0;         // the file's owner
    dev_t dev = 0;         // the file's identity when it was read: inode, modification
    ino_t ino = 0;         // time and PID (an inode number freed by one file is soon
    timespec mtime{};      // given to the next)
    LockHolder holder;     // held when the lock is live
};

// One look at the lock file path of node; changes nothing.
LockInspection InspectLockFile(const std::string& path, const std::string& node);

// Moves the stale lock file path away, provided it still is the file seen (same identity); a
// file that another program put there since is left in place. 0 when the place may be tried
// again, else the error that kept the file where it is.
int BreakStaleLock(const std::string& path, const LockInspection& seen);

// The first live lock file of node in dirs. Stale ones are moved away when removeStale is true
// (and the directory lets us); a file replaced meanwhile is left in place.
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

    // Fails (false, holder filled) when a live lock file exists. Otherwise breaks a stale one
    // and puts the lock file in place in the first writable directory, race-free. Where no
    // file can be made (no writable directory, a symbolic link or another user's stale file in
    // the way) it succeeds without a file, and UnlockedReason() says why.
    bool Acquire(const std::vector<std::string>& dirs, const std::string& node, LockHolder* holder);
    void Release();
    // The lock file created, empty when none.
    const std::string& Path() const { return path; }
    // After an Acquire that succeeded without a file: why there is none.
    const std::string& UnlockedReason() const { return unlockedReason; }

  private:
    int fd = -1;
    std::string path;
    std::string unlockedReason;
};

// A process that holds node: one with an flock on it (/proc/locks) or, failing that, one with
// it open (/proc/<pid>/fd, visible for this user's processes, or all of them for root).
// Another process is preferred to this one. 0 when none is found. procRoot stands for /proc.
pid_t FindHolderPid(const std::string& node, const std::string& procRoot = "/proc");

// The program name of a process (/proc/<pid>/comm), empty when unknown.
std::string ProcessName(pid_t pid, const std::string& procRoot = "/proc");

}  // namespace serial
