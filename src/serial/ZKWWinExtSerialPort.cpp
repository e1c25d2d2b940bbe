#include "serial/ZKWWinExtSerialPort.h"

#include <cstring>

#include "serial/PosixSerialOs.h"

ZKWWinExtSerialPort::ZKWWinExtSerialPort() : ZKWWinExtSerialPort(serial::SystemSerialOs()) {}

ZKWWinExtSerialPort::ZKWWinExtSerialPort(serial::SerialOs& os) : os(os) {}

ZKWWinExtSerialPort::~ZKWWinExtSerialPort() {
    if (opened) {
        ZKWWinExtSerialPort::Close();
    }
}

int ZKWWinExtSerialPort::Result(bool ok) {
    if (ok)
        return 1;
    osError = os.LastOsError();
    return -1;
}

int ZKWWinExtSerialPort::WriteConfig() {
    return Result(os.SetConfig(handle, config));
}

int ZKWWinExtSerialPort::SetBaud(int index) {
    baudIndex = NormalisedBaudIndex(index);
    if (!opened)
        return 0;
    // The rate of the index as given; an index outside the table changes no rate but the
    // configuration is still written.
    if (const uint32_t rate = BaudRateOf(index))
        config.baudRate = rate;
    return WriteConfig();
}

int ZKWWinExtSerialPort::SetDataBits(int n) {
    // The system refuses 5 data bits with 2 stop bits and 6-8 data bits with 1.5 stop bits.
    const bool invalid = (n == 0 && stopBits == 2) || (n >= 1 && n <= 3 && stopBits == 1);
    if (invalid)
        return 0;
    dataBits = static_cast<uint8_t>(n);
    if (!opened || n < 0 || n > 3)
        return 0;
    config.byteSize = static_cast<uint8_t>(5 + n);
    return WriteConfig();
}

int ZKWWinExtSerialPort::SetParity(int p) {
    parity = static_cast<uint8_t>(p);
    if (!opened)
        return 0;
    config.parity = static_cast<uint8_t>(p);
    if (p == 0) {
        config.parityCheck = false;
    } else if (p >= 1 && p <= 4) {
        config.parityCheck = true;
    }
    return WriteConfig();
}

int ZKWWinExtSerialPort::SetStopBits(int s) {
    const bool invalid = (s == 2 && dataBits == 0) || (s == 1 && dataBits != 0);
    if (invalid)
        return 0;
    stopBits = static_cast<uint8_t>(s);
    if (!opened)
        return 0;
    if (s == 0) {
        config.stopBits = serial::kOneStopBit;
    } else if (s == 1 && dataBits == 0) {
        config.stopBits = serial::kOne5StopBits;
    } else if (s == 2 && dataBits != 0) {
        config.stopBits = serial::kTwoStopBits;
    } else {
        return 0;
    }
    return WriteConfig();
}

int ZKWWinExtSerialPort::SetFlowControl(int mode) {
    flowControl = static_cast<uint8_t>(mode);
    if (!opened)
        return 0;
    switch (mode) {
        case 0:  // none: RTS held inactive
            config.outxCtsFlow = false;
            config.rtsControl = serial::kRtsControlDisable;
            config.outX = config.inX = false;
            break;
        case 1:  // hardware
            config.outxCtsFlow = true;
            config.rtsControl = serial::kRtsControlHandshake;
            config.outX = config.inX = false;
            break;
        case 2:  // software
            config.outxCtsFlow = false;
            config.rtsControl = serial::kRtsControlDisable;
            config.outX = config.inX = true;
            break;
        case 3:  // hardware with RTS raised only while transmitting
            config.outxCtsFlow = true;
            config.rtsControl |= serial::kRtsControlToggle;
            config.outX = config.inX = false;
            break;
        default:  // stored; the line configuration stays as it is
            break;
    }
    return WriteConfig();
}

int ZKWWinExtSerialPort::SetTimeouts(int seconds, int milliseconds) {
    timeoutSeconds = seconds;
    timeoutMilliseconds = milliseconds;
    if (!opened)
        return 0;
    const uint32_t t = static_cast<uint32_t>(seconds * 1000 + milliseconds);
    timeouts.readInterval = t;
    timeouts.readTotalMultiplier = t;
    timeouts.readTotalConstant = 0;
    timeouts.writeTotalMultiplier = t;
    timeouts.writeTotalConstant = 0;
    return Result(os.SetTimeouts(handle, timeouts));
}

bool ZKWWinExtSerialPort::Open() {
    if (opened)
        return true;
    openFailure = serial::OpenFailure();
    handle = os.Open(portName, &openFailure);
    if (handle == serial::kInvalidHandle) {
        osError = openFailure.osError;
        return false;
    }
    openFailure = serial::OpenFailure();
    opened = 1;
    os.GetConfig(handle, config);
    config.binary = true;
    config.inX = false;
    config.outX = false;
    config.abortOnError = false;
    config.nullStrip = false;
    // Re-apply the stored settings; each setter writes the configuration (or the time-outs).
    SetBaud(baudIndex);
    SetDataBits(dataBits);
    SetStopBits(stopBits);
    SetParity(parity);
    SetFlowControl(flowControl);
    SetTimeouts(timeoutSeconds, timeoutMilliseconds);
    WriteConfig();
    return opened != 0;
}

int ZKWWinExtSerialPort::Close() {
    // The handle keeps its value; the system layer refuses a handle it no longer holds.
    const int result = Result(os.Close(handle));
    opened = 0;
    return result;
}

int ZKWWinExtSerialPort::Flush() {
    if (!opened)
        return 0;
    return Result(os.Flush(handle));
}

int ZKWWinExtSerialPort::InputQueued() {
    uint32_t errors = 0;
    serial::QueueStatus status;
    if (!os.ClearError(handle, errors, status)) {
        osError = os.LastOsError();
        return 0;
    }
    return static_cast<int>(status.inQueue);
}

int ZKWWinExtSerialPort::BytesAvailable() {
    if (!opened)
        return 0;
    uint32_t errors = 0;
    serial::QueueStatus status;
    const bool ok = os.ClearError(handle, errors, status);
    TranslateLineErrors(errors);
    if (!ok) {
        osError = os.LastOsError();
        return -1;
    }
    lastError = kErrorNone;
    return static_cast<int>(status.inQueue);
}

int ZKWWinExtSerialPort::Read(void* buffer, int count) {
    if (!opened)
        return 0;
    uint32_t errors = 0;
    serial::QueueStatus status;
    if (!os.ClearError(handle, errors, status)) {
        osError = os.LastOsError();
    }
    // Never wait for data that has not arrived.
    if (status.inQueue == 0)
        return 0;
    uint32_t got = 0;
    const bool ok = os.Read(handle, buffer, count > 0 ? static_cast<uint32_t>(count) : 0u, got);
    if (ok && got > 0)
        return static_cast<int>(got);
    if (!ok)
        osError = os.LastOsError();
    lastError = kErrorRead;
    return -1;
}

int ZKWWinExtSerialPort::Write(const void* buffer, int count) {
    int result = 0;
    if (opened) {
        uint32_t put = 0;
        if (os.Write(handle, buffer, count > 0 ? static_cast<uint32_t>(count) : 0u, put)) {
            result = static_cast<int>(put);
        } else {
            osError = os.LastOsError();
            lastError = kErrorWrite;
            result = -1;
        }
    }
    // A write returns only after the bytes have left the driver's queue.
    Flush();
    return result;
}

bool ZKWWinExtSerialPort::ReadChar(char& out) {
    char c = 0;
    if (Read(&c, 1) != 1)
        return false;
    out = c;
    return true;
}

bool ZKWWinExtSerialPort::WriteChar(char c) {
    bool ok = false;
    if (opened) {
        uint32_t put = 0;
        ok = os.Write(handle, &c, 1, put) && put == 1;
        if (!ok) {
            osError = os.LastOsError();
            lastError = kErrorWrite;
        }
    }
    Flush();
    return ok;
}

void ZKWWinExtSerialPort::Idle() {}

void ZKWWinExtSerialPort::TranslateLineErrors(uint32_t flags) {
    // First match wins.
    if (flags & serial::kCeBreak) {
        lastError = kErrorBreak;
    } else if (flags & serial::kCeFrame) {
        lastError = kErrorFrame;
    } else if (flags & serial::kCeIoe) {
        lastError = kErrorIo;
    } else if (flags & serial::kCeMode) {
        lastError = kErrorMode;
    } else if (flags & serial::kCeOverrun) {
        lastError = kErrorOverrun;
    } else if (flags & serial::kCeRxParity) {
        lastError = kErrorRxParity;
    } else if (flags & serial::kCeRxOver) {
        lastError = kErrorRxOver;
    } else if (flags & serial::kCeTxFull) {
        lastError = kErrorTxFull;
    }
}

int ZKWWinExtSerialPort::SetDtr(bool on) {
    if (!opened)
        return 0;
    return Result(os.Escape(
        handle, on ? serial::EscapeFunction::kSetDtr : serial::EscapeFunction::kClearDtr));
}

int ZKWWinExtSerialPort::SetRts(bool on) {
    if (!opened)
        return 0;
    return Result(os.Escape(
        handle, on ? serial::EscapeFunction::kSetRts : serial::EscapeFunction::kClearRts));
}

unsigned ZKWWinExtSerialPort::ModemStatus() {
    if (!opened)
        return 0;
    uint32_t status = 0;
    if (!os.ModemStatus(handle, status)) {
        osError = os.LastOsError();
        return 0;
    }
    unsigned bits = 0;
    if (status & serial::kMsCtsOn)
        bits |= 1;
    if (status & serial::kMsDsrOn)
        bits |= 2;
    if (status & serial::kMsRlsdOn)
        bits |= 4;
    if (status & serial::kMsRingOn)
        bits |= 8;
    return bits;
}

std::string ZKWWinExtSerialPort::FailureText() const {
    if (openFailure.kind != serial::FailureKind::kNone) {
        return serial::DescribeOpenFailure(openFailure);
    }
    return osError != 0 ? std::strerror(osError) : std::string();
}
