#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

// A forked child that runs a function, tells the parent it is ready through a pipe, and then
// waits until it is stopped; killed and reaped on destruction.
class ChildProcess {
  public:
    explicit ChildProcess(const std::function<void()>& setUp) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            setUp();
            char ready = 1;
            if (::write(fds[1], &ready, 1) != 1)
                ::_exit(1);
            for (;;)
                ::pause();
        }
        ::close(fds[1]);
        char ready = 0;
        if (pid < 0 || ::read(fds[0], &ready, 1) != 1)
            Stop();
        ::close(fds[0]);
    }
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid; }
    void Stop() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }

  private:
    pid_t pid = -1;
};

// The PID of a process that has ended and been reaped: nobody runs under it (until the
// system hands it out again, which does not happen within a test).
inline pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}
