#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

// Ctrl-C (SIGINT), SIGTERM, a closed terminal (SIGHUP) and Ctrl-\ (SIGQUIT, which would
// otherwise leave the terminal without echo at the password prompt) as an event of the Qt loop: the
// handler writes a byte to a pipe (the only thing a signal handler may safely do) and a socket
// notifier on the pipe's other end calls onStop from the loop, inside whatever wait is running.
// After the first signal the default action is restored, so a second Ctrl-C ends the program at
// once.
class StopSignal {
  public:
    explicit StopSignal(std::function<void()> onStop);
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool Raised() const { return raised_; }

  private:
    std::function<void()> onStop_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool raised_ = false;
};
