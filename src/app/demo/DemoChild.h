#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace demo {

struct ChildSpec {
    std::vector<std::string> argv;  // argv[0] is the program's path
    std::string cwd;                // empty: the demo's own
    int stdoutFd = -1;              // -1: the demo's own standard output
    int stderrFd = -1;              // -1: the demo's own standard error
};

// Starts a program of the demo: standard input from /dev/null, in a process group of its own,
// so that a signal meant for the demo (Ctrl-C reaches the terminal's whole foreground group,
// a closed terminal's SIGHUP comes from the kernel and from the shell) reaches it only as the
// demo passes it on, once. It starts with the default signal mask and actions, SIGTTOU ignored
// (it may write to the terminal from outside the foreground group even under "stty tostop"),
// and receives SIGTERM should the demo die before it. Returns its PID, or -1 with the reason
// in error (exec failures included).
pid_t StartChild(const ChildSpec& child, std::string& error);

}  // namespace demo
