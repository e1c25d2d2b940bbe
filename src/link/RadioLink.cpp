#include "link/RadioLink.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "link/CommandTable.h"
#include "link/Frame.h"
#include "link/Protocol.h"
#include "serial/ZKWCommDevice.h"

namespace {

const char* const kErrPortInUse = "The chosen COM port is in use or not available";
const char* const kErrPortError = "Unable to start communication: COM port error";

// Longest time Close waits for the component's output buffer to drain: a line held by flow
// control must not hang the program.
constexpr int kCloseDrainLimitMs = 2000;
// Poll period of the waits for a state that raises no event (CTS, buffer space).
constexpr int kLineStatePollMs = 1;
// A device whose descriptor the pump cannot watch raises no event when bytes arrive: its
// waits wake this often to poll.
constexpr int kPollWithoutDescriptorMs = 2;

// The probe frame: to the interface box (0x4F), payload 09 01.
constexpr std::uint8_t kProbeFrame[] = {0xBA, 0x7F, 0x4F, 0x09, 0x01, 0x28, 0x7E};
constexpr std::uint8_t kProbeReplyCode[] = {0x09, 0x02};
constexpr int kProbeReplyLength = 6;

int MillisecondsToTicks(int ms) {
    return static_cast<int>((static_cast<std::int64_t>(ms) * kTicksPerSecond + 500) / 1000);
}

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

RadioLink::~RadioLink() {
    if (device) {
        if (device->IsOpen())
            device->Close();
        device.reset();
    }
}

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
    if (handle != timeoutHandle)
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
    port = &component;
    port->SetOnTriggerTimer([this](int handle) { HandleTriggerTimer(handle); });
    receiver_.Reset();
    int r = port->SetOpen(true);
    if (r == PortComponent::kErrAlreadyOpen) {
        errorText = kErrPortInUse;
        return false;
    }
    if (r != 0) {
        errorText = kErrPortError;
        return false;
    }
    port->FlushInBuffer();
    port->FlushOutBuffer();
    errorText.clear();
    return true;
}

bool RadioLink::OpenDevice(int portNumber, int baud, bool handshake, std::string& errorText) {
    usesComponent = false;
    enabled = false;
    idle = false;
    receiver_.Reset();
    openFailureCause_.clear();
    try {
        device = factory_ ? factory_->Create() : nullptr;
        if (device && factory_->OpenPort(*device, portNumber, DeviceBaudIndex(baud), handshake)) {
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
    if (usesComponent) {
        if (port == nullptr || !port->Open())
            return;
        const std::int64_t deadline = pump_.NowMilliseconds() + kCloseDrainLimitMs;
        while (port->Open() && port->OutBuffUsed() > 0 && pump_.NowMilliseconds() < deadline) {
            pump_.WaitForEvent(-1, kLineStatePollMs * 10);
        }
        DisarmTimeout();
        ReleaseTimeout();
        port->FlushInBuffer();
        // Bytes still queued after the drain are given up on (a line held by flow control);
        // flushing a drained port would throw away what the driver is still sending, such as
        // the last frame of a codeplug write.
        if (port->OutBuffUsed() > 0)
            port->FlushOutBuffer();
        port->SetOpen(false);
        return;
    }
    if (!device)
        return;
    if (device->IsOpen())
        device->Close();
    device.reset();
}

std::string RadioLink::OpenErrorDetail() {
    if (usesComponent)
        return port ? port->LastErrorText() : std::string();
    if (!openFailureCause_.empty())
        return openFailureCause_;
    return (device && factory_) ? factory_->LastOpenError(*device) : std::string();
}

void RadioLink::SetLocalBaud(int baud) {
    if (usesComponent) {
        if (port)
            port->SetBaud(baud);
    } else if (device && factory_) {
        factory_->SetBaud(*device, DeviceBaudIndex(baud));
    }
}

void RadioLink::ChangeBaud(int baud) {
    MessageRecord request;
    MakeCommand(request, kCmdChangeBaud);
    request.buffer[request.length++] = RateChangeCode(baud);
    SendRecord(request);
    // The radio switches after its receiver has seen the whole frame.
    if (!usesComponent)
        pump_.Pause(kRateChangePauseMs);
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
    if (!usesComponent) {
        timeout = milliseconds;
        return true;
    }
    if (port == nullptr)
        return false;
    ReleaseTimeout();  // a second prepare must not leak the first trigger
    timeout = MillisecondsToTicks(milliseconds);
    int handle = port->AddTimerTrigger();
    if (handle == 0)
        return false;
    timeoutHandle = handle;
    return true;
}

void RadioLink::ArmTimeout() {
    if (usesComponent) {
        if (port && timeoutHandle != -1)
            port->SetTimerTrigger(timeoutHandle, timeout, true);
    } else if (timer && timeout > 0) {
        // An interval of 0 means no timeout was prepared: the timer stays off.
        timer->SetInterval(timeout);
        timer->SetEnabled(true);
    }
}

void RadioLink::DisarmTimeout() {
    if (usesComponent) {
        if (port && timeoutHandle != -1)
            port->SetTimerTrigger(timeoutHandle, 0, false);
    } else if (timer) {
        timer->SetEnabled(false);
    }
}

void RadioLink::ReleaseTimeout() {
    if (!usesComponent || timeoutHandle == -1)
        return;
    if (port)
        port->RemoveTrigger(timeoutHandle);
    timeoutHandle = -1;
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
    if (!usesComponent)
        return device ? device->Write(wire.bytes, wire.length) : -1;

    if (port == nullptr || !port->Open())
        return -1;
    while (port->OutBuffFree() < wire.length) {
        pump_.WaitForEvent(-1, kLineStatePollMs);
        if (!port->Open())
            return -1;
    }
    // RS-485: the line is ours only while CTS is false. Stop or a closed port abandons the
    // send, so a stuck control line cannot hang the program.
    while (port->RS485Mode() && port->CTS()) {
        if (!enabled || !port->Open())
            return -1;
        pump_.WaitForEvent(-1, kLineStatePollMs);
    }
    return port->PutBlock(wire.bytes, wire.length) == 0 ? 1 : -1;
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

bool RadioLink::TransportOpen() const {
    if (usesComponent)
        return port != nullptr && port->Open();
    return device != nullptr && device->IsOpen();
}

int RadioLink::Descriptor() {
    if (usesComponent || !device || !factory_)
        return -1;
    return factory_->Descriptor(*device);
}

bool RadioLink::Wait(const WaitRule& rule, MessageRecord& reply, bool& gotAlternate) {
    idle = false;
    const int fd = Descriptor();
    const int maxBlockMs = (!usesComponent && fd < 0) ? kPollWithoutDescriptorMs : -1;
    bool quiet = false;  // the last poll found no byte: block until something happens
    while (enabled) {
        if (quiet) {
            pump_.WaitForEvent(fd, maxBlockMs);
        } else {
            pump_.ProcessMessages();
        }
        if (!TransportOpen())
            break;
        bool got = false;
        std::uint8_t byte = 0;
        if (usesComponent) {
            if (port->CharReady()) {
                byte = port->GetChar();
                got = true;
            }
        } else if (device->HasData()) {
            char c = 0;
            if (device->ReadByte(c) == 1) {
                byte = static_cast<std::uint8_t>(c);
                got = true;
            }
        }
        quiet = !got;
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
        if (!usesComponent || !gotBusy || !enabled || !BusyRepeatAllowed(since))
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

void RadioLink::Trace(char direction, const std::uint8_t* bytes, int count) {
    if (trace_)
        trace_(direction, bytes, count, pump_.NowMilliseconds());
}

// The codeplug password's digits (the reply to the radio's password request, group 3 code 12)
// never reach a trace: a trace is handed on in bug reports. The trace shows the frame as it
// would be with every digit byte 0xFF (no digit), checksum and escapes included, so nothing of
// the digits can be worked back from it.
void RadioLink::TraceSent(const MessageRecord& request, const std::uint8_t* wire, int length) {
    constexpr std::uint8_t kCodeplugGroup = 0x03;
    constexpr std::uint8_t kPasswordReplyCode = 0x0C;
    constexpr std::uint8_t kMaskedDigits = 0xFF;
    if (!trace_)
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
