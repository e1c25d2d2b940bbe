// Only kernel headers for the terminal types here; see LinuxTty.h.
#include "serial/LinuxTty.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace serial::linux_tty {

namespace {

struct RateCode {
    uint32_t rate;
    unsigned code;
};

constexpr RateCode kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

unsigned CodeOfRate(uint32_t rate) {
    for (const RateCode& r : kStandardRates) {
        if (r.rate == rate)
            return r.code;
    }
    return BOTHER;
}

uint32_t RateOf(const termios2& t) {
    const unsigned code = t.c_cflag & CBAUD;
    if (code == BOTHER)
        return t.c_ospeed;
    for (const RateCode& r : kStandardRates) {
        if (r.code == code)
            return r.rate;
    }
    return 0;
}

bool Get(int fd, termios2& t) {
    return ::ioctl(fd, TCGETS2, &t) == 0;
}

}  // namespace

bool ReadLineSettings(int fd, LineSettings& out) {
    termios2 t{};
    if (!Get(fd, t))
        return false;
    out.baudRate = RateOf(t);
    switch (t.c_cflag & CSIZE) {
        case CS5:
            out.byteSize = 5;
            break;
        case CS6:
            out.byteSize = 6;
            break;
        case CS7:
            out.byteSize = 7;
            break;
        default:
            out.byteSize = 8;
            break;
    }
    if (!(t.c_cflag & PARENB)) {
        out.parity = kNoParity;
    } else if (t.c_cflag & CMSPAR) {
        out.parity = (t.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
    } else {
        out.parity = (t.c_cflag & PARODD) ? kOddParity : kEvenParity;
    }
    if (!(t.c_cflag & CSTOPB)) {
        out.stopBits = kOneStopBit;
    } else {
        out.stopBits = out.byteSize == 5 ? kOne5StopBits : kTwoStopBits;
    }
    out.binary = true;
    out.parityCheck = (t.c_iflag & INPCK) != 0;
    out.outxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
    out.outX = (t.c_iflag & IXON) != 0;
    out.inX = (t.c_iflag & IXOFF) != 0;
    if (t.c_cflag & CRTSCTS) {
        out.rtsControl = kRtsControlHandshake;
    } else {
        int lines = 0;
        const int saved = errno;
        out.rtsControl = (::ioctl(fd, TIOCMGET, &lines) != 0 || (lines & TIOCM_RTS))
                             ? kRtsControlEnable
                             : kRtsControlDisable;
        errno = saved;
    }
    return true;
}

bool WriteLineSettings(int fd, const LineSettings& s) {
    const bool badFormat = s.byteSize < 5 || s.byteSize > 8 || s.parity > kSpaceParity ||
                           s.stopBits > kTwoStopBits ||
                           (s.byteSize == 5 && s.stopBits == kTwoStopBits) ||
                           (s.byteSize != 5 && s.stopBits == kOne5StopBits) || s.baudRate == 0;
    if (badFormat) {
        errno = EINVAL;
        return false;
    }
    termios2 t{};
    if (!Get(fd, t))
        return false;

    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | IUCLC | IMAXBEL | INPCK | IGNPAR);
    if (s.outX)
        t.c_iflag |= IXON;
    if (s.inX)
        t.c_iflag |= IXOFF;
    if (s.parityCheck && s.parity != kNoParity)
        t.c_iflag |= INPCK;
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);

    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS |
                                        CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CREAD | CLOCAL;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[s.byteSize - 5];
    switch (s.parity) {
        case kOddParity:
            t.c_cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            t.c_cflag |= PARENB;
            break;
        case kMarkParity:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case kSpaceParity:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (s.stopBits != kOneStopBit)
        t.c_cflag |= CSTOPB;
    if (s.outxCtsFlow || s.rtsControl == kRtsControlHandshake)
        t.c_cflag |= CRTSCTS;

    // Input rate = output rate (input code 0).
    const unsigned code = CodeOfRate(s.baudRate);
    t.c_cflag |= code;
    t.c_ispeed = s.baudRate;
    t.c_ospeed = s.baudRate;

    // Reads are bounded by the caller's time-outs, on a non-blocking descriptor.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

uint32_t ReadBaudRate(int fd) {
    termios2 t{};
    return Get(fd, t) ? RateOf(t) : 0;
}

bool ReadErrorCounters(int fd, ErrorCounters& out) {
    serial_icounter_struct counts{};
    if (::ioctl(fd, TIOCGICOUNT, &counts) != 0)
        return false;
    out.frame = static_cast<uint32_t>(counts.frame);
    out.overrun = static_cast<uint32_t>(counts.overrun);
    out.parity = static_cast<uint32_t>(counts.parity);
    out.brk = static_cast<uint32_t>(counts.brk);
    out.bufferOverrun = static_cast<uint32_t>(counts.buf_overrun);
    return true;
}

bool EnableLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0)
        return false;
    if (info.flags & ASYNC_LOW_LATENCY)
        return true;
    info.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
}

static_assert(sizeof(termios2) <= sizeof(SavedSettings{}.termios),
              "the saved record holds the kernel's terminal record");

bool SaveSettings(int fd, SavedSettings& out) {
    out = SavedSettings();
    termios2 t{};
    if (!Get(fd, t))
        return false;
    std::memcpy(out.termios, &t, sizeof t);
    out.haveTermios = true;
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) == 0) {
        out.haveLowLatency = true;
        out.lowLatency = (info.flags & ASYNC_LOW_LATENCY) != 0;
    }
    return true;
}

bool RestoreSettings(int fd, const SavedSettings& saved) {
    bool ok = true;
    if (saved.haveTermios) {
        termios2 t{};
        std::memcpy(&t, saved.termios, sizeof t);
        ok = ::ioctl(fd, TCSETS2, &t) == 0;
    }
    if (saved.haveLowLatency) {
        serial_struct info{};
        if (::ioctl(fd, TIOCGSERIAL, &info) != 0)
            return false;
        const bool now = (info.flags & ASYNC_LOW_LATENCY) != 0;
        if (now != saved.lowLatency) {
            info.flags ^= ASYNC_LOW_LATENCY;
            ok = ::ioctl(fd, TIOCSSERIAL, &info) == 0 && ok;
        }
    }
    return ok;
}

bool SetRtsOnSend(int fd, bool on) {
    serial_rs485 rs485{};
    if (::ioctl(fd, TIOCGRS485, &rs485) != 0)
        return false;
    if (on) {
        rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        rs485.flags &= ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND);
    } else {
        rs485.flags &= ~static_cast<__u32>(SER_RS485_ENABLED);
    }
    return ::ioctl(fd, TIOCSRS485, &rs485) == 0;
}

}  // namespace serial::linux_tty
