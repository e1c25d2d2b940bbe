#pragma once

#include <signal.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct RunOptions {
    RunOptions() = default;
    RunOptions(std::string folder) : cwd(std::move(folder)) {}  // implicit: {folder} runs there

    std::string cwd;          // working folder; empty: the test's own
    long fileSizeLimit = -1;  // bytes any file of the child may grow to (a full disk)
    // With fileSizeLimit: leave SIGXFSZ as a shell's ulimit -f does (the child is killed at the
    // limit unless it ignores the signal itself).
    bool fileSizeSignal = false;
    bool separateErr = false;  // standard error to RunResult::err instead of out
    // Called with each line of standard output as it arrives (with its '\n'); returning true
    // sends the child lineSignal, once.
    std::function<bool(const std::string&)> onLine;
    int lineSignal = SIGINT;
    // Instead of sending lineSignal, stop reading standard output: its reader goes away at
    // that moment, as `program | head` does.
    bool closeOutput = false;
    // Another descriptor watched while the child runs (a simulated radio's change descriptor):
    // onEvent is called whenever it turns readable and acts like onLine.
    int eventFd = -1;
    std::function<bool()> onEvent;
    // Standard output is a pipe whose reader has gone; standard error is still read.
    bool stdoutGone = false;
};

struct RunResult {
    int status = -1;  // exit status; -1 when killed by a signal or never started
    std::string out;
    std::string err;
};

// A program started by path with argv, standard input from /dev/null, in a session of its
// own (no controlling terminal: nothing is asked on one). Killed and reaped on destruction.
class ChildProgram {
  public:
    explicit ChildProgram(const std::vector<std::string>& argv, RunOptions options = {});
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    pid_t Pid() const { return pid_; }
    // The next whole line of standard output, with its '\n'; empty at its end.
    std::string NextLine();
    // Reads both streams to their end and reaps the child. A child still running after two
    // minutes (a program that wrongly starts serving) is killed and its status is -1.
    RunResult Finish();
    // Sends signal, reaps the child and returns its exit status (-1 when the signal ended it).
    int Stop(int signal);

  private:
    void Take(int stream, const char* data, std::size_t n);
    // The act onLine or onEvent asked for, once.
    void Act();
    int Reap();

    RunOptions options_;
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    RunResult result_;
    std::string partial_;  // read past the last whole line handed out
    bool interrupted_ = false;
};

// Runs the program to its end.
RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});
// The same, with args split at blanks.
RunResult RunProgram(const std::string& program, const std::string& args,
                     const RunOptions& options = {});

std::vector<std::string> Lines(const std::string& text);

}  // namespace testsupport
