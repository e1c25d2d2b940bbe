#pragma once

// The operating-system layer under the low-level serial port. The port classes keep the
// rules (baud normalisation, character format, flow-control modes, time-out arithmetic, error
// codes); this interface is the only way they reach the system, so the rules can be tested
// against a recording fake and the real layer (PosixSerialOs) on pseudo-terminals.
//
// The calls mirror the classic COM-port interface the port classes were designed on (open a
// port by name, read/write the line configuration and time-outs, clear line errors and read
// the queue counts, block read/write bounded by the time-outs, drain, control lines, modem
// status, close), with a plain record in place of the system's line-control block.

#include <cstdint>
#include <string>

namespace serial {

struct OpenFailure;

// A port handle, issued by the layer that opened the port and meaningful only to it. The real
// layer never reuses one, so a handle kept after Close cannot reach a port opened later.
using Handle = int;
inline constexpr Handle kInvalidHandle = -1;

// Parity codes of LineSettings::parity.
inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kOddParity = 1;
inline constexpr uint8_t kEvenParity = 2;
inline constexpr uint8_t kMarkParity = 3;
inline constexpr uint8_t kSpaceParity = 4;

// Stop-bit codes of LineSettings::stopBits.
inline constexpr uint8_t kOneStopBit = 0;
inline constexpr uint8_t kOne5StopBits = 1;
inline constexpr uint8_t kTwoStopBits = 2;

// RTS control codes of LineSettings::rtsControl.
inline constexpr uint8_t kRtsControlDisable = 0;    // RTS held inactive
inline constexpr uint8_t kRtsControlEnable = 1;     // RTS held active
inline constexpr uint8_t kRtsControlHandshake = 2;  // RTS driven by the input flow control
inline constexpr uint8_t kRtsControlToggle = 3;     // RTS active only while transmitting

// The live line settings of an open port (the line-control block).
struct LineSettings {
    uint32_t baudRate = 9600;  // any rate, standard or not
    uint8_t byteSize = 8;      // 5 to 8 data bits
    uint8_t parity = kNoParity;
    uint8_t stopBits = kOneStopBit;
    bool binary = true;        // no end-of-file character; the line is always raw here
    bool parityCheck = false;  // check the parity of received bytes
    bool outxCtsFlow = false;  // hold output while CTS is inactive
    uint8_t rtsControl = kRtsControlEnable;
    bool outX = false;          // XON/XOFF on output
    bool inX = false;           // XON/XOFF on input
    bool abortOnError = false;  // no Linux equivalent; kept, never applied
    bool nullStrip = false;     // no Linux equivalent; kept, never applied

    bool operator==(const LineSettings& o) const {
        return baudRate == o.baudRate && byteSize == o.byteSize && parity == o.parity &&
               stopBits == o.stopBits && binary == o.binary && parityCheck == o.parityCheck &&
               outxCtsFlow == o.outxCtsFlow && rtsControl == o.rtsControl && outX == o.outX &&
               inX == o.inX && abortOnError == o.abortOnError && nullStrip == o.nullStrip;
    }
    bool operator!=(const LineSettings& o) const { return !(*this == o); }
};

// Read and write time-outs in milliseconds, with the classic COM-port meaning:
// - a read waits at most readTotalMultiplier x count + readTotalConstant in all (0: no limit)
//   and, once a byte has arrived, at most readInterval between two bytes (0: no limit);
// - readInterval = kMaxTimeout with both read totals 0 returns at once with what is queued;
// - a write waits at most writeTotalMultiplier x count + writeTotalConstant (0: no limit).
inline constexpr uint32_t kMaxTimeout = 0xFFFFFFFFu;
struct Timeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;

    bool operator==(const Timeouts& o) const {
        return readInterval == o.readInterval && readTotalMultiplier == o.readTotalMultiplier &&
               readTotalConstant == o.readTotalConstant &&
               writeTotalMultiplier == o.writeTotalMultiplier &&
               writeTotalConstant == o.writeTotalConstant;
    }
};

// Line-error flags returned (and cleared) by ClearError.
inline constexpr uint32_t kCeRxOver = 0x0001;    // input buffer overflow
inline constexpr uint32_t kCeOverrun = 0x0002;   // character buffer overrun
inline constexpr uint32_t kCeRxParity = 0x0004;  // parity error
inline constexpr uint32_t kCeFrame = 0x0008;     // framing error
inline constexpr uint32_t kCeBreak = 0x0010;     // break received
inline constexpr uint32_t kCeTxFull = 0x0100;    // output buffer full
inline constexpr uint32_t kCeIoe = 0x0400;       // I/O error
inline constexpr uint32_t kCeMode = 0x8000;      // unsupported mode

// The queue count returned by ClearError.
struct QueueStatus {
    uint32_t inQueue = 0;  // bytes received and not yet read
};

// Control-line functions of Escape.
enum class EscapeFunction { kSetDtr, kClearDtr, kSetRts, kClearRts, kSetBreak, kClearBreak };

// Modem-status bits of ModemStatus.
inline constexpr uint32_t kMsCtsOn = 0x0010;
inline constexpr uint32_t kMsDsrOn = 0x0020;
inline constexpr uint32_t kMsRingOn = 0x0040;
inline constexpr uint32_t kMsRlsdOn = 0x0080;

class SerialOs {
  public:
    virtual ~SerialOs() = default;

    // Opens the port called name for exclusive read/write access. On failure returns
    // kInvalidHandle and, when failure is not null, fills it with the reason.
    virtual Handle Open(const std::string& name, OpenFailure* failure) = 0;
    virtual bool GetConfig(Handle h, LineSettings& out) = 0;
    virtual bool SetConfig(Handle h, const LineSettings& settings) = 0;
    virtual bool SetTimeouts(Handle h, const Timeouts& timeouts) = 0;
    // Returns and clears the line errors seen since the last call, and the queue counts.
    virtual bool ClearError(Handle h, uint32_t& errors, QueueStatus& status) = 0;
    virtual bool Read(Handle h, void* buffer, uint32_t count, uint32_t& got) = 0;
    virtual bool Write(Handle h, const void* buffer, uint32_t count, uint32_t& put) = 0;
    // Waits until all written bytes have been transmitted.
    virtual bool Flush(Handle h) = 0;
    virtual bool Escape(Handle h, EscapeFunction function) = 0;
    virtual bool ModemStatus(Handle h, uint32_t& status) = 0;
    virtual bool Close(Handle h) = 0;
    // The operating system's error number (errno) of the last call that failed.
    virtual int LastOsError() const = 0;
    // A descriptor an event loop can wait on for input (poll, QSocketNotifier); -1 when the
    // layer has none for h. Reading and writing stay with the calls above.
    virtual int Descriptor(Handle /*h*/) const { return -1; }
};

}  // namespace serial
