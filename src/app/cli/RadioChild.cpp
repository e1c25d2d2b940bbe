#include "RadioChild.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// A line longer than this is no event of ours: it is dropped rather than kept growing.
constexpr std::size_t kMaxLineBytes = 64 * 1024;
constexpr int kPasswordDescriptor = 3;

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

RadioChild::~RadioChild() {
    CloseFd(in_);
    CloseFd(out_.fd);
    CloseFd(err_.fd);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        Wait();
    }
}

bool RadioChild::Start(const std::string& program, const std::vector<std::string>& args,
                       const std::string& folder, int passwordFd, std::string& error) {
    // Every end the parent keeps is closed on exec, so that no child holds another's pipe
    // open and each output ends when its own child does.
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (passwordFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, passwordFd, kPasswordDescriptor);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaddset(&defaults, s);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int spawned =
        ::posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_.fd = out[0];
    err_.fd = err[0];
    if (spawned != 0) {
        pid_ = -1;
        error = "cannot run " + program + ": " + std::strerror(spawned);
        CloseFd(in_);
        CloseFd(out_.fd);
        CloseFd(err_.fd);
        return false;
    }
    return true;
}

void RadioChild::Read(Stream& stream, const std::function<void(const std::string&)>& onLine) {
    char buffer[4096];
    ssize_t n;
    do {
        n = ::read(stream.fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        if (!stream.pending.empty())
            onLine(stream.pending);
        stream.pending.clear();
        CloseFd(stream.fd);
        return;
    }
    stream.pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t begin = 0;
    for (std::size_t end; (end = stream.pending.find('\n', begin)) != std::string::npos;
         begin = end + 1)
        onLine(stream.pending.substr(begin, end - begin));
    stream.pending.erase(0, begin);
    if (stream.pending.size() > kMaxLineBytes)
        stream.pending.clear();
}

void RadioChild::Answer(const std::string& line) {
    const std::string text = line + "\n";
    if (in_ >= 0 && ::write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        CloseFd(in_);
}

void RadioChild::Signal(int signal) {
    if (pid_ > 0)
        ::kill(pid_, signal);
}

int RadioChild::Wait() {
    if (pid_ <= 0)
        return 1;
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(pid_, &status, 0);
    } while (done < 0 && errno == EINTR);
    pid_ = -1;
    CloseFd(in_);
    return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
