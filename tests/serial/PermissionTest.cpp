// A real permission refusal: a child process takes another user's identity and opens a
// pseudo-terminal that only root and the dialout group may use. Needs root to switch users.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "PseudoTerminal.h"
#include "serial/OpenFailure.h"
#include "serial/PosixSerialOs.h"

namespace {

// Runs body in a child process as user, and returns what the child wrote to out.
std::string RunAs(const passwd& user, void (*body)(int out, const std::string&),
                  const std::string& arg) {
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const gid_t gid = user.pw_gid;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
            ::setresuid(user.pw_uid, user.pw_uid, user.pw_uid) != 0) {
            ::_exit(2);
        }
        body(fds[1], arg);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return text;
}

void OpenAndCheck(int out, const std::string& device) {
    serial::PosixSerialOs os;
    serial::OpenFailure failure;
    const bool opened = os.Open(device, &failure) != serial::kInvalidHandle;
    std::string text = opened ? std::string("opened") : serial::DescribeOpenFailure(failure);
    text += "\n" + serial::DescribeOpenFailure(os.Check(device));
    if (::write(out, text.data(), text.size()) < 0)
        ::_exit(3);
}

TEST(RealPermission, AnotherUserHearsWhyAndHowToFixIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "switching users needs root";
    const passwd* nobody = ::getpwnam("nobody");
    const group* dialout = ::getgrnam("dialout");
    if (nobody == nullptr || dialout == nullptr)
        GTEST_SKIP() << "no nobody user or dialout group";
    const passwd user = *nobody;
    const gid_t dialoutGid = dialout->gr_gid;

    PseudoTerminal pty;
    const std::string slave = pty.Slave();
    ASSERT_FALSE(slave.empty());
    ASSERT_EQ(::chown(slave.c_str(), 0, dialoutGid), 0);
    ASSERT_EQ(::chmod(slave.c_str(), 0660), 0);

    const std::string expected = "permission denied: " + slave +
                                 " is root:dialout 0660 and you are not in the dialout group "
                                 "(sudo usermod -aG dialout $USER, then log in again)";
    EXPECT_EQ(RunAs(user, OpenAndCheck, slave), expected + "\n" + expected);
}

}  // namespace
