#include "app/demo/DemoChild.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace demo {

namespace {

// In the child between fork and exec: only async-signal-safe calls. A failure is reported to
// the parent as its errno through the close-on-exec pipe.
[[noreturn]] void ExecChild(const ChildSpec& child, char* const* argv, pid_t parent, int report) {
    auto fail = [report] {
        const int cause = errno;
        [[maybe_unused]] const ssize_t n = ::write(report, &cause, sizeof cause);
        ::_exit(127);
    };
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The parent may have gone between fork and prctl.
    if (::getppid() != parent)
        ::_exit(127);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGPIPE})
        ::sigaction(signal, &action, nullptr);
    action.sa_handler = SIG_IGN;
    ::sigaction(SIGTTOU, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    const int null = ::open("/dev/null", O_RDONLY);
    if (null < 0 || ::dup2(null, STDIN_FILENO) < 0)
        fail();
    if (null != STDIN_FILENO)
        ::close(null);
    if (child.stdoutFd >= 0 && ::dup2(child.stdoutFd, STDOUT_FILENO) < 0)
        fail();
    if (child.stderrFd >= 0 && ::dup2(child.stderrFd, STDERR_FILENO) < 0)
        fail();
    if (!child.cwd.empty() && ::chdir(child.cwd.c_str()) != 0)
        fail();
    ::execv(argv[0], argv);
    fail();
    ::_exit(127);
}

}  // namespace

pid_t StartChild(const ChildSpec& child, std::string& error) {
    if (child.argv.empty()) {
        error = "no program to start";
        return -1;
    }
    std::vector<char*> argv;
    for (const std::string& a : child.argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("cannot start ") + child.argv[0] + ": " + std::strerror(errno);
        return -1;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        ExecChild(child, argv.data(), parent, report[1]);
    }
    const int forkError = errno;
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        error = std::string("cannot start ") + child.argv[0] + ": " + std::strerror(forkError);
        return -1;
    }
    // Also set here, so that the group exists before the parent signals it.
    ::setpgid(pid, pid);
    int cause = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &cause, sizeof cause);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof cause)) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        error = std::string("cannot start ") + child.argv[0] + ": " + std::strerror(cause);
        return -1;
    }
    return pid;
}

}  // namespace demo
