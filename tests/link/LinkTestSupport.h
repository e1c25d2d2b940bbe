#pragma once

// Test doubles for the link: a message pump over a virtual clock, a fake serial line with a
// device and a port component on it, an interval timer and a scripted radio.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "link/DeviceFactory.h"
#include "link/DeviceTransport.h"
#include "link/Frame.h"
#include "link/FrameReceiver.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/RadioLink.h"

namespace linktest {

using Bytes = std::vector<std::uint8_t>;

// Thrown when a wait would block with nothing left that could ever wake it.
struct Deadlock : std::runtime_error {
    Deadlock() : std::runtime_error("wait with no pending event") {}
};

// Simulated time in microseconds; events run when the link lets messages be processed.
class VirtualPump : public MessagePump {
  public:
    std::int64_t nowUs = 0;
    int waitCalls = 0;
    int pausedMs = 0;
    // Simulated cost of one ProcessMessages call, so that time passes while a burst of
    // buffered bytes is being consumed.
    std::int64_t processCostUs = 0;

    void At(std::int64_t us, std::function<void()> fn) {
        queue_.emplace(std::make_pair(us, seq_++), std::move(fn));
    }
    void AfterMs(double ms, std::function<void()> fn) {
        At(nowUs + static_cast<std::int64_t>(ms * 1000), std::move(fn));
    }

    void ProcessMessages() override {
        Guard();
        nowUs += processCostUs;
        RunDue();
    }
    void WaitForEvent(int /*descriptor*/, int maxWaitMs) override {
        ++waitCalls;
        Guard();
        std::int64_t next = queue_.empty() ? -1 : queue_.begin()->first.first;
        if (maxWaitMs >= 0) {
            std::int64_t cap = nowUs + std::int64_t{maxWaitMs} * 1000;
            next = (next < 0) ? cap : std::min(next, cap);
        }
        if (next < 0)
            throw Deadlock();
        nowUs = std::max(nowUs, next);
        RunDue();
    }
    void Pause(int milliseconds) override {
        pausedMs += milliseconds;
        nowUs += std::int64_t{milliseconds} * 1000;
    }
    std::int64_t NowMilliseconds() override { return nowUs / 1000; }
    double NowMs() const { return static_cast<double>(nowUs) / 1000.0; }

  private:
    void Guard() {
        if (++calls_ > 5'000'000)
            throw std::runtime_error("pump called without end");
    }
    void RunDue() {
        while (!queue_.empty() && queue_.begin()->first.first <= nowUs) {
            auto fn = std::move(queue_.begin()->second);
            queue_.erase(queue_.begin());
            fn();
        }
    }
    std::multimap<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> queue_;
    std::uint64_t seq_ = 0;
    long calls_ = 0;
};

class VirtualTimer : public IntervalTimer {
  public:
    explicit VirtualTimer(VirtualPump& pump) : pump_(pump) {}
    void SetInterval(int ms) override { interval_ = ms; }
    int Interval() const override { return interval_; }
    void SetEnabled(bool on) override {
        enabled_ = on;
        ++generation_;
        if (on)
            Schedule();
    }
    bool IsEnabled() const override { return enabled_; }
    void SetOnTimer(std::function<void()> h) override { handler_ = std::move(h); }
    int fired = 0;

  private:
    void Schedule() {
        std::uint64_t gen = generation_;
        pump_.AfterMs(interval_, [this, gen] {
            if (!enabled_ || gen != generation_)
                return;
            ++fired;
            if (handler_)
                handler_();
            if (enabled_ && gen == generation_)
                Schedule();
        });
    }
    VirtualPump& pump_;
    int interval_ = 0;
    bool enabled_ = false;
    std::uint64_t generation_ = 0;
    std::function<void()> handler_;
};

// One serial line: what the tool wrote and what it has yet to read.
struct FakeLine {
    std::deque<std::uint8_t> rx;
    Bytes written;
    bool open = false;
    int baudIndex = -1;
    int portNumber = -1;
    bool handshake = true;
    bool failOpen = false;
    int closeCalls = 0;
    int devicesAlive = 0;
    std::function<void(const Bytes&)> onWrite;

    void Deliver(const Bytes& bytes) { rx.insert(rx.end(), bytes.begin(), bytes.end()); }
    void Write(const std::uint8_t* data, int count) {
        Bytes b(data, data + count);
        written.insert(written.end(), b.begin(), b.end());
        if (onWrite)
            onWrite(b);
    }
};

// The direct serial device's transport on a fake line.
class FakeDeviceTransport : public LinkTransport {
  public:
    FakeDeviceTransport(FakeLine& line, int portNumber, bool handshake, int descriptor)
        : line_(line), portNumber_(portNumber), handshake_(handshake), descriptor_(descriptor) {
        ++line_.devicesAlive;
    }
    ~FakeDeviceTransport() override { --line_.devicesAlive; }
    TransportOpen Open(int baud) override {
        line_.portNumber = portNumber_;
        if (line_.failOpen)
            return TransportOpen::kFailed;
        line_.open = true;
        line_.baudIndex = DeviceBaudIndex(baud);
        line_.handshake = handshake_;
        return TransportOpen::kOpened;
    }
    void Close() override {
        ++line_.closeCalls;
        line_.open = false;
    }
    bool IsOpen() override { return line_.open; }
    void SetRate(int baud) override { line_.baudIndex = DeviceBaudIndex(baud); }
    int Write(const std::uint8_t* bytes, int count) override {
        if (!line_.open)
            return 0;
        line_.Write(bytes, count);
        return count;
    }
    int BytesWaiting() override { return line_.open ? static_cast<int>(line_.rx.size()) : 0; }
    bool ReadByte(std::uint8_t& byte) override {
        if (line_.rx.empty())
            return false;
        byte = line_.rx.front();
        line_.rx.pop_front();
        return true;
    }
    void Drain(int) override {}
    int Descriptor() override { return descriptor_; }
    int QuietWaitLimitMs() override { return descriptor_ < 0 ? 2 : -1; }
    TransportError LastError() const override { return TransportError::kNone; }
    std::string LastErrorText() const override { return {}; }
    bool RepeatsBusyReplies() const override { return false; }
    int RateChangeSettleMs() const override { return kRateChangePauseMs; }

  private:
    FakeLine& line_;
    int portNumber_;
    bool handshake_;
    int descriptor_;
};

class FakeDeviceFactory : public LinkDeviceFactory {
  public:
    explicit FakeDeviceFactory(FakeLine& line) : line_(line) {}
    std::unique_ptr<LinkTransport> Create(int portNumber, bool handshake) override {
        return std::make_unique<FakeDeviceTransport>(line_, portNumber, handshake, descriptor);
    }
    // A pretend descriptor, so the virtual pump's blocking wait is used.
    int descriptor = 42;

  private:
    FakeLine& line_;
};

// The port component on a fake line, with timer triggers on the virtual clock.
class FakeComponent : public PortComponent {
  public:
    FakeComponent(VirtualPump& pump, FakeLine& line) : pump_(pump), line_(line) {}

    int openResult = 0;  // what SetOpen(true) reports
    bool cts = false;
    int outBuffUsed = 0;
    int outBuffFree = 4096;
    int baud = 19200;
    int triggersAdded = 0;
    int triggersRemoved = 0;
    int triggersFired = 0;
    bool failAddTrigger = false;
    int lastArmedTicks = -1;
    int outFlushes = 0;

    void SetComNumber(int n) override { com_ = n; }
    int ComNumber() const override { return com_; }
    void SetRS485Mode(bool on) override { rs485_ = on; }
    bool RS485Mode() const override { return rs485_; }
    int SetOpen(bool open) override {
        if (open && openResult != 0)
            return openResult;
        line_.open = open;
        return 0;
    }
    bool Open() const override { return line_.open; }
    void SetBaud(int b) override { baud = b; }
    int Baud() const override { return baud; }
    void FlushInBuffer() override { line_.rx.clear(); }
    void FlushOutBuffer() override {
        ++outFlushes;
        outBuffUsed = 0;
    }
    int OutBuffUsed() override { return outBuffUsed; }
    int OutBuffFree() override { return outBuffFree; }
    bool CTS() override { return cts; }
    int PutBlock(const void* data, int count) override {
        line_.Write(static_cast<const std::uint8_t*>(data), count);
        return 0;
    }
    bool CharReady() override { return !line_.rx.empty(); }
    std::uint8_t GetChar() override {
        std::uint8_t b = line_.rx.front();
        line_.rx.pop_front();
        return b;
    }
    int AddTimerTrigger() override {
        if (failAddTrigger)
            return 0;
        ++triggersAdded;
        armed_[nextHandle_] = 0;
        return nextHandle_++;
    }
    void SetTimerTrigger(int handle, int ticks, bool activate) override {
        auto it = armed_.find(handle);
        if (it == armed_.end())
            return;
        std::uint64_t gen = ++it->second;
        if (!activate)
            return;
        lastArmedTicks = ticks;
        pump_.AfterMs(ticks * 1000.0 / kTicksPerSecond, [this, handle, gen] {
            auto a = armed_.find(handle);
            if (a == armed_.end() || a->second != gen)
                return;
            ++triggersFired;
            if (handler_)
                handler_(handle);
        });
    }
    void RemoveTrigger(int handle) override {
        if (armed_.erase(handle))
            ++triggersRemoved;
    }
    void SetOnTriggerTimer(std::function<void(int)> h) override { handler_ = std::move(h); }
    void DelayTicks(int ticks, bool /*yield*/) override {
        pump_.Pause(ticks * 1000 / kTicksPerSecond);
    }
    bool TriggerArmed(int handle) const { return armed_.count(handle) != 0; }

  private:
    VirtualPump& pump_;
    FakeLine& line_;
    int com_ = 1;
    bool rs485_ = false;
    int nextHandle_ = 1;
    std::map<int, std::uint64_t> armed_;
    std::function<void(int)> handler_;
};

// A link on a fake line whose device and port component both run on the virtual clock.
struct FakeLineLink {
    VirtualPump pump;
    FakeLine line;
    VirtualTimer timer{pump};
    FakeComponent component{pump, line};
    RadioLink link{pump, std::make_unique<FakeDeviceFactory>(line)};

    FakeLineLink() { link.AttachTimer(timer); }
};

// A payload framed as the radio sends it.
inline Bytes Wire(const Bytes& payload, std::uint8_t src = frame::kAddrRadio,
                  std::uint8_t dst = frame::kAddrToTool) {
    frame::WireFrame w = frame::Encode(payload.data(), static_cast<int>(payload.size()), src, dst);
    return Bytes(w.bytes, w.bytes + w.length);
}

// A payload framed as the tool sends it, to the radio or to the address given.
inline Bytes ToolFrame(const Bytes& payload, std::uint8_t dst = frame::kAddrRadio) {
    return Wire(payload, frame::kAddrTool, dst);
}

inline Bytes PayloadOf(const MessageRecord& record) {
    return Bytes(record.buffer, record.buffer + record.length);
}

// A radio's end of a fake line: gathers the tool's frames to the radio's address (and to any
// other the receiver is told to accept), hands each payload on, and sends replies on the
// virtual clock.
class LineRadio {
  public:
    LineRadio(VirtualPump& pump, FakeLine& line) : pump_(pump), line_(line) {
        line_.onWrite = [this](const Bytes& b) {
            for (std::uint8_t byte : b) {
                if (rx_.Feed(byte) != FrameReceiver::Event::kFrame || !onRequest)
                    continue;
                const MessageRecord& p = rx_.Payload();
                onRequest(Bytes(p.buffer, p.buffer + p.length), rx_.DestinationAddress());
            }
        };
    }
    std::function<void(const Bytes& payload, std::uint8_t destination)> onRequest;

    void Reply(const Bytes& payload, double delayMs, std::uint8_t src = frame::kAddrRadio) {
        const Bytes wire = Wire(payload, src);
        pump_.AfterMs(delayMs, [this, wire] { line_.Deliver(wire); });
    }
    FrameReceiver& Receiver() { return rx_; }
    double NowMs() const { return pump_.NowMs(); }

  private:
    VirtualPump& pump_;
    FakeLine& line_;
    FrameReceiver rx_{frame::kAddrRadio};
};

// A scripted radio on a fake line: it answers the tool's requests by code.
class ScriptedRadio {
  public:
    ScriptedRadio(VirtualPump& pump, FakeLine& line) : radio_(pump, line) {
        radio_.Receiver().Accept(frame::kAddrToTool, false);
        radio_.Receiver().Accept(frame::kAddrBox);
        radio_.onRequest = [this](const Bytes& payload, std::uint8_t dest) {
            OnRequest(payload, dest);
        };
    }

    // Replies to request code (two bytes) with these payloads, one per request in turn; the
    // last one repeats. An empty list means silence.
    void On(std::uint8_t g, std::uint8_t f, std::vector<Bytes> replies, double delayMs = 5) {
        rules_[Key(g, f)] = Rule{std::move(replies), 0, delayMs};
    }
    std::vector<Bytes> requests;      // payloads received
    std::vector<std::uint8_t> dests;  // their destination addresses

  private:
    struct Rule {
        std::vector<Bytes> replies;
        size_t next = 0;
        double delayMs = 5;
    };
    static int Key(std::uint8_t g, std::uint8_t f) { return g * 256 + f; }
    void OnRequest(const Bytes& payload, std::uint8_t dest) {
        requests.push_back(payload);
        dests.push_back(dest);
        if (payload.size() < 2)
            return;
        auto it = rules_.find(Key(payload[0], payload[1]));
        if (it == rules_.end() || it->second.replies.empty())
            return;
        Rule& r = it->second;
        const Bytes reply = r.replies[std::min(r.next, r.replies.size() - 1)];
        ++r.next;
        radio_.Reply(reply, r.delayMs, dest);
    }
    LineRadio radio_;
    std::map<int, Rule> rules_;
};

}  // namespace linktest
