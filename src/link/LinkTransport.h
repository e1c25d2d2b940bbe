#pragma once

#include <cstdint>
#include <string>

// Why the last operation of a transport failed.
enum class TransportError {
    kNone,
    // The port went away: a cable pulled, a USB adapter unplugged, the far end of a
    // pseudo-terminal closed. Nothing more will come from it; waiting longer is pointless.
    kHungUp,
    // Any other failure; LastErrorText() says more where the transport knows.
    kFailed,
};

// How opening a transport ended.
enum class TransportOpen {
    kOpened,
    kInUse,  // another program holds the port
    kFailed,
};

// The byte channel under the radio link: the direct serial device or the port component. The
// link frames, times and retries; a transport only moves bytes, and never waits for input that
// has not arrived.
class LinkTransport {
  public:
    virtual ~LinkTransport() = default;

    // Opens the port, at baud when baud > 0, else at the rate the port is already set to.
    virtual TransportOpen Open(int baud) = 0;
    // Closes the port (output the driver still holds is sent first where the transport can).
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;
    // Changes the local line rate at once.
    virtual void SetRate(int baud) = 0;

    // Sends one whole wire frame: a positive count when sent or queued, 0 or -1 otherwise.
    virtual int Write(const std::uint8_t* bytes, int count) = 0;
    // Received bytes waiting to be read (0 when none or on failure).
    virtual int BytesWaiting() = 0;
    // Takes the next received byte; false when none was waiting.
    virtual bool ReadByte(std::uint8_t& byte) = 0;
    // Waits at most limitMs for queued output to leave.
    virtual void Drain(int limitMs) = 0;

    // A descriptor that becomes readable when input arrives, for the message pump; -1 when the
    // transport has none (its input then arrives as an event of the pump, or not at all).
    virtual int Descriptor() = 0;
    // How long a wait may block on a quiet line before polling again: -1 until the next event
    // of the pump, or a poll period for a transport whose input raises no event.
    virtual int QuietWaitLimitMs() = 0;

    virtual TransportError LastError() const = 0;
    // The reason of the last failure in words for the user (empty when unknown).
    virtual std::string LastErrorText() const = 0;

    // What differs in how the link drives the two transports.
    // A busy reply is answered by sending the request again (component) or ends the exchange.
    virtual bool RepeatsBusyReplies() const = 0;
    // Pause after telling the radio to change rate before following it, in milliseconds.
    virtual int RateChangeSettleMs() const = 0;
};
