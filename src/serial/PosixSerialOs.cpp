#include "serial/PosixSerialOs.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>

#include "serial/PortRestore.h"

namespace serial {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, rounded up so that a wait never ends early; 0 when past.
int RemainingMs(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

int MinWait(int a, int b) {
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return a < b ? a : b;
}

// Waits for events on fd: > 0 ready (revents set), 0 timed out, -1 failed.
int WaitFor(int fd, short events, int timeoutMs, short& revents) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        revents = p.revents;
        return r;
    }
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAbsentError(int error) {
    return error == ENOENT || error == ENOTDIR || error == ENXIO || error == ENODEV ||
           error == EIO || error == ELOOP;
}

}  // namespace

bool NoSerialHardware(const std::string& node, const std::string& sysClassTty) {
    std::ifstream type(sysClassTty + "/" + BaseName(node) + "/type");
    int value = -1;
    return type >> value && value == 0;
}

std::vector<std::string> PosixSerialOs::DefaultLockDirectories() {
    return {"/var/lock", "/run/lock"};
}

PosixSerialOs::PosixSerialOs()
    : lockDirectories(DefaultLockDirectories()),
      notice([](const std::string& text) { std::fprintf(stderr, "warning: %s\n", text.c_str()); }) {
}

PosixSerialOs::~PosixSerialOs() {
    while (!ports.empty())
        Close(ports.begin()->first);
}

PosixSerialOs::Port* PosixSerialOs::Find(Handle h) {
    const auto it = ports.find(h);
    if (it == ports.end()) {
        lastOsError = EBADF;
        return nullptr;
    }
    return &it->second;
}

bool PosixSerialOs::Fail(int error) {
    lastOsError = error;
    return false;
}

int PosixSerialOs::Descriptor(Handle h) const {
    const auto it = ports.find(h);
    return it == ports.end() ? -1 : it->second.fd;
}

std::string PosixSerialOs::NodeOf(Handle h) const {
    const auto it = ports.find(h);
    return it == ports.end() ? std::string() : it->second.node;
}

bool PosixSerialOs::Locate(const std::string& name, OpenFailure& f) {
    f = OpenFailure();
    f.requestedName = name;
    const Resolution r = resolver.Resolve(name);
    f.source = r.source;
    f.comNumber = r.comNumber;
    f.device = r.path;
    f.linkTarget = r.linkTarget;
    if (r.comNumber > 0)
        f.portDirectory = resolver.PortDirectory();
    if (r.source == NameSource::kUnmapped) {
        f.kind = FailureKind::kAbsent;
        f.osError = ENOENT;
        return false;
    }
    struct stat st {};
    if (::stat(f.device.c_str(), &st) != 0) {
        f.osError = errno;
        if (f.osError == EACCES) {
            f.kind = FailureKind::kPermission;
            f.user = CurrentUserInfo();
        } else {
            f.kind = IsAbsentError(f.osError) ? FailureKind::kAbsent : FailureKind::kOther;
        }
        return false;
    }
    f.node = RealPath(f.device);
    if (!S_ISCHR(st.st_mode)) {
        f.kind = FailureKind::kNotSerial;
        f.osError = ENOTTY;
        return false;
    }
    if (NoSerialHardware(f.node)) {
        f.kind = FailureKind::kAbsent;
        f.osError = ENODEV;
        return false;
    }
    return true;
}

void PosixSerialOs::FillBusy(OpenFailure& f, pid_t pid, const std::string& lockFile) {
    f.kind = FailureKind::kBusy;
    if (f.osError == 0)
        f.osError = EBUSY;
    f.holderPid = pid;
    f.holderIsSelf = pid == ::getpid();
    f.lockFile = lockFile;
    if (pid > 0)
        f.holderName = ProcessName(pid);
}

void PosixSerialOs::FillOpenError(OpenFailure& f, int error) {
    f.osError = error;
    if (error == EACCES || error == EPERM) {
        f.kind = FailureKind::kPermission;
        f.nodeInfo = ReadNodeInfo(f.node);
        f.user = CurrentUserInfo();
    } else if (error == EBUSY) {
        FillBusy(f, FindHolderPid(f.node), std::string());
    } else if (IsAbsentError(error)) {
        f.kind = FailureKind::kAbsent;
    } else {
        f.kind = FailureKind::kOther;
    }
}

// The scan must not disturb a device more than needed: opening a tty raises DTR and RTS on
// an idle line (and drops DTR again on close), which some radios and interface boxes take as
// a reset. So the passive check, for the window's port scan, never opens the device. It
// finds what the system shows without an open: presence, hardware behind the node,
// permission for this user, live lock files and processes that have the node open or
// flock'ed. What it cannot see (an exclusive open by another user's process) the real Open
// still reports, as busy, before any setting is applied.
OpenFailure PosixSerialOs::Check(const std::string& name, ProbeMode mode) {
    OpenFailure f;
    if (!Locate(name, f))
        return f;
    if (::faccessat(AT_FDCWD, f.node.c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
        FillOpenError(f, errno);
        return f;
    }
    const LockHolder lock = FindLiveLock(lockDirectories, f.node, false);
    if (lock.held) {
        FillBusy(f, lock.pid, lock.path);
        return f;
    }
    if (const pid_t holder = FindHolderPid(f.node)) {
        FillBusy(f, holder, std::string());
        return f;
    }
    if (mode == ProbeMode::kOpen) {
        const int fd = ::open(f.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            FillOpenError(f, errno);
            return f;
        }
        LineSettings unused;
        const bool terminal = linux_tty::ReadLineSettings(fd, unused);
        const int error = errno;
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        if (!terminal) {
            f.kind = FailureKind::kNotSerial;
            f.osError = error;
        } else if (locked) {
            FillBusy(f, FindHolderPid(f.node), std::string());
        }
    }
    return f;
}

Handle PosixSerialOs::Open(const std::string& name, OpenFailure* failure) {
    OpenFailure local;
    OpenFailure& f = failure ? *failure : local;
    const auto refuse = [&f, this]() {
        lastOsError = f.osError;
        return kInvalidHandle;
    };
    if (!Locate(name, f))
        return refuse();

    // The lock file first, as other UUCP-lock users do: a live one refuses the device before
    // it is touched, a stale one goes. Any refusal below releases it with port.
    Port port;
    port.node = f.node;
    LockHolder holder;
    if (!port.lock.Acquire(lockDirectories, f.node, &holder)) {
        FillBusy(f, holder.pid, holder.path);
        return refuse();
    }

    const int fd = ::open(f.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        FillOpenError(f, errno);
        return refuse();
    }
    LineSettings current;
    if (!linux_tty::ReadLineSettings(fd, current)) {
        f.kind = FailureKind::kNotSerial;
        f.osError = errno;
        ::close(fd);
        return refuse();
    }
    // TIOCEXCL keeps other users' programs out but not root, nor other opens by root;
    // the flock closes that gap between programs that use it. Only a holder refuses the port:
    // flock fails otherwise only where the kernel cannot lock the node at all (ENOLCK), and
    // the lock file and TIOCEXCL still guard it then.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        FillBusy(f, FindHolderPid(f.node), std::string());
        return refuse();
    }
    // TIOCEXCL fails only on a descriptor that is not a terminal, which ReadLineSettings has
    // already ruled out.
    ::ioctl(fd, TIOCEXCL);

    port.savedSettings = KeepPortSettings(fd);
    // A driver without the flag keeps its own timing; the port works either way.
    linux_tty::EnableLowLatency(fd);
    port.haveCounters = linux_tty::ReadErrorCounters(fd, port.counters);
    if (port.lock.Path().empty() && notice) {
        notice("running without a lock file for " + f.node + ": " + port.lock.UnlockedReason() +
               "; other programs are not kept off the port");
    }
    port.fd = fd;
    // Handles are never reused, so a handle kept after its Close can never reach a port
    // opened later on the same descriptor number.
    const Handle handle = nextHandle++;
    ports[handle] = std::move(port);
    f = OpenFailure();
    return handle;
}

bool PosixSerialOs::GetConfig(Handle h, LineSettings& out) {
    const Port* port = Find(h);
    if (!port)
        return false;
    const int fd = port->fd;
    return linux_tty::ReadLineSettings(fd, out) || Fail(errno);
}

bool PosixSerialOs::SetConfig(Handle h, const LineSettings& s) {
    Port* port = Find(h);
    if (!port)
        return false;
    const int fd = port->fd;
    if (!linux_tty::WriteLineSettings(fd, s))
        return Fail(errno);

    // RTS after the line settings. Pseudo-terminals have no control lines; the line
    // settings still hold there, so a refused line change is not a failure.
    const bool hardware = s.outxCtsFlow || s.rtsControl == kRtsControlHandshake;
    const bool toggle = s.rtsControl == kRtsControlToggle;
    if (toggle != port->rtsOnSend) {
        port->rtsOnSend = linux_tty::SetRtsOnSend(fd, toggle) && toggle;
    }
    if (!hardware && !toggle) {
        int rts = TIOCM_RTS;
        ::ioctl(fd, s.rtsControl == kRtsControlDisable ? TIOCMBIC : TIOCMBIS, &rts);
    }
    return true;
}

bool PosixSerialOs::SetTimeouts(Handle h, const Timeouts& timeouts) {
    Port* port = Find(h);
    if (!port)
        return false;
    port->timeouts = timeouts;
    return true;
}

bool PosixSerialOs::ClearError(Handle h, uint32_t& errors, QueueStatus& status) {
    errors = 0;
    status = QueueStatus();
    Port* port = Find(h);
    if (!port)
        return false;
    const int fd = port->fd;
    switch (port->input.Fill(fd)) {
        case InputAhead::TopUp::kOk:
            break;
        case InputAhead::TopUp::kHungUp:
            return Fail(EIO);
        case InputAhead::TopUp::kFailed:
            return Fail(errno);
    }
    status.inQueue = port->input.Held();
    if (port->input.Full()) {
        int queued = 0;
        if (::ioctl(fd, FIONREAD, &queued) == 0 && queued > 0)
            status.inQueue += static_cast<uint32_t>(queued);
    }
    // Line errors: the driver's counters that moved since the last call.
    linux_tty::ErrorCounters now;
    if (port->haveCounters && linux_tty::ReadErrorCounters(fd, now)) {
        const linux_tty::ErrorCounters& was = port->counters;
        if (now.brk != was.brk)
            errors |= kCeBreak;
        if (now.frame != was.frame)
            errors |= kCeFrame;
        if (now.overrun != was.overrun)
            errors |= kCeOverrun;
        if (now.parity != was.parity)
            errors |= kCeRxParity;
        if (now.bufferOverrun != was.bufferOverrun)
            errors |= kCeRxOver;
        port->counters = now;
    }
    return true;
}

bool PosixSerialOs::Read(Handle h, void* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    Port* port = Find(h);
    if (!port)
        return false;
    const int fd = port->fd;
    if (count == 0)
        return true;
    const Timeouts& t = port->timeouts;
    // Interval "maximum" with no totals: return at once with whatever is queued.
    const bool atOnce =
        t.readInterval == kMaxTimeout && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    // Interval and multiplier "maximum": wait up to the constant for the first byte only.
    const bool firstByte = t.readInterval == kMaxTimeout && t.readTotalMultiplier == kMaxTimeout &&
                           t.readTotalConstant != 0 && t.readTotalConstant != kMaxTimeout;
    char* out = static_cast<char*>(buffer);
    // What the queue already holds comes first.
    got = port->input.Take(out, count);
    if (got == count || (got > 0 && (atOnce || firstByte)))
        return true;
    const uint64_t totalMs =
        firstByte ? t.readTotalConstant
                  : static_cast<uint64_t>(t.readTotalMultiplier) * count + t.readTotalConstant;
    const bool hasTotal = !atOnce && totalMs > 0;
    const bool hasInterval =
        !atOnce && !firstByte && t.readInterval != 0 && t.readInterval != kMaxTimeout;
    const Clock::time_point start = Clock::now();
    const Clock::time_point totalDeadline = start + std::chrono::milliseconds(totalMs);
    Clock::time_point lastByte = start;
    for (;;) {
        const ssize_t n = ::read(fd, out + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            lastByte = Clock::now();
            if (got == count || atOnce || firstByte)
                return true;
            continue;
        }
        if (n == 0)
            return got > 0 || Fail(EIO);  // hung up: nothing more will come
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return got > 0 || Fail(errno);
        if (atOnce)
            return true;
        int wait = hasTotal ? RemainingMs(totalDeadline) : -1;
        if (hasInterval && got > 0) {
            wait = MinWait(wait, RemainingMs(lastByte + std::chrono::milliseconds(t.readInterval)));
        }
        if (wait == 0)
            return true;  // timed out; got may be short of count
        short revents = 0;
        const int r = WaitFor(fd, POLLIN, wait, revents);
        if (r < 0)
            return got > 0 || Fail(errno);
        if (r > 0 && !(revents & POLLIN) && (revents & (POLLHUP | POLLERR | POLLNVAL))) {
            return got > 0 || Fail(EIO);
        }
    }
}

bool PosixSerialOs::Write(Handle h, const void* buffer, uint32_t count, uint32_t& put) {
    put = 0;
    Port* port = Find(h);
    if (!port)
        return false;
    const int fd = port->fd;
    const Timeouts& t = port->timeouts;
    const uint64_t totalMs =
        static_cast<uint64_t>(t.writeTotalMultiplier) * count + t.writeTotalConstant;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    const char* in = static_cast<const char*>(buffer);
    while (put < count) {
        const ssize_t n = ::write(fd, in + put, count - put);
        if (n > 0) {
            put += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return Fail(errno);
        const int wait = totalMs > 0 ? RemainingMs(deadline) : -1;
        if (wait == 0)
            return true;  // timed out; put is short of count
        short revents = 0;
        if (WaitFor(fd, POLLOUT, wait, revents) < 0)
            return Fail(errno);
        if (revents & (POLLHUP | POLLERR | POLLNVAL))
            return Fail(EIO);
    }
    return true;
}

bool PosixSerialOs::Flush(Handle h) {
    const Port* port = Find(h);
    if (!port)
        return false;
    const int fd = port->fd;
    while (::tcdrain(fd) != 0) {
        if (errno != EINTR)
            return Fail(errno);
    }
    return true;
}

bool PosixSerialOs::Escape(Handle h, EscapeFunction function) {
    const Port* port = Find(h);
    if (!port)
        return false;
    const int fd = port->fd;
    int bits = 0;
    int result = 0;
    switch (function) {
        case EscapeFunction::kSetDtr:
            bits = TIOCM_DTR;
            result = ::ioctl(fd, TIOCMBIS, &bits);
            break;
        case EscapeFunction::kClearDtr:
            bits = TIOCM_DTR;
            result = ::ioctl(fd, TIOCMBIC, &bits);
            break;
        case EscapeFunction::kSetRts:
            bits = TIOCM_RTS;
            result = ::ioctl(fd, TIOCMBIS, &bits);
            break;
        case EscapeFunction::kClearRts:
            bits = TIOCM_RTS;
            result = ::ioctl(fd, TIOCMBIC, &bits);
            break;
        case EscapeFunction::kSetBreak:
            result = ::ioctl(fd, TIOCSBRK);
            break;
        case EscapeFunction::kClearBreak:
            result = ::ioctl(fd, TIOCCBRK);
            break;
    }
    return result == 0 || Fail(errno);
}

bool PosixSerialOs::ModemStatus(Handle h, uint32_t& status) {
    status = 0;
    const Port* port = Find(h);
    if (!port)
        return false;
    const int fd = port->fd;
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) != 0)
        return Fail(errno);
    if (lines & TIOCM_CTS)
        status |= kMsCtsOn;
    if (lines & TIOCM_DSR)
        status |= kMsDsrOn;
    if (lines & TIOCM_RI)
        status |= kMsRingOn;
    if (lines & TIOCM_CD)
        status |= kMsRlsdOn;
    return true;
}

bool PosixSerialOs::Close(Handle h) {
    const auto it = ports.find(h);
    // A handle this layer does not hold (never opened, or closed already, its number perhaps
    // reused by another file since) is refused rather than closed.
    if (it == ports.end())
        return Fail(EBADF);
    Port& port = it->second;
    const int fd = port.fd;
    if (port.rtsOnSend)
        linux_tty::SetRtsOnSend(fd, false);
    // A port that went away refuses its settings; there is nothing left to give them back to.
    RestorePortSettings(port.savedSettings);
    // Closing ends the exclusive mode as well; clearing it first only narrows the moment in
    // which another open is refused, so a failure here changes nothing.
    ::ioctl(fd, TIOCNXCL);
    port.lock.Release();
    ports.erase(it);
    return ::close(fd) == 0 || errno == EINTR || Fail(errno);
}

PosixSerialOs& SystemSerialOs() {
    static PosixSerialOs os;
    return os;
}

}  // namespace serial
