#include "link/RadioLink.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "link/CommandTable.h"
#include "link/ComponentTransport.h"
#include "link/Frame.h"
#include "link/Protocol.h"

namespace {

const char* const kErrPortInUse = "The chosen COM port is in use or not available";
const char* const kErrPortError = "Unable to start communication: COM port error";

// Longest time Close waits for queued output to drain: a line held by flow control must not
// hang the program.
constexpr int kCloseDrainLimitMs = 2000;

// The probe frame: to the interface box (0x4F), payload 09 01.
constexpr std::uint8_t kProbeFrame[] = {0xBA, 0x7F, 0x4F, 0x09, 0x01, 0x28, 0x7E};
constexpr std::uint8_t kProbeReplyCode[] = {0x09, 0x02};
constexpr int kProbeReplyLength = 6;

bool CodeMatches(const MessageRecord& payload, const MessageRecord& code, int length) {
    if (code.length < 1 || payload.length < code.length || payload.length != length)
        return false;
    if (payload.buffer[0] != code.buffer[0])
        return false;
    return code.length < 2 || payload.buffer[1] == code.buffer[1];
}

}  // namespace

struct RadioLink::WaitRule {
    Match match = Match::kAny;
    const MessageRecord* expected = nullptr;
    int expectedLength = 0;
    const MessageRecord* alternate = nullptr;
    int alternateLength = 0;
    bool setsIdle = true;
};

RadioLink::RadioLink(MessagePump& pump, std::unique_ptr<LinkDeviceFactory> factory)
    : pump_(pump), factory_(std::move(factory)) {}

// A device still open is closed by its transport's destructor; the borrowed component is
// left as it is.
RadioLink::~RadioLink() = default;

LinkResult RadioLink::Outcome() const {
    if (IsIdle())
        return LinkResult::kCommProblem;
    return enabled ? LinkResult::kSuccess : LinkResult::kTimedOut;
}

void RadioLink::AttachTimer(IntervalTimer& t) {
    timer = &t;
    timer->SetOnTimer([this] { HandleCommTimerTick(); });
}

void RadioLink::HandleTriggerTimer(int handle) {
    if (handle != clock_->Handle())
        return;
    if (IsIdle())
        SetEnabled(false);
}

void RadioLink::HandleCommTimerTick() {
    SetEnabled(false);
    if (timer)
        timer->SetEnabled(false);
}

// --- Opening and closing ---

bool RadioLink::OpenComponent(PortComponent& component, std::string& errorText) {
    usesComponent = true;
    enabled = false;
    idle = false;
    portGone_ = false;
    openFailureCause_.clear();
    triggerClock_ = std::make_unique<TriggerClock>(
        component, [this](int handle) { HandleTriggerTimer(handle); });
    clock_ = triggerClock_.get();
    transport_ = std::make_unique<ComponentTransport>(component, pump_, enabled);
    receiver_.Reset();
    switch (transport_->Open(0)) {
        case TransportOpen::kOpened:
            errorText.clear();
            return true;
        case TransportOpen::kInUse:
            errorText = kErrPortInUse;
            return false;
        case TransportOpen::kFailed:
            break;
    }
    errorText = kErrPortError;
    return false;
}

bool RadioLink::OpenDevice(int portNumber, int baud, bool handshake, std::string& errorText) {
    usesComponent = false;
    enabled = false;
    idle = false;
    portGone_ = false;
    clock_ = &intervalClock_;
    receiver_.Reset();
    openFailureCause_.clear();
    try {
        transport_ = factory_ ? factory_->Create(portNumber, handshake) : nullptr;
        if (transport_ && transport_->Open(baud) == TransportOpen::kOpened) {
            errorText.clear();
            return true;
        }
    } catch (const std::exception& e) {
        // Nothing from the device layer may escape: the caller learns "no port", and the
        // cause stays for the open-failure detail.
        openFailureCause_ = e.what();
    } catch (...) {
        // Not a standard exception: no cause to keep.
    }
    errorText = kErrPortError;
    return false;
}

void RadioLink::Close() {
    if (!transport_)
        return;
    if (transport_->IsOpen()) {
        transport_->Drain(kCloseDrainLimitMs);
        DisarmTimeout();
        ReleaseTimeout();
        transport_->Close();
    }
    transport_.reset();
}

std::string RadioLink::OpenErrorDetail() {
    if (!openFailureCause_.empty())
        return openFailureCause_;
    return transport_ ? transport_->LastErrorText() : std::string();
}

void RadioLink::SetLocalBaud(int baud) {
    if (transport_)
        transport_->SetRate(baud);
}

void RadioLink::ChangeBaud(int baud) {
    MessageRecord request;
    MakeCommand(request, kCmdChangeBaud);
    request.buffer[request.length++] = RateChangeCode(baud);
    SendRecord(request);
    // The radio switches after its receiver has seen the whole frame.
    if (transport_ && transport_->RateChangeSettleMs() > 0)
        pump_.Pause(transport_->RateChangeSettleMs());
    SetLocalBaud(baud);
}

bool RadioLink::ProbeInterfaceBox() {
    SetFramed(false);
    MessageRecord probe;
    std::memcpy(probe.buffer, kProbeFrame, sizeof kProbeFrame);
    probe.length = sizeof kProbeFrame;
    Send(probe);
    SetFramed(true);
    MessageRecord code;
    std::memcpy(code.buffer, kProbeReplyCode, sizeof kProbeReplyCode);
    code.length = sizeof kProbeReplyCode;
    bool gotAlternate = false;
    AwaitReply(code, kProbeReplyLength, code, kProbeReplyLength, gotAlternate);
    return Outcome() == LinkResult::kSuccess;
}

// --- Timeouts ---

bool RadioLink::PrepareTimeout(int milliseconds) {
    return clock_->Prepare(milliseconds);
}

void RadioLink::ArmTimeout() {
    clock_->Arm();
}

void RadioLink::DisarmTimeout() {
    clock_->Disarm();
}

void RadioLink::ReleaseTimeout() {
    clock_->Release();
}

// --- Sending ---

int RadioLink::SendRecord(const MessageRecord& request) {
    frame::WireFrame wire;
    if (framing == 1) {
        wire = frame::Encode(request.buffer, request.length & 0xFF);
    } else {
        wire.length = std::clamp(request.length, 0, MessageRecord::kCapacity);
        std::memcpy(wire.bytes, request.buffer, static_cast<size_t>(wire.length));
    }
    TraceSent(request, wire.bytes, wire.length);
    if (!transport_)
        return -1;
    const int sent = transport_->Write(wire.bytes, wire.length);
    if (sent < 0)
        CheckHangUp();
    return sent;
}

int RadioLink::SendCode2(std::uint8_t group, std::uint8_t function, const std::uint8_t* data,
                         int count) {
    MessageRecord request;
    request.buffer[0] = group;
    request.buffer[1] = function;
    if (data == nullptr || count < 0)
        count = 0;
    count = std::min(count, MessageRecord::kCapacity - 2);
    if (count > 0)
        std::memcpy(request.buffer + 2, data, static_cast<size_t>(count));
    request.length = 2 + count;
    return SendRecord(request);
}

// --- Receiving ---

bool RadioLink::Wait(const WaitRule& rule, MessageRecord& reply, bool& gotAlternate) {
    idle = false;
    const int fd = transport_ ? transport_->Descriptor() : -1;
    const int maxBlockMs = transport_ ? transport_->QuietWaitLimitMs() : -1;
    bool quiet = false;  // the last poll found no byte: block until something happens
    while (enabled) {
        if (quiet) {
            pump_.WaitForEvent(fd, maxBlockMs);
        } else {
            pump_.ProcessMessages();
        }
        if (!TransportIsOpen())
            break;
        std::uint8_t byte = 0;
        const bool got = transport_->BytesWaiting() > 0 && transport_->ReadByte(byte);
        quiet = !got;
        if (!got && CheckHangUp())
            break;
        if (!got) {
            if (rule.setsIdle)
                idle = true;
            continue;
        }
        idle = false;
        if (receiver_.Feed(byte) != FrameReceiver::Event::kFrame)
            continue;
        const MessageRecord& payload = receiver_.Payload();
        Trace('R', payload.buffer, payload.length);
        if (rule.match == Match::kAny) {
            reply = payload;
            return true;
        }
        if (CodeMatches(payload, *rule.expected, rule.expectedLength)) {
            reply = payload;
            gotAlternate = false;
            return true;
        }
        if (CodeMatches(payload, *rule.alternate, rule.alternateLength)) {
            reply = payload;
            gotAlternate = true;
            return true;
        }
    }
    return false;
}

MessageRecord RadioLink::AwaitReply(const MessageRecord& expected, int expectedLength,
                                    const MessageRecord& alternate, int alternateLength,
                                    bool& gotAlternate) {
    WaitRule rule;
    rule.match = Match::kAwait;
    rule.expected = &expected;
    rule.expectedLength = expectedLength;
    rule.alternate = &alternate;
    rule.alternateLength = alternateLength;
    gotAlternate = false;
    MessageRecord reply;
    ArmTimeout();
    Wait(rule, reply, gotAlternate);
    DisarmTimeout();
    return reply;
}

MessageRecord RadioLink::ExchangeRepeatingBusy(const MessageRecord& request,
                                               const MessageRecord& expected, int expectedLength,
                                               const MessageRecord& busy, int busyLength,
                                               bool& gotBusy) {
    const std::int64_t since = pump_.NowMilliseconds();
    for (;;) {
        SendRecord(request);
        MessageRecord reply = AwaitReply(expected, expectedLength, busy, busyLength, gotBusy);
        if (!RepeatsBusyReplies() || !gotBusy || !enabled || !BusyRepeatAllowed(since))
            return reply;
    }
}

bool RadioLink::BusyRepeatAllowed(std::int64_t sinceMs) {
    if (busyRepeatLimitMs_ <= 0 || pump_.NowMilliseconds() - sinceMs < busyRepeatLimitMs_)
        return true;
    SetEnabled(false);
    return false;
}

MessageRecord RadioLink::ReceiveAnyReply() {
    WaitRule rule;
    MessageRecord reply;
    bool unused = false;
    ArmTimeout();
    Wait(rule, reply, unused);
    DisarmTimeout();
    return reply;
}

bool RadioLink::Receive(MessageRecord& reply) {
    WaitRule rule;
    rule.setsIdle = quietReceiveTimesOut_;
    MessageRecord got;
    bool unused = false;
    ArmTimeout();
    bool taken = Wait(rule, got, unused);
    DisarmTimeout();
    if (!taken)
        return false;
    reply = got;
    return true;
}

bool RadioLink::CheckHangUp() {
    if (!transport_ || transport_->LastError() != TransportError::kHungUp)
        return false;
    portGone_ = true;
    enabled = false;
    return true;
}

void RadioLink::Trace(char direction, const std::uint8_t* bytes, int count) {
    if (!trace_ && !watcher_)
        return;
    const std::int64_t ms = pump_.NowMilliseconds();
    if (trace_)
        trace_(direction, bytes, count, ms);
    if (watcher_)
        watcher_(direction, bytes, count, ms);
}

// The codeplug password's digits (the reply to the radio's password request, group 3 code 12)
// never reach a trace: a trace is handed on in bug reports. The trace shows the frame as it
// would be with every digit byte 0xFF (no digit), checksum and escapes included, so nothing of
// the digits can be worked back from it.
void RadioLink::TraceSent(const MessageRecord& request, const std::uint8_t* wire, int length) {
    constexpr std::uint8_t kCodeplugGroup = 0x03;
    constexpr std::uint8_t kPasswordReplyCode = 0x0C;
    constexpr std::uint8_t kMaskedDigits = 0xFF;
    if (!trace_ && !watcher_)
        return;
    if (request.length <= 2 || request.buffer[0] != kCodeplugGroup ||
        request.buffer[1] != kPasswordReplyCode) {
        Trace('W', wire, length);
        return;
    }
    MessageRecord masked = request;
    std::fill(masked.buffer + 2, masked.buffer + std::min(masked.length, MessageRecord::kCapacity),
              kMaskedDigits);
    if (framing != 1) {
        Trace('W', masked.buffer, std::min(masked.length, MessageRecord::kCapacity));
        return;
    }
    const frame::WireFrame shown = frame::Encode(masked.buffer, masked.length & 0xFF);
    Trace('W', shown.bytes, shown.length);
}
