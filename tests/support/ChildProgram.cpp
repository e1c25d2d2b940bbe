#include "ChildProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <sstream>
#include <utility>

namespace testsupport {

namespace {

[[noreturn]] void Exec(const std::vector<std::string>& argv, const RunOptions& options, int out,
                       int err) {
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    int gone[2];
    if (options.stdoutGone && ::pipe(gone) == 0) {
        ::close(gone[0]);
        ::dup2(gone[1], 1);
    }
    ::setsid();
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0)
        ::_exit(126);
    if (options.fileSizeLimit >= 0) {
        if (!options.fileSizeSignal)
            ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec: writes fail with EFBIG
        const auto bytes = static_cast<rlim_t>(options.fileSizeLimit);
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
}

}  // namespace

ChildProgram::ChildProgram(const std::vector<std::string>& argv, RunOptions options)
    : options_(std::move(options)) {
    int out[2], err[2] = {-1, -1};
    if (argv.empty() || ::pipe2(out, O_CLOEXEC) != 0)
        return;
    if (options_.separateErr && ::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0)
        Exec(argv, options_, out[1], options_.separateErr ? err[1] : out[1]);
    ::close(out[1]);
    out_ = out[0];
    if (options_.separateErr) {
        ::close(err[1]);
        err_ = err[0];
    }
}

ChildProgram::~ChildProgram() {
    if (pid_ > 0)
        Stop(SIGKILL);
}

void ChildProgram::Take(int stream, const char* data, std::size_t n) {
    if (stream == err_) {
        result_.err.append(data, n);
        return;
    }
    result_.out.append(data, n);
    if (!options_.onLine)
        return;
    partial_.append(data, n);
    for (std::size_t end; (end = partial_.find('\n')) != std::string::npos;) {
        const std::string line = partial_.substr(0, end + 1);
        partial_.erase(0, end + 1);
        if (!interrupted_ && options_.onLine(line))
            Act();
    }
}

void ChildProgram::Act() {
    if (interrupted_)
        return;
    interrupted_ = true;
    if (!options_.closeOutput) {
        ::kill(pid_, options_.lineSignal);
        return;
    }
    if (out_ >= 0)
        ::close(out_);
    out_ = -1;
}

std::string ChildProgram::NextLine() {
    std::size_t end;
    while ((end = partial_.find('\n')) == std::string::npos && out_ >= 0) {
        char chunk[512];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0) {
            ::close(out_);
            out_ = -1;
            break;
        }
        result_.out.append(chunk, static_cast<std::size_t>(n));
        partial_.append(chunk, static_cast<std::size_t>(n));
    }
    const std::string line =
        end == std::string::npos ? std::exchange(partial_, {}) : partial_.substr(0, end + 1);
    partial_.erase(0, line.size());
    return line;
}

RunResult ChildProgram::Finish() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    bool late = false;
    while ((out_ >= 0 || err_ >= 0) && !late) {
        const int event = options_.onEvent ? options_.eventFd : -1;
        pollfd fds[3] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}, {event, POLLIN, 0}};
        if (::poll(fds, 3, 1000) < 0 && errno != EINTR)
            break;
        if (fds[2].revents != 0 && options_.onEvent() && !interrupted_)
            Act();
        for (int i = 0; i < 2; ++i) {
            pollfd& f = fds[i];
            // An act may have closed standard output since the poll.
            if (f.fd < 0 || f.revents == 0 || (f.fd != out_ && f.fd != err_))
                continue;
            char chunk[4096];
            const ssize_t n = ::read(f.fd, chunk, sizeof chunk);
            if (n > 0) {
                Take(f.fd, chunk, static_cast<std::size_t>(n));
                continue;
            }
            ::close(f.fd);
            (f.fd == out_ ? out_ : err_) = -1;
        }
        late = std::chrono::steady_clock::now() > deadline;
    }
    if (late)
        ::kill(pid_, SIGKILL);
    result_.status = Reap();
    return result_;
}

int ChildProgram::Stop(int signal) {
    if (pid_ > 0)
        ::kill(pid_, signal);
    return Reap();
}

int ChildProgram::Reap() {
    for (int* fd : {&out_, &err_})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    if (pid_ <= 0)
        return -1;
    int raw = 0;
    while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
    return ChildProgram(argv, options).Finish();
}

RunResult RunProgram(const std::string& program, const std::string& args,
                     const RunOptions& options) {
    std::vector<std::string> argv{program};
    std::istringstream in(args);
    for (std::string word; in >> word;)
        argv.push_back(word);
    return RunProgram(argv, options);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace testsupport
