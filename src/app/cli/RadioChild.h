#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// One radio's update run by a child process (quenta update --json on one port), followed
// through pipes: its JSON lines on stdout, its own lines on stderr, answers on stdin. The
// child runs in a process group of its own, so that a Ctrl-C on the terminal reaches only the
// parent, which stops each child once; it works in a folder of its own.
class RadioChild {
  public:
    RadioChild() = default;
    ~RadioChild();
    RadioChild(const RadioChild&) = delete;
    RadioChild& operator=(const RadioChild&) = delete;

    // Runs program with args in folder, with passwordFd as its descriptor 3 (-1: none). False
    // with error set when it could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& folder, int passwordFd, std::string& error);

    // The descriptors to wait on (-1 once closed).
    int OutFd() const { return out_.fd; }
    int ErrFd() const { return err_.fd; }
    // Reads what fd holds and hands over each whole line; closes fd at its end.
    void ReadOut(const std::function<void(const std::string&)>& onLine) { Read(out_, onLine); }
    void ReadErr(const std::function<void(const std::string&)>& onLine) { Read(err_, onLine); }
    // Both outputs have ended: the child is exiting.
    bool OutputsEnded() const { return out_.fd < 0 && err_.fd < 0; }

    // A line on the child's stdin: the answer to the question it waits on.
    void Answer(const std::string& line);
    void Signal(int signal);
    // Waits for the child's end: its exit status, 1 when a signal ended it.
    int Wait();
    bool Running() const { return pid_ > 0; }

  private:
    struct Stream {
        int fd = -1;
        std::string pending;  // a line not yet ended
    };
    void Read(Stream& stream, const std::function<void(const std::string&)>& onLine);

    pid_t pid_ = -1;
    int in_ = -1;
    Stream out_;
    Stream err_;
};
