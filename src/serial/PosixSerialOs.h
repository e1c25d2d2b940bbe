#pragma once

// The real system layer: POSIX termios and Linux ioctls.
//
// Opening a port: the name is resolved (COM names through the resolver), the device must
// exist and be a terminal, no live lock file may name it, and then it is opened without
// becoming the controlling terminal, flock'ed (non-blocking, exclusive: TIOCEXCL alone does
// not stop root), made exclusive (TIOCEXCL) and given a UUCP lock file where the lock
// directory is writable. Its terminal settings and low-latency flag are saved, low latency is
// asked for where the driver has it, and Close puts both back (so does
// serial::RestoreAllPortSettings on the way out of a signal). Every refusal
// fills an OpenFailure: absent, permission, busy (with the holder's PID where it can be
// found), not a serial device, other.
//
// The input queue is the driver's plus what a queue check has already read ahead from it, so an
// event loop waits on the descriptor only once a check found the queue empty. Reads never wait
// for data that has not arrived when the caller checks the queue first;
// with fewer bytes queued than asked for, a read waits for the rest no longer than the
// time-outs. Flush waits until the driver has sent everything (tcdrain).

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "serial/ComPortResolver.h"
#include "serial/InputAhead.h"
#include "serial/LinuxTty.h"
#include "serial/OpenFailure.h"
#include "serial/PortLock.h"
#include "serial/SerialOs.h"

namespace serial {

// How far the availability check may go.
enum class ProbeMode {
    // Look without opening: presence, serial hardware behind the node (sysfs), permission,
    // live lock files and processes that hold the node (flock or open file). Touches no
    // control line.
    kPassive,
    // In addition open the device briefly, which also finds holders this user cannot see
    // (another user's exclusive open) but raises DTR and RTS on an idle line for a moment.
    kOpen,
};

class PosixSerialOs : public SerialOs {
  public:
    PosixSerialOs();
    ~PosixSerialOs() override;

    ComPortResolver& Resolver() { return resolver; }
    const ComPortResolver& Resolver() const { return resolver; }

    // Where lock files are looked for; a file is created in the first writable one.
    void SetLockDirectories(std::vector<std::string> dirs) { lockDirectories = std::move(dirs); }
    const std::vector<std::string>& LockDirectories() const { return lockDirectories; }
    static std::vector<std::string> DefaultLockDirectories();

    // Where a port opened without a lock file is reported (the line says why there is none).
    // By default it goes to stderr, so that a terminal user and a window started from one
    // both see that other programs are not kept off the port.
    using NoticeSink = std::function<void(const std::string&)>;
    void SetNoticeSink(NoticeSink sink) { notice = std::move(sink); }

    // Whether the port called name could be opened now; kind kNone when it could. The
    // result carries the resolved device and node either way.
    OpenFailure Check(const std::string& name, ProbeMode mode = ProbeMode::kPassive);

    Handle Open(const std::string& name, OpenFailure* failure) override;
    bool GetConfig(Handle h, LineSettings& out) override;
    bool SetConfig(Handle h, const LineSettings& settings) override;
    bool SetTimeouts(Handle h, const Timeouts& timeouts) override;
    bool ClearError(Handle h, uint32_t& errors, QueueStatus& status) override;
    bool Read(Handle h, void* buffer, uint32_t count, uint32_t& got) override;
    bool Write(Handle h, const void* buffer, uint32_t count, uint32_t& put) override;
    bool Flush(Handle h) override;
    bool Escape(Handle h, EscapeFunction function) override;
    bool ModemStatus(Handle h, uint32_t& status) override;
    bool Close(Handle h) override;
    int LastOsError() const override { return lastOsError; }
    int Descriptor(Handle h) const override;

    // The real device node of an open handle, empty for an unknown handle.
    std::string NodeOf(Handle h) const;

  private:
    struct Port {
        int fd = -1;
        std::string node;
        Timeouts timeouts;
        UucpLock lock;
        linux_tty::ErrorCounters counters;
        bool haveCounters = false;
        // The settings the port had before Open (PortRestore), put back at Close.
        int savedSettings = -1;
        bool rtsOnSend = false;
        InputAhead input;
    };

    Port* Find(Handle h);
    bool Fail(int error);
    // Resolves name and checks presence; fills f. False with f.kind set when the device is
    // not there (or not a terminal node).
    bool Locate(const std::string& name, OpenFailure& f);
    void FillBusy(OpenFailure& f, pid_t pid, const std::string& lockFile);
    void FillOpenError(OpenFailure& f, int error);

    ComPortResolver resolver;
    std::vector<std::string> lockDirectories;
    NoticeSink notice;
    std::map<Handle, Port> ports;
    Handle nextHandle = 1;
    int lastOsError = 0;
};

// Whether node is a serial-core port with no UART behind it: the kernel makes /dev/ttyS0-3
// whether or not the machine has them, and such a port reports type 0 (unknown) in sysfs.
bool NoSerialHardware(const std::string& node, const std::string& sysClassTty = "/sys/class/tty");

// The process's system layer, used by ports constructed without one. Its resolver and lock
// directories are the process's settings.
PosixSerialOs& SystemSerialOs();

}  // namespace serial
