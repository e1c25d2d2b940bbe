#pragma once

// A minimal direct device over a terminal file descriptor, standing in for the program's
// serial device in integration tests of the link against the simulated radio.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "link/DeviceFactory.h"
#include "serial/ZKWCommDevice.h"

namespace simtest {

inline speed_t SpeedOfIndex(int index) {
    switch (index) {
        case 12:
            return B9600;
        case 15:
            return B38400;
        case 17:
            return B57600;
        case 19:
            return B115200;
        default:
            return B19200;
    }
}

class PtyTestDevice : public ZKWCommDevice {
  public:
    ~PtyTestDevice() override {
        if (fd >= 0)
            ::close(fd);
    }
    int Open() override {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 ? 1 : -1;
    }
    int Close() override {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        return 1;
    }
    bool IsOpen() override { return fd >= 0; }
    bool HasData() override {
        int n = 0;
        return fd >= 0 && ::ioctl(fd, FIONREAD, &n) == 0 && n > 0;
    }
    int ReadByte(char& out) override { return Read(&out, 1); }
    int Read(void* buffer, int count) override {
        ssize_t n = ::read(fd, buffer, static_cast<size_t>(count));
        return n >= 0 ? static_cast<int>(n) : (errno == EAGAIN ? 0 : -1);
    }
    int Write(const void* buffer, int count) override {
        ssize_t n = ::write(fd, buffer, static_cast<size_t>(count));
        return n >= 0 ? static_cast<int>(n) : -1;
    }
    int SetBaud(int index) {
        termios t{};
        if (::tcgetattr(fd, &t) != 0)
            return -1;
        ::cfsetispeed(&t, SpeedOfIndex(index));
        ::cfsetospeed(&t, SpeedOfIndex(index));
        return ::tcsetattr(fd, TCSADRAIN, &t) == 0 ? 1 : -1;
    }

    std::string path;
    int fd = -1;
};

class PtyTestDeviceFactory : public LinkDeviceFactory {
  public:
    explicit PtyTestDeviceFactory(std::function<std::string(int)> resolve)
        : resolve_(std::move(resolve)) {}
    std::unique_ptr<ZKWCommDevice> Create() override { return std::make_unique<PtyTestDevice>(); }
    bool OpenPort(ZKWCommDevice& d, int portNumber, int baudIndex, bool) override {
        auto& dev = static_cast<PtyTestDevice&>(d);
        dev.path = resolve_(portNumber);
        if (dev.Open() != 1)
            return false;
        termios t{};
        ::tcgetattr(dev.fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(dev.fd, TCSANOW, &t);
        dev.SetBaud(baudIndex);
        ::tcflush(dev.fd, TCIOFLUSH);
        return true;
    }
    int SetBaud(ZKWCommDevice& d, int baudIndex) override {
        return static_cast<PtyTestDevice&>(d).SetBaud(baudIndex);
    }
    int Descriptor(ZKWCommDevice& d) override { return static_cast<PtyTestDevice&>(d).fd; }

  private:
    std::function<std::string(int)> resolve_;
};

}  // namespace simtest
