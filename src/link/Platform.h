#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The few platform services the link needs, so that every wait can run against a virtual clock
// in tests and against the application's event loop in the program.

// "Let the application process pending messages." Every wait loop of the link runs it.
class MessagePump {
  public:
    virtual ~MessagePump() = default;

    // Processes the messages pending now and returns without waiting.
    virtual void ProcessMessages() = 0;

    // Blocks until the next event arrives -- bytes readable on descriptor (when >= 0), a timer,
    // user input, any other posted event -- or maxWaitMs have passed (when >= 0), then processes
    // the pending messages. It may return early, but never later than the next event: a wait
    // that calls it instead of polling again loses no latency and burns no CPU. maxWaitMs
    // bounds waits for a state that raises no event (a control line, a draining buffer).
    virtual void WaitForEvent(int descriptor, int maxWaitMs) = 0;

    // Pauses without processing messages (the settle time after a rate change).
    virtual void Pause(int milliseconds) = 0;

    // A monotonic clock in milliseconds (for bounded waits and trace time stamps).
    virtual std::int64_t NowMilliseconds() = 0;
};

// An interval timer that the owner creates once (the device transport's reply-timeout clock).
// It fires every interval while enabled; its expiry is delivered through the message pump.
class IntervalTimer {
  public:
    virtual ~IntervalTimer() = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool on) = 0;  // enabling (re)starts the interval
    virtual bool IsEnabled() const = 0;
    virtual void SetOnTimer(std::function<void()> handler) = 0;
};

// Ticks of the port component's timer triggers and delays.
constexpr int kTicksPerSecond = 18;

// The buffered serial port component, the link's second transport. Default line settings:
// 19200 baud, 8N1, no flow control, 4096-byte input and output buffers.
class PortComponent {
  public:
    // Result of SetOpen(true) for a port that some process already holds.
    static constexpr int kErrAlreadyOpen = -2008;
    // Result of SetOpen(true) for any other failure.
    static constexpr int kErrOpenFailed = -1;

    virtual ~PortComponent() = default;

    virtual void SetComNumber(int portNumber) = 0;  // 1..64
    virtual int ComNumber() const = 0;
    // While set, the link waits before each send until CTS reads false.
    virtual void SetRS485Mode(bool on) = 0;
    virtual bool RS485Mode() const = 0;

    // Opens (true) or closes (false) the port: 0 when done, kErrAlreadyOpen or another negative
    // code when opening fails. The reason of the last failure is in LastErrorText().
    virtual int SetOpen(bool open) = 0;
    virtual bool Open() const = 0;
    virtual std::string LastErrorText() const { return {}; }

    virtual void SetBaud(int baud) = 0;  // changes the line rate at once
    virtual int Baud() const = 0;

    virtual void FlushInBuffer() = 0;
    virtual void FlushOutBuffer() = 0;
    virtual int OutBuffUsed() = 0;
    virtual int OutBuffFree() = 0;
    virtual bool CTS() = 0;
    // Queues the bytes for sending: 0 when accepted.
    virtual int PutBlock(const void* data, int count) = 0;
    virtual bool CharReady() = 0;
    virtual std::uint8_t GetChar() = 0;

    // Timer triggers: Add returns a handle (0 on failure); Set arms (ticks, true) or disarms
    // (0, false); an armed trigger fires once, through the message queue, after ticks.
    virtual int AddTimerTrigger() = 0;
    virtual void SetTimerTrigger(int handle, int ticks, bool activate) = 0;
    virtual void RemoveTrigger(int handle) = 0;
    virtual void SetOnTriggerTimer(std::function<void(int handle)> handler) = 0;

    // Waits ticks; with yield the application keeps processing messages meanwhile.
    virtual void DelayTicks(int ticks, bool yield) = 0;
};

// Where the lowest layer that knows why something failed writes the status line.
using StatusSink = std::function<void(const std::string& text)>;
