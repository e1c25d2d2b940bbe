#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

// A pseudo-terminal standing in for a serial line: the test holds the master side (raw, so
// bytes pass unchanged both ways, and non-blocking), the code under test opens Slave() as its
// port. On Linux the master reports the slave's line settings, so the test sees what the port
// configured. The master is closed on destruction or by Close() (a hang-up for the slave).
class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        slave_ = ::ptsname(master_);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        termios t{};
        ::tcgetattr(master_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
    }
    ~PseudoTerminal() { Close(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int Master() const { return master_; }
    // Empty when no pseudo-terminal could be made.
    const std::string& Slave() const { return slave_; }
    void Close() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    termios SlaveSettings() const {
        termios t{};
        ::tcgetattr(master_, &t);
        return t;
    }
    [[nodiscard]] bool Send(const std::string& bytes) const {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Up to want bytes: what arrives until none has come for timeoutMs.
    std::string Receive(size_t want, int timeoutMs = 30000) const {
        std::string got;
        char buffer[4096];
        while (got.size() < want) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                break;
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

  private:
    int master_ = -1;
    std::string slave_;
};
