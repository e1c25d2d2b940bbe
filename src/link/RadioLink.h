#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/DeviceFactory.h"
#include "link/FrameReceiver.h"
#include "link/LinkTypes.h"
#include "link/Platform.h"
#include "link/ReplyClock.h"
#include "link/VersionRecord.h"

// Reply timeouts used by the program, in milliseconds.
constexpr int kProbeTimeoutMs = 1000;
constexpr int kReplyTimeoutMs = 4000;
constexpr int kDownloadTimeoutMs = 15000;

// The radio link: the one object through which every exchange with the radio passes, over the
// port component (component transport) or the direct serial device (device transport). Both
// sit behind LinkTransport; each brings its own reply clock (ReplyClock).
//
// Everything runs on one thread. Waits run the message pump; event handlers that run inside
// it end a wait by clearing the enabled flag, which is the only hand-over.
class RadioLink {
  public:
    // Direction of a traced frame: 'W' sent, 'R' received.
    using TraceSink =
        std::function<void(char direction, const std::uint8_t* bytes, int count, std::int64_t ms)>;

    explicit RadioLink(MessagePump& pump,
                       std::unique_ptr<LinkDeviceFactory> factory = MakeSerialDeviceFactory());
    ~RadioLink();
    RadioLink(const RadioLink&) = delete;
    RadioLink& operator=(const RadioLink&) = delete;

    // --- Flags and outcome ---
    void SetEnabled(bool on) { enabled = on; }
    bool IsEnabled() const { return enabled; }
    bool IsIdle() const { return clock_->EndsOnlyWhenIdle() && idle; }
    void SetFramed(bool on) { framing = on ? 1 : 0; }
    bool IsFramed() const { return framing == 1; }
    bool UsesComponent() const { return usesComponent; }
    // Whether the open transport answers a busy reply by sending the request again.
    bool RepeatsBusyReplies() const { return transport_ && transport_->RepeatsBusyReplies(); }
    // kCommProblem if IsIdle(), else kSuccess if enabled, else kTimedOut. Called right after a
    // wait.
    LinkResult Outcome() const;
    // Stores the owner's interval timer (the device transport's timeout clock) and routes its
    // ticks to HandleCommTimerTick.
    void AttachTimer(IntervalTimer& timer);

    // The owner's event handlers completing the timeout mechanism. The trigger handler ignores
    // triggers that are not the link's own, so a stray trigger cannot end a wait.
    void HandleTriggerTimer(int handle);
    void HandleCommTimerTick();

    // --- Opening and closing ---
    // Attaches the configured port component (port number and RS-485 mode set) and opens it.
    bool OpenComponent(PortComponent& port, std::string& errorText);
    // Creates the direct serial device and opens COM port portNumber at baud.
    bool OpenDevice(int portNumber, int baud, bool handshake, std::string& errorText);
    void Close();
    // Why the last OpenDevice failed, in words for the user (empty when unknown).
    std::string OpenErrorDetail();
    // The port went away (a cable pulled, an adapter unplugged) since it was opened. The wait
    // that saw it ended at once as timed out (enabled cleared), and so does every later wait.
    bool PortWentAway() const { return portGone_; }
    void SetLocalBaud(int baud);
    // Tells the radio to change rate (no reply), then follows.
    void ChangeBaud(int baud);
    // Asks the interface box to answer; the caller has set framed, enabled and prepared the
    // probe timeout. True when the box answered before the wait ended.
    bool ProbeInterfaceBox();

    // --- Timeouts ---
    bool PrepareTimeout(int milliseconds);
    void ArmTimeout();
    void DisarmTimeout();
    void ReleaseTimeout();

    // --- Sending ---
    void Send(const MessageRecord& request) { SendRecord(request); }
    // Component: 1 when the block was accepted, -1 otherwise; device: the device's Write.
    int SendRecord(const MessageRecord& request);
    int SendCode2(std::uint8_t group, std::uint8_t function, const std::uint8_t* data, int count);

    // --- Receiving ---
    // Waits for a reply with the expected code and length, or the alternate code and length.
    // The codes are records made by MakeCommand (length 1 or 2 = code bytes to compare). The
    // result is meaningful only when Outcome() then says LinkResult::kSuccess.
    MessageRecord AwaitReply(const MessageRecord& expected, int expectedLength,
                             const MessageRecord& alternate, int alternateLength,
                             bool& gotAlternate);
    // Sends request and awaits its reply; on the component transport a reply with the
    // alternate (busy) code is answered by sending the request again, without limit, while
    // enabled stays set. On the device transport the busy reply ends the exchange.
    MessageRecord ExchangeRepeatingBusy(const MessageRecord& request, const MessageRecord& expected,
                                        int expectedLength, const MessageRecord& busy,
                                        int busyLength, bool& gotBusy);
    // Waits for the next well-formed frame, whatever its code; sets idle while the line is quiet.
    MessageRecord ReceiveAnyReply();
    // Waits for the next well-formed frame without setting idle: true and the payload in reply,
    // or false and reply untouched.
    bool Receive(MessageRecord& reply);

    // --- Bounds the owner may set on the component transport (both off by default) ---
    // Receive sets idle while the line is quiet, so the reply timeout can end it.
    void SetQuietReceiveTimesOut(bool on) { quietReceiveTimesOut_ = on; }
    // Busy replies are answered by a repeat only for this long from the first (0: no limit);
    // after that the exchange ends as timed out.
    void SetBusyRepeatLimitMs(int ms) { busyRepeatLimitMs_ = ms; }
    // For a loop that repeats after busy replies since sinceMs: false, with the link disabled,
    // once the limit has passed.
    bool BusyRepeatAllowed(std::int64_t sinceMs);
    std::int64_t NowMilliseconds() { return pump_.NowMilliseconds(); }

    // --- Composite reads ---
    LinkResult ReadVersionRecord(TargetKind kind, VersionRecord& record, bool withSem);
    // ReadVersionRecord inside PrepareTimeout(4000) ... ReleaseTimeout; kCommProblem when no
    // timeout could be prepared.
    LinkResult RetrieveVersionRecord(TargetKind kind, VersionRecord& record, bool withSem);
    // Boot load version: major, minor.
    LinkResult ReadBootVersion(TargetKind kind, std::uint8_t out2[2]);

    // --- Diagnostics ---
    void SetTraceSink(TraceSink sink) { trace_ = std::move(sink); }
    // A second sink, for the update logic's own use (what crossed, how fast), so that it sees
    // the frames whatever trace the front end installs.
    void SetFrameWatcher(TraceSink watcher) { watcher_ = std::move(watcher); }
    int TimeoutValue() const { return clock_->Value(); }
    int TimeoutHandle() const { return clock_->Handle(); }

    // How many times a version-read step is asked again after a busy reply.
    static constexpr int kVersionBusyRepeats = 3;

  private:
    enum class Match { kAny, kAwait };
    struct WaitRule;
    // The one receive loop behind AwaitReply, ReceiveAnyReply and Receive. True when a frame
    // was taken; it is then in reply.
    bool Wait(const WaitRule& rule, MessageRecord& reply, bool& gotAlternate);
    bool TransportIsOpen() const { return transport_ && transport_->IsOpen(); }
    // True, with the link disabled, when the transport says the port went away.
    bool CheckHangUp();
    void Trace(char direction, const std::uint8_t* bytes, int count);
    void TraceSent(const MessageRecord& request, const std::uint8_t* wire, int length);
    LinkResult VersionStep(std::int32_t requestId, std::int32_t replyId, MessageRecord& reply,
                           bool& busy);

    // Fields of the link object.
    bool enabled = false;
    bool idle = false;
    bool quietReceiveTimesOut_ = false;
    bool portGone_ = false;
    int busyRepeatLimitMs_ = 0;
    bool usesComponent = false;
    std::int32_t framing = 0;
    IntervalTimer* timer = nullptr;

    MessagePump& pump_;
    std::unique_ptr<LinkDeviceFactory> factory_;
    // The open transport (the device's stays, open or not, until Close); null between a Close
    // and the next open.
    std::unique_ptr<LinkTransport> transport_;
    // The device transport's clock keeps its time across opens; the component's is made anew
    // by each OpenComponent. clock_ is the one the last open chose.
    IntervalClock intervalClock_{timer};
    std::unique_ptr<TriggerClock> triggerClock_;
    ReplyClock* clock_ = &intervalClock_;
    FrameReceiver receiver_;
    // Why the last OpenDevice failed when the device layer threw (empty otherwise).
    std::string openFailureCause_;
    TraceSink trace_;
    TraceSink watcher_;
};
