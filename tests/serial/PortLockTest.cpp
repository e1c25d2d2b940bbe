#include "serial/PortLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>

#include "ChildProcess.h"
#include "FileText.h"
#include "PseudoTerminal.h"
#include "TempDir.h"

namespace {

using testsupport::ReadFile;

// A lock file as another program leaves it: the PID right-aligned in ten columns.
void WriteLock(const std::string& path, pid_t pid) {
    std::ofstream(path) << std::setw(10) << pid << "\n";
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// Dates a file back, as a lock file left long ago.
void MakeOld(const std::string& path) {
    const timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Names in a folder, sorted.
std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(LockFileName, NamesTheNodeBelowDev) {
    EXPECT_EQ(serial::LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(serial::LockFileName("/dev/pts/3"), "LCK..pts_3");
    EXPECT_EQ(serial::LockFileName("/tmp/x/y"), "LCK.._tmp_x_y");
}

TEST(LockFileName, ParsesThePid) {
    EXPECT_EQ(serial::ParseLockPid("      1234\n"), 1234);
    EXPECT_EQ(serial::ParseLockPid("42\nprogram\nhost\n"), 42);
    EXPECT_EQ(serial::ParseLockPid("\t7"), 7);
    EXPECT_EQ(serial::ParseLockPid(""), 0);
    EXPECT_EQ(serial::ParseLockPid("abc"), 0);
    EXPECT_EQ(serial::ParseLockPid("99999999999"), 0);
}

TEST(LockDirectories, DuplicatesThroughSymlinksCountOnce) {
    TempDir dir;
    ASSERT_EQ(::mkdir((dir / "real").c_str(), 0755), 0);
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    const auto unique = serial::UniqueDirectories({dir / "link", dir / "real", dir / "other"});
    EXPECT_EQ(unique, (std::vector<std::string>{dir / "link", dir / "other"}));
}

TEST(LockFiles, AStaleLockOfADeadProcessIsNoLockAndIsRemoved) {
    TempDir dir;
    const std::string file = dir / "LCK..ttyUSB0";
    WriteLock(file, DeadPid());
    EXPECT_FALSE(serial::FindLiveLock({dir.Path()}, "/dev/ttyUSB0", false).held);
    EXPECT_TRUE(Exists(file));
    EXPECT_FALSE(serial::FindLiveLock({dir.Path()}, "/dev/ttyUSB0", true).held);
    EXPECT_FALSE(Exists(file));
}

TEST(LockFiles, ARunningProcessHoldsItsLockInAnyOfTheDirectories) {
    TempDir first;
    TempDir second;
    ChildProcess child([] {});
    WriteLock(second / "LCK..ttyUSB0", child.Pid());
    const serial::LockHolder holder =
        serial::FindLiveLock({first.Path(), second.Path()}, "/dev/ttyUSB0", true);
    EXPECT_TRUE(holder.held);
    EXPECT_EQ(holder.pid, child.Pid());
    EXPECT_EQ(holder.path, second / "LCK..ttyUSB0");
}

TEST(LockFiles, OurOwnPidWithoutAnFlockIsALeftover) {
    TempDir dir;
    WriteLock(dir / "LCK..ttyS0", ::getpid());
    EXPECT_FALSE(serial::FindLiveLock({dir.Path()}, "/dev/ttyS0", true).held);
}

TEST(LockFiles, AnFlockedLockFileIsHeldWhateverItSays) {
    TempDir dir;
    const std::string file = dir / "LCK..ttyS0";
    std::ofstream(file) << "garbage";
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const serial::LockHolder holder = serial::FindLiveLock({dir.Path()}, "/dev/ttyS0", true);
    EXPECT_TRUE(holder.held);
    EXPECT_EQ(holder.pid, 0);
    ::close(fd);
    EXPECT_FALSE(serial::FindLiveLock({dir.Path()}, "/dev/ttyS0", true).held);
}

TEST(LockFiles, APidThatNowBelongsToAnotherProcessHoldsOnlyWithTheDeviceOpen) {
    TempDir dir;
    const std::string device = dir / "device";
    std::ofstream(device) << "";
    const std::string file = dir / serial::LockFileName(device);
    // The lock's PID runs, but as a process that never opened the device.
    ChildProcess unrelated([] {});
    WriteLock(file, unrelated.Pid());
    // Just written: its program may be about to open the device.
    EXPECT_TRUE(serial::FindLiveLock({dir.Path()}, device, false).held);
    MakeOld(file);
    EXPECT_FALSE(serial::FindLiveLock({dir.Path()}, device, false).held);
    EXPECT_FALSE(serial::FindLiveLock({dir.Path()}, device, true).held);
    EXPECT_FALSE(Exists(file));
    // A process that holds the device holds its lock however old.
    ChildProcess user([&device] { ::open(device.c_str(), O_RDONLY); });
    WriteLock(file, user.Pid());
    MakeOld(file);
    const serial::LockHolder holder = serial::FindLiveLock({dir.Path()}, device, true);
    EXPECT_TRUE(holder.held);
    EXPECT_EQ(holder.pid, user.Pid());
    EXPECT_EQ(holder.path, file);
}

TEST(LockFiles, AStaleLockIsBrokenOnlyWhileItIsStillTheFileJudged) {
    TempDir dir;
    const std::string file = dir / "LCK..ttyUSB6";
    WriteLock(file, DeadPid());
    const serial::LockInspection stale = serial::InspectLockFile(file, "/dev/ttyUSB6");
    ASSERT_TRUE(stale.exists);
    ASSERT_FALSE(stale.holder.held);
    // Another program replaces it with its own lock before the break.
    ChildProcess other([] {});
    ASSERT_EQ(::unlink(file.c_str()), 0);
    WriteLock(file, other.Pid());
    EXPECT_EQ(serial::BreakStaleLock(file, stale), 0);
    EXPECT_EQ(serial::ParseLockPid(ReadFile(file)), other.Pid());
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"LCK..ttyUSB6"});
    // The file judged stale itself goes.
    const serial::LockInspection now = serial::InspectLockFile(file, "/dev/ttyUSB6");
    other.Stop();
    EXPECT_EQ(serial::BreakStaleLock(file, now), 0);
    EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(Entries(dir.Path()).empty());
}

TEST(UucpLock, CreatesTheLockFileInTheFirstWritableDirectoryAndRemovesIt) {
    TempDir dir;
    serial::UucpLock lock;
    ASSERT_TRUE(lock.Acquire({"/nonexistent-lock-dir", dir.Path()}, "/dev/ttyUSB1", nullptr));
    const std::string file = dir / "LCK..ttyUSB1";
    EXPECT_EQ(lock.Path(), file);
    const std::string text = ReadFile(file);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(text.substr(0, 11), expected);
    EXPECT_NE(text.find("serial_tests"), std::string::npos);  // the program, as QLockFile reads
    // Held: a second lock on the same device fails and names us.
    serial::UucpLock second;
    serial::LockHolder holder;
    EXPECT_FALSE(second.Acquire({dir.Path()}, "/dev/ttyUSB1", &holder));
    EXPECT_EQ(holder.pid, ::getpid());
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"LCK..ttyUSB1"});  // no temporary
    lock.Release();
    EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(second.Acquire({dir.Path()}, "/dev/ttyUSB1", nullptr));
}

TEST(UucpLock, RefusesALiveLockOfAnotherProcess) {
    TempDir dir;
    ChildProcess child([] {});
    WriteLock(dir / "LCK..ttyUSB3", child.Pid());
    serial::UucpLock lock;
    serial::LockHolder holder;
    EXPECT_FALSE(lock.Acquire({dir.Path()}, "/dev/ttyUSB3", &holder));
    EXPECT_EQ(holder.pid, child.Pid());
    EXPECT_EQ(lock.Path(), "");
    // The other program's file stays.
    EXPECT_EQ(serial::ParseLockPid(ReadFile(dir / "LCK..ttyUSB3")), child.Pid());
}

TEST(UucpLock, WhereNoLockFileCanBeMadeItRunsUnlockedAndSaysWhy) {
    serial::UucpLock lock;
    EXPECT_TRUE(lock.Acquire({"/nonexistent-lock-dir"}, "/dev/ttyUSB4", nullptr));
    EXPECT_EQ(lock.Path(), "");
    EXPECT_NE(lock.UnlockedReason().find("no lock folder is writable"), std::string::npos);

    // A symbolic link or a FIFO in the lock file's place is left as it is, whatever it leads to.
    TempDir dir;
    const std::string target = dir / "target";
    std::ofstream(target) << "keep";
    const std::string link = dir / "LCK..ttyUSB4";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_TRUE(lock.Acquire({dir.Path()}, "/dev/ttyUSB4", nullptr));
    EXPECT_EQ(lock.Path(), "");
    EXPECT_NE(lock.UnlockedReason().find(link + " is a symbolic link"), std::string::npos)
        << lock.UnlockedReason();
    EXPECT_EQ(ReadFile(target), "keep");
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"LCK..ttyUSB4", "target"}));

    const std::string fifo = dir / "LCK..ttyUSB7";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_TRUE(lock.Acquire({dir.Path()}, "/dev/ttyUSB7", nullptr));
    EXPECT_NE(lock.UnlockedReason().find(fifo + " is not a regular file"), std::string::npos)
        << lock.UnlockedReason();
    // With the way clear, the next one takes a real lock and the reason is gone.
    lock.Release();
    ASSERT_EQ(::unlink(fifo.c_str()), 0);
    EXPECT_TRUE(lock.Acquire({dir.Path()}, "/dev/ttyUSB7", nullptr));
    EXPECT_EQ(lock.Path(), fifo);
    EXPECT_EQ(lock.UnlockedReason(), "");
}

TEST(UucpLock, MovesAndReleasesOnDestruction) {
    TempDir dir;
    const std::string file = dir / "LCK..ttyUSB5";
    {
        serial::UucpLock lock;
        ASSERT_TRUE(lock.Acquire({dir.Path()}, "/dev/ttyUSB5", nullptr));
        serial::UucpLock moved(std::move(lock));
        EXPECT_EQ(lock.Path(), "");
        EXPECT_EQ(moved.Path(), file);
        EXPECT_TRUE(Exists(file));
    }
    EXPECT_FALSE(Exists(file));
}

TEST(HolderPid, FindsAProcessWithAnFlock) {
    TempDir dir;
    const std::string file = dir / "device";
    std::ofstream(file) << "";
    ChildProcess child([&file] {
        const int fd = ::open(file.c_str(), O_RDONLY);
        ::flock(fd, LOCK_EX);
    });
    EXPECT_EQ(serial::FindHolderPid(file), child.Pid());
}

// Other processes with the node open come first, this process last.
TEST(HolderPid, FindsAProcessWithTheNodeOpenAndThisProcessLast) {
    TempDir dir;
    const std::string file = dir / "device";
    std::ofstream(file) << "";
    ChildProcess child([&file] { ::open(file.c_str(), O_RDONLY); });
    EXPECT_EQ(serial::FindHolderPid(file), child.Pid());
    const int fd = ::open(file.c_str(), O_RDONLY);
    EXPECT_EQ(serial::FindHolderPid(file), child.Pid());
    child.Stop();
    EXPECT_EQ(serial::FindHolderPid(file), ::getpid());
    ::close(fd);
    EXPECT_EQ(serial::FindHolderPid(file), 0);
    EXPECT_EQ(serial::FindHolderPid(dir / "missing"), 0);
}

TEST(HolderPid, TheProgramAtAPseudoTerminalsMasterIsNotAUserOfItsSlave) {
    PseudoTerminal pty;
    const std::string slave = pty.Slave();
    ASSERT_FALSE(slave.empty());
    const int slaveFd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slaveFd, 0);
    // The child inherits both ends and keeps the slave open, as a simulated radio does.
    ChildProcess other([] {});
    ::close(slaveFd);
    pty.Close();
    EXPECT_EQ(serial::FindHolderPid(slave), 0);
    // A process with only the slave open is a user of the line.
    ChildProcess user([&slave] { ::open(slave.c_str(), O_RDWR | O_NOCTTY); });
    EXPECT_EQ(serial::FindHolderPid(slave), user.Pid());
}

TEST(HolderPid, NamesTheProgram) {
    EXPECT_EQ(serial::ProcessName(::getpid()), "serial_tests");
    EXPECT_EQ(serial::ProcessName(DeadPid()), "");
}

}  // namespace
