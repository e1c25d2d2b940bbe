#pragma once

#include <cstddef>
#include <string>

class QEventLoop;

// An answer typed to a question longer than this is no answer.
inline constexpr std::size_t kMaxAnswerBytes = 64;

// Reads a line that answers a question while Qt's event loop runs, so that the update's timers
// and the stop signals stay live while the question waits; Interrupt (Ctrl-C) ends the wait.
class AnswerReader {
  public:
    // One line from fd, a byte at a time so that nothing after the line's end is taken from a
    // descriptor that is read again later; its first kMaxAnswerBytes bytes are kept in line.
    // True when the line ended with a newline; false at the end of input, on an error of the
    // descriptor, or when the wait was interrupted (then also before it began).
    bool ReadLine(int fd, std::string& line);
    // Ends the wait now and every wait after it.
    void Interrupt();
    bool Interrupted() const { return interrupted_; }

  private:
    QEventLoop* loop_ = nullptr;
    bool interrupted_ = false;
};
