#include "app/demo/Demo.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/demo/DemoChild.h"
#include "app/demo/DemoFolder.h"
#include "serial/PortLock.h"
#include "serial/PosixSerialOs.h"

namespace demo {

namespace {

// How long the simulated radio may take to open its line, and to write its report and go once
// told to stop, before it is given up on.
constexpr int kRadioStartMs = 10000;
constexpr int kRadioStopMs = 5000;

// The exit statuses the demo gives itself (the update's own pass through).
constexpr int kFailed = 1;
constexpr int kStopped = 3;

bool IsStopSignal(int signal) {
    return signal == SIGINT || signal == SIGTERM || signal == SIGHUP || signal == SIGQUIT;
}

// The signals the demo acts on, blocked and read from a descriptor that poll watches beside the
// children's output; the mask and SIGPIPE's action are put back when the object goes.
class SignalFeed {
  public:
    SignalFeed() {
        sigemptyset(&set_);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
            sigaddset(&set_, signal);
        ::sigprocmask(SIG_BLOCK, &set_, &old_);
        fd_ = ::signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK);
        // A reader of the demo's output that has gone must not end it before it cleans up.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGPIPE, &ignore, &oldPipe_);
    }
    ~SignalFeed() {
        if (fd_ >= 0)
            ::close(fd_);
        ::sigaction(SIGPIPE, &oldPipe_, nullptr);
        ::sigprocmask(SIG_SETMASK, &old_, nullptr);
    }
    SignalFeed(const SignalFeed&) = delete;
    SignalFeed& operator=(const SignalFeed&) = delete;

    bool Ok() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // The next pending signal, 0 when none is.
    int Next() {
        signalfd_siginfo info{};
        const ssize_t n = ::read(fd_, &info, sizeof info);
        return n == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
    }

  private:
    sigset_t set_{};
    sigset_t old_{};
    struct sigaction oldPipe_ {};
    int fd_ = -1;
};

struct Child {
    pid_t pid = -1;
    bool ended = false;
    int status = 0;

    // Reaps the child if it has ended; true once it has.
    bool Reap() {
        if (pid > 0 && !ended && ::waitpid(pid, &status, WNOHANG) == pid)
            ended = true;
        return ended;
    }
    int ExitStatus() const {
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

// A pipe whose ends are closed with the object.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() {
        if (::pipe2(fds, O_CLOEXEC) != 0)
            fds[0] = fds[1] = -1;
    }
    ~Pipe() {
        CloseWrite();
        CloseRead();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void CloseWrite() {
        if (fds[1] >= 0)
            ::close(fds[1]);
        fds[1] = -1;
    }
    void CloseRead() {
        if (fds[0] >= 0)
            ::close(fds[0]);
        fds[0] = -1;
    }
};

// Splits a stream of bytes into whole lines.
class LineBuffer {
  public:
    void Add(const char* data, std::size_t n) { partial_.append(data, n); }
    bool NextLine(std::string& line) {
        const std::size_t end = partial_.find('\n');
        if (end == std::string::npos)
            return false;
        line = partial_.substr(0, end);
        partial_.erase(0, end + 1);
        return true;
    }

  private:
    std::string partial_;
};

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

class DemoRun {
  public:
    DemoRun(const DemoPlan& plan, std::ostream& out, std::ostream& err)
        : plan_(plan), out_(out), err_(err) {}

    int Run() {
        if (!signals_.Ok()) {
            Say(std::string("cannot watch for signals: ") + std::strerror(errno));
            return kFailed;
        }
        std::string error;
        if (!folder_.Create(error) ||
            !WritePrivateFile(folder_ / "radio.json", plan_.radioDescription, error) ||
            !WritePrivateFile(folder_ / "password", std::string(kDemoPassword) + "\n", error)) {
            Say(error);
            return kFailed;
        }
        int status = kFailed;
        if (StartRadio())
            status = RunUpdate();
        else if (stopped_)
            status = kStopped;
        StopRadio();
        return status;
    }

  private:
    void Say(const std::string& line) { err_ << "quenta demo: " << line << std::endl; }

    std::string ComName() const { return "COM" + std::to_string(kDemoCom); }

    // Starts the simulated radio and waits for its "COMn DEVICE" line. False when it failed
    // (said) or a stop signal came first (stopped_).
    bool StartRadio() {
        Pipe output;
        const std::string errPath = folder_ / "radio.err";
        const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ChildSpec child;
        child.argv = {
            plan_.radiosimProgram,        "--port-dir", folder_ / "ports",      "--com",
            std::to_string(kDemoCom),     "--scenario", folder_ / "radio.json", "--report",
            folder_ / "radio-report.json"};
        if (plan_.paced)
            child.argv.push_back("--line-rate");
        child.stdoutFd = output.fds[1];
        child.stderrFd = errFd;
        std::string error;
        if (output.fds[0] < 0 || errFd < 0) {
            Say("cannot start the simulated radio: " + std::string(std::strerror(errno)));
            if (errFd >= 0)
                ::close(errFd);
            return false;
        }
        radio_.pid = StartChild(child, error);
        ::close(errFd);
        output.CloseWrite();
        if (radio_.pid < 0) {
            Say(error);
            return false;
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kRadioStartMs);
        LineBuffer lines;
        bool open = true;
        while (open) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            pollfd fds[2] = {{signals_.Fd(), POLLIN, 0}, {output.fds[0], POLLIN, 0}};
            if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
                break;
            if (fds[0].revents != 0) {
                for (int signal = signals_.Next(); signal != 0; signal = signals_.Next()) {
                    if (IsStopSignal(signal)) {
                        stopped_ = true;
                        return false;
                    }
                }
            }
            if (fds[1].revents == 0)
                continue;
            char buffer[512];
            const ssize_t n = ::read(output.fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                open = n < 0 && errno == EINTR;
                continue;
            }
            lines.Add(buffer, static_cast<std::size_t>(n));
            std::string line;
            while (lines.NextLine(line)) {
                if (line.rfind(ComName() + " ", 0) == 0) {
                    device_ = line.substr(ComName().size() + 1);
                    return true;
                }
            }
        }
        const std::string why = FileText(errPath);
        Say("the simulated radio did not start" + (why.empty() ? std::string() : ": " + why));
        return false;
    }

    // Runs the update to its end, passing stop signals on; its exit status.
    int RunUpdate() {
        out_ << "Simulated radio: " << ComName() << " (" << device_ << "), "
             << (plan_.paced ? "paced at the line's rate" : "not paced") << ", described by "
             << plan_.radioSource << "\n";
        ChildSpec child;
        child.cwd = folder_ / "run";
        Pipe windowOutput;
        if (plan_.window) {
            child.argv = {plan_.windowProgram, "--port-dir", folder_ / "ports", "--port",
                          ComName()};
            child.stdoutFd = windowOutput.fds[1];
            out_ << "The window opens with COM " << kDemoCom
                 << " selected: press Start, type the password \"" << kDemoPassword
                 << "\", and close the window once the status reads \"Done.\".\n";
        } else {
            child.argv = {plan_.quentaProgram,
                          "update",
                          "--port",
                          ComName(),
                          "--port-dir",
                          folder_ / "ports",
                          "--password-file",
                          folder_ / "password",
                          "--yes"};
            out_ << "Updating it with quenta update (the password from a file):\n";
        }
        out_.flush();
        std::string error;
        update_.pid = StartChild(child, error);
        windowOutput.CloseWrite();
        if (update_.pid < 0) {
            Say(error);
            return kFailed;
        }
        int passedOn = 0;
        LineBuffer lines;
        std::string lastStatus;
        bool reading = plan_.window;
        while (!update_.ended || reading) {
            pollfd fds[2] = {{signals_.Fd(), POLLIN, 0}, {windowOutput.fds[0], POLLIN, 0}};
            const nfds_t count = reading ? 2 : 1;
            if (::poll(fds, count, -1) < 0 && errno != EINTR)
                break;
            if (fds[0].revents != 0) {
                for (int signal = signals_.Next(); signal != 0; signal = signals_.Next()) {
                    if (!IsStopSignal(signal) || update_.ended)
                        continue;
                    stopped_ = true;
                    // The first stop signal of any kind; after it only the user's own keys
                    // again, not a second SIGTERM or SIGHUP of the same ending.
                    if (passedOn == 0 || signal == SIGINT || signal == SIGQUIT) {
                        ::kill(-update_.pid, signal);
                        ++passedOn;
                    }
                }
                update_.Reap();
                radio_.Reap();
            }
            if (reading && fds[1].revents != 0) {
                char buffer[4096];
                const ssize_t n = ::read(windowOutput.fds[0], buffer, sizeof buffer);
                if (n > 0) {
                    out_.write(buffer, n);
                    out_.flush();
                    lines.Add(buffer, static_cast<std::size_t>(n));
                    std::string line;
                    while (lines.NextLine(line)) {
                        if (line.rfind("Last status: ", 0) == 0)
                            lastStatus = line.substr(13);
                    }
                } else if (n == 0 || errno != EINTR) {
                    reading = false;
                }
            }
        }
        if (WIFSIGNALED(update_.status)) {
            // An update ended by force had no time to take its lock file away.
            serial::FindLiveLock(serial::PosixSerialOs::DefaultLockDirectories(), device_, true);
        }
        if (!plan_.window || WIFSIGNALED(update_.status) || update_.ExitStatus() != 0)
            return update_.ExitStatus();
        if (lastStatus == "Done.")
            return 0;
        return stopped_ ? kStopped : kFailed;
    }

    // Tells the radio to stop and waits for it to go (it writes its report first).
    void StopRadio() {
        if (radio_.pid < 0 || radio_.Reap())
            return;
        ::kill(radio_.pid, SIGTERM);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kRadioStopMs);
        while (!radio_.Reap()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                ::kill(radio_.pid, SIGKILL);
                while (::waitpid(radio_.pid, &radio_.status, 0) < 0 && errno == EINTR) {
                }
                radio_.ended = true;
                return;
            }
            pollfd fd = {signals_.Fd(), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left));
            while (signals_.Next() != 0) {
            }
        }
    }

    const DemoPlan& plan_;
    std::ostream& out_;
    std::ostream& err_;
    SignalFeed signals_;
    DemoFolder folder_;  // removed after the children have gone (declared after signals_)
    Child radio_;
    Child update_;
    std::string device_;
    bool stopped_ = false;
};

}  // namespace

int RunDemo(const DemoPlan& plan, std::ostream& out, std::ostream& err) {
    DemoRun run(plan, out, err);
    return run.Run();
}

}  // namespace demo
