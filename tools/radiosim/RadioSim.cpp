#include "RadioSim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/Frame.h"
#include "link/Protocol.h"
#include "transfer/TransferMessages.h"

namespace {

constexpr Scenario::Code kRateChange = 0x0900;
// How often the line is looked at while no tool has the port open.
constexpr int kIdlePollMs = 5;
constexpr Scenario::Code kBoxProbe = 0x0901;
constexpr Scenario::Code kReadBoot = 0x042D;
constexpr Scenario::Code kReadSem = 0x043E;
constexpr std::uint8_t kFlashGroup = 0x02;
const std::vector<std::uint8_t> kInformationBusy = {0x04, 0x20};
const std::vector<std::uint8_t> kUnprompted = {0x07, 0x25};
constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerUs = 1000;
// With the line paced, the serving thread's timers may fire this late (the default slack is
// 50 us, over half a byte at 115200 baud).
constexpr unsigned long kPacedTimerSlackNs = 1000;
// With the line paced, the serving thread leaves ppoll this long before the earliest reply is
// due and sleeps the rest on an absolute timer: on a busy machine a wake-up may come
// milliseconds late, and the early one absorbs that while the timer keeps to the deadline.
constexpr std::int64_t kEarlyWakeNs = 2 * kNsPerMs;

void SleepUntil(std::int64_t monotonicNs) {
    timespec at{};
    at.tv_sec = static_cast<time_t>(monotonicNs / 1000000000);
    at.tv_nsec = static_cast<long>(monotonicNs % 1000000000);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

int SpeedToBaud(speed_t s) {
    switch (s) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        default:
            return 0;
    }
}

std::string Hex(const std::uint8_t* p, int n) {
    std::string s;
    char buf[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", p[i]);
        s += buf;
    }
    return s;
}

}  // namespace

RadioSim::RadioSim(Scenario scenario)
    : scenario_(std::move(scenario)),
      line_(scenario_.lineRate, scenario_.turnaroundUs * kNsPerUs),
      codeplug_(scenario_.codeplug, scenario_.serial),
      flash_(
          [this] {
              flashsim::Settings s = scenario_.flash;
              s.replyDelayMs =
                  scenario_.lineRate ? scenario_.turnaroundUs / 1000.0 : scenario_.replyDelayMs;
              return s;
          }(),
          scenario_.flashFaults) {
    radioBaud_ = scenario_.baud;
    bootBusyLeft_ = scenario_.bootBusy;
    busyLeft_ = scenario_.busy;
    for (const auto& f : scenario_.faults)
        faultsLeft_.push_back(f.times);
    receiver_.Accept(frame::kAddrBox);
}

RadioSim::~RadioSim() {
    Stop();
    if (!linkPath_.empty())
        ::unlink(linkPath_.c_str());
    for (int fd : {master_, slave_, wake_[0], wake_[1], changed_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool RadioSim::Open(std::string& error, const std::string& portDir, int comNumber) {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B19200);
    ::cfsetospeed(&t, B19200);
    ::tcsetattr(slave_, TCSANOW, &t);
    // A radio does not hold the computer's port open: the tool's port scan would count it as
    // a program using the port. The settings stay with the pair while the master is open.
    ::close(slave_);
    slave_ = -1;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (::pipe(wake_) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    changed_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (changed_ < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    if (!portDir.empty()) {
        linkPath_ = portDir + "/COM" + std::to_string(comNumber);
        ::unlink(linkPath_.c_str());
        if (::symlink(slavePath_.c_str(), linkPath_.c_str()) != 0) {
            error = linkPath_ + ": " + std::strerror(errno);
            linkPath_.clear();
            return false;
        }
    }
    return true;
}

void RadioSim::Start() {
    if (running_ || master_ < 0)
        return;
    running_ = true;
    startNs_ = 0;
    startNs_ = NowNs();
    thread_ = std::thread([this] { Run(); });
}

void RadioSim::Stop() {
    if (!running_)
        return;
    const char c = 'q';
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
    thread_.join();
    running_ = false;
}

std::int64_t RadioSim::NowNs() const {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() - startNs_;
}

void RadioSim::SignalChange() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(changed_, &one, sizeof one);
}

void RadioSim::DrainChanges() const {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(changed_, &count, sizeof count);
}

int RadioSim::LineBaud() const {
    termios t{};
    if (::tcgetattr(master_, &t) != 0)
        return 0;
    return SpeedToBaud(::cfgetispeed(&t));
}

void RadioSim::Run() {
    if (line_.Paced())
        ::prctl(PR_SET_TIMERSLACK, kPacedTimerSlackNs);
    for (;;) {
        // Sleep until the tool writes or the earliest reply is due; the timeout is computed
        // afresh from the absolute deadline on every pass, so waits do not add up and drift.
        // Paced, the last stretch before a reply is due is slept on an absolute timer instead
        // (see kEarlyWakeNs): ppoll then only looks at the line without waiting.
        timespec timeout{};
        bool waitForever = true;
        std::int64_t sleepToNs = -1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!pending_.empty()) {
                std::int64_t next = pending_.front().atNs;
                for (const auto& p : pending_)
                    next = std::min(next, p.atNs);
                std::int64_t ns = std::max<std::int64_t>(0, next - NowNs());
                if (line_.Paced() && ns <= kEarlyWakeNs) {
                    sleepToNs = next;
                    ns = 0;
                } else if (line_.Paced()) {
                    ns -= kEarlyWakeNs;
                }
                timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
                timeout.tv_nsec = static_cast<long>(ns % 1000000000);
                waitForever = false;
            }
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int r = ::ppoll(fds, 2, waitForever ? nullptr : &timeout, nullptr);
        if (r < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN) {
            // 'q' ends the run; anything else (a fault started from outside) only wakes it.
            char wake[16];
            const ssize_t n = ::read(wake_[0], wake, sizeof wake);
            if (n <= 0 || std::memchr(wake, 'q', static_cast<std::size_t>(n)) != nullptr)
                return;
        }
        if ((fds[0].revents & POLLHUP) && !(fds[0].revents & POLLIN)) {
            // No tool has the port open: the master reports a hang-up until one opens it,
            // which raises no event of its own, so look again shortly (or when woken).
            pollfd wake = {wake_[0], POLLIN, 0};
            const std::int64_t dueMs = timeout.tv_sec * 1000 + timeout.tv_nsec / 1000000;
            const int idle = waitForever
                                 ? kIdlePollMs
                                 : static_cast<int>(std::min<std::int64_t>(dueMs, kIdlePollMs));
            if (::poll(&wake, 1, idle) > 0)
                return;
        }
        // Bytes from the tool and a fault started from outside are taken first; the next pass
        // looks at the line again.
        if (sleepToNs >= 0 && !(fds[0].revents & POLLIN) && !(fds[1].revents & POLLIN))
            SleepUntil(startNs_ + sleepToNs);
        bool changed = false;
        if (fds[0].revents & POLLIN) {
            std::uint8_t buf[512];
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                const int baud = LineBaud();
                std::lock_guard<std::mutex> lock(mutex_);
                OnBytes(buf, static_cast<int>(n), baud, NowNs());
                changed = true;
            }
        }
        std::unique_lock<std::mutex> lock(mutex_);
        const std::size_t due = pending_.size();
        WriteDue();
        changed = changed || pending_.size() != due;
        if (hangUp_) {
            // The line goes dead: both ends of the pseudo-terminal are closed.
            for (int* fd : {&master_, &slave_}) {
                if (*fd >= 0)
                    ::close(*fd);
                *fd = -1;
            }
            lock.unlock();
            SignalChange();
            return;
        }
        lock.unlock();
        if (changed)
            SignalChange();
    }
}

void RadioSim::WriteDue() {
    const std::int64_t now = NowNs();
    const int toolBaud = LineBaud();
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->atNs > now) {
            ++it;
            continue;
        }
        if (toolBaud != radioBaud_) {
            Violation("reply dropped: the radio sends at " + std::to_string(radioBaud_) +
                      " baud, the tool's line is at " + std::to_string(toolBaud));
        } else {
            [[maybe_unused]] ssize_t w = ::write(master_, it->bytes.data(), it->bytes.size());
            ++replies_;
            const std::int64_t late = now - it->atNs;
            line_.Delivered(NowNs(), late);
            // The tool answers a reply only once it has it: a late reply due within an
            // image's span delays everything after it in that image.
            for (auto image = imageWire_.rbegin(); image != imageWire_.rend(); ++image) {
                if (image->firstNs >= 0 && image->firstNs <= it->atNs &&
                    it->atNs <= image->lastNs) {
                    image->lateNs += late;
                    break;
                }
            }
        }
        it = pending_.erase(it);
    }
}

void RadioSim::Violation(const std::string& text) {
    if (violations_.size() < 1000)
        violations_.push_back(text);
}

// Bytes on a pseudo-terminal carry no speed of their own: the radio reads the line's setting
// only when it gets round to reading them. A tool that sent "switch to r", let its output
// drain and then switched its line to r may already be at r when a busy machine lets the
// radio read the request; such a request went out at the radio's speed.
bool RadioSim::HoldsRateChangeTo(const std::uint8_t* data, int count, int lineBaud) const {
    FrameReceiver receiver = receiver_;
    for (int i = 0; i < count; ++i) {
        if (receiver.Feed(data[i]) != FrameReceiver::Event::kFrame)
            continue;
        const MessageRecord& p = receiver.Payload();
        const Scenario::Code code = p.length >= 2 ? p.buffer[0] * 256 + p.buffer[1] : 0;
        return code == kRateChange && p.length == 3 && RateFromChangeCode(p.buffer[2]) == lineBaud;
    }
    return false;
}

void RadioSim::OnBytes(const std::uint8_t* data, int count, int lineBaud, std::int64_t readNs) {
    lastToolBaud_ = lineBaud;
    line_.ToolBytesRead(readNs);
    if (!rateChanges_.empty() && !rateChanges_.back().settled) {
        RateChange& rc = rateChanges_.back();
        rc.settled = true;
        rc.toolFollowed = lineBaud == rc.rate;
    }
    if (lineBaud != radioBaud_ && HoldsRateChangeTo(data, count, lineBaud))
        lineBaud = radioBaud_;
    if (lineBaud != radioBaud_) {
        // At the wrong speed the radio's receiver sees garbage, not these bytes.
        noiseBytes_ += count;
        ++wrongSpeedChunks_;
        receiver_.Reset();
        Violation(std::to_string(count) + " bytes at " + std::to_string(lineBaud) +
                  " baud while the radio listens at " + std::to_string(radioBaud_));
        return;
    }
    for (int i = 0; i < count; ++i) {
        // With the line paced, a byte is heard only once its last bit has crossed.
        const std::int64_t arrivedNs = line_.Receive(readNs, lineBaud);
        switch (receiver_.Feed(data[i])) {
            case FrameReceiver::Event::kFrame:
                OnFrame(receiver_.Payload(), receiver_.SourceAddress(),
                        receiver_.DestinationAddress(), lineBaud, arrivedNs);
                break;
            case FrameReceiver::Event::kBadChecksum:
                Violation("frame with a bad checksum");
                break;
            case FrameReceiver::Event::kGarbled:
                Violation("garbled frame");
                break;
            case FrameReceiver::Event::kOverflow:
                Violation("more than 1028 bytes without a frame end");
                break;
            case FrameReceiver::Event::kNotForUs:
                Violation("frame end for an address neither radio nor box");
                break;
            case FrameReceiver::Event::kNone:
                break;
        }
    }
}

RadioSim::Bytes RadioSim::Wire(const Bytes& payload, std::uint8_t src, std::uint8_t dst) {
    frame::WireFrame w = frame::Encode(payload.data(), static_cast<int>(payload.size()), src, dst);
    return Bytes(w.bytes, w.bytes + w.length);
}

std::int64_t RadioSim::Queue(const Bytes& wire, std::int64_t atNs) {
    Bytes bytes = wire;
    SpoilReply(bytes);
    const std::int64_t deliverNs = line_.Send(atNs, static_cast<int>(bytes.size()), radioBaud_);
    pending_.push_back({deliverNs, std::move(bytes)});
    return deliverNs;
}

void RadioSim::StartLineFault(Scenario::LineFault::Kind kind) {
    using Kind = Scenario::LineFault::Kind;
    switch (kind) {
        case Kind::kNone:
            break;
        case Kind::kSilence:
            silent_ = true;
            pending_.clear();
            break;
        case Kind::kHangUp:
            hangUp_ = true;
            break;
        case Kind::kWrongRate:
            wrongRate_ = true;
            break;
        case Kind::kBusy:
            busyForever_ = true;
            break;
        case Kind::kGarbled:
        case Kind::kBadChecksum:
        case Kind::kOtherGroup:
            spoilNextReply_ = kind;
            break;
    }
}

void RadioSim::SpoilReply(Bytes& wire) {
    using Kind = Scenario::LineFault::Kind;
    if (wrongRate_) {
        // Bytes sent at another rate arrive as other bytes.
        for (std::uint8_t& b : wire)
            b ^= 0xA5;
        return;
    }
    const Kind kind = spoilNextReply_;
    spoilNextReply_ = Kind::kNone;
    if (kind == Kind::kGarbled) {
        wire.insert(wire.begin() + 4, {frame::kEscape, 0x05});
    } else if (kind == Kind::kBadChecksum) {
        std::uint8_t& sum = wire[wire.size() - 2];
        sum ^= 0x01;
        if (frame::NeedsEscape(sum))
            sum ^= 0x03;
    } else if (kind == Kind::kOtherGroup) {
        wire = Wire({0x06, 0x01, 0x00});
    }
}

void RadioSim::InjectNow(Scenario::LineFault::Kind kind) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        StartLineFault(kind);
    }
    const char c = 'f';
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
}

int RadioSim::FramesTaken() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return framesTaken_;
}

bool RadioSim::ReplyFor(Scenario::Code code, Bytes& reply) {
    auto with = [&](std::uint8_t f, const Bytes& data) {
        reply = {static_cast<std::uint8_t>(code >> 8), f};
        reply.insert(reply.end(), data.begin(), data.end());
        return true;
    };
    switch (code) {
        case 0x041C:
            return with(0x1D, FormatNow());
        case 0x040B:
            return with(0x0C, scenario_.dsp);
        case 0x0409:
            return with(0x0A, scenario_.controller);
        case 0x0407:
            return with(0x08, scenario_.hardware);
        case 0x0404:
            return with(0x05, scenario_.serial);
        case kReadBoot:
            if (!scenario_.bootPresent)
                return false;
            if (bootBusyLeft_ > 0) {
                --bootBusyLeft_;
                reply = kInformationBusy;
                return true;
            }
            return with(0x2E, scenario_.boot);
        case kReadSem:
            if (!scenario_.semPresent)
                return false;
            return with(0x3F, scenario_.sem);
        default:
            Violation("unknown command " + CodeText(code));
            return false;
    }
}

void RadioSim::OnFrame(const MessageRecord& p, std::uint8_t src, std::uint8_t dst, int lineBaud,
                       std::int64_t nowNs) {
    const std::int64_t now = nowNs / kNsPerMs;
    frames_.push_back(
        {{"atMs", now}, {"dest", dst}, {"payload", Hex(p.buffer, p.length)}, {"baud", lineBaud}});
    if (framesTaken_++ == scenario_.lineFault.atFrame)
        StartLineFault(scenario_.lineFault.kind);
    if (src != frame::kAddrTool)
        Violation("frame from address " + Hex(&src, 1));
    const std::int64_t at =
        nowNs + (line_.Paced() ? line_.TurnaroundNs() : scenario_.replyDelayMs * kNsPerMs);
    if (p.length < 2) {
        Violation("frame without a two-byte command code");
        return;
    }
    const Scenario::Code code = p.buffer[0] * 256 + p.buffer[1];
    ++counts_[code];

    if (dst == frame::kAddrBox) {
        if (code != kBoxProbe)
            Violation("frame for the interface box: " + CodeText(code));
        if (code == kBoxProbe && scenario_.interfaceBox && !silent_) {
            Bytes reply = {0x09, 0x02};
            reply.insert(reply.end(), scenario_.boxData.begin(), scenario_.boxData.end());
            Queue(Wire(reply, frame::kAddrBox), at);
        }
        return;
    }
    if (code == kBoxProbe)
        Violation("interface-box probe sent to the radio");

    if (silent_ || (scenario_.silentFrom != 0 && code == scenario_.silentFrom)) {
        silent_ = true;
        return;
    }
    if (code == kRateChange) {
        const int rate = p.length == 3 ? RateFromChangeCode(p.buffer[2]) : 0;
        if (rate == 0) {
            Violation("malformed rate change " + Hex(p.buffer, p.length));
            return;
        }
        radioBaud_ = rate;
        rateChanges_.push_back({rate, now});
        return;
    }

    // While it restarts after new code the radio hears nothing.
    if (static_cast<double>(nowNs) / kNsPerMs < flash_.SilentUntilMs())
        return;
    if (busyForever_) {
        const Bytes flashBusy = {kFlashGroup, 0x0A};
        Queue(Wire(p.buffer[0] == kFlashGroup ? flashBusy : kInformationBusy), at);
        return;
    }
    if (p.buffer[0] == kFlashGroup) {
        OnFlashFrame(p, src, dst, lineBaud, nowNs);
        return;
    }

    if (p.buffer[0] == transfer_msg::kGroup) {
        // Unpaced, the replies leave a millisecond apart; paced, the line itself spaces them.
        std::int64_t when = at;
        for (const Bytes& reply : codeplug_.Handle(p.buffer, p.length)) {
            Queue(Wire(reply), when);
            when += line_.Paced() ? 0 : kNsPerMs;
        }
        return;
    }

    if (std::find(scenario_.unprompted0725.begin(), scenario_.unprompted0725.end(), code) !=
        scenario_.unprompted0725.end()) {
        Queue(Wire(kUnprompted), at);
    }
    Bytes reply;
    auto busy = busyLeft_.find(code);
    if (busy != busyLeft_.end() && busy->second > 0) {
        --busy->second;
        Queue(Wire(kInformationBusy), at);
        return;
    }
    if (!ReplyFor(code, reply))
        return;

    for (size_t i = 0; i < scenario_.faults.size(); ++i) {
        const Scenario::Fault& f = scenario_.faults[i];
        if (f.command != code || faultsLeft_[i] <= 0)
            continue;
        --faultsLeft_[i];
        Bytes bad = Wire(reply);
        switch (f.kind) {
            case Scenario::Fault::Kind::kSilence:
                bad.clear();
                break;
            case Scenario::Fault::Kind::kGarbled:
                // An escape byte followed by a value no escape has.
                bad.insert(bad.begin() + 4, {frame::kEscape, 0x05});
                break;
            case Scenario::Fault::Kind::kWrongAddress:
                bad = Wire(reply, frame::kAddrRadio, frame::kAddrRadio);
                break;
            case Scenario::Fault::Kind::kBadChecksum:
                bad[bad.size() - 2] ^= 0x01;
                if (frame::NeedsEscape(bad[bad.size() - 2]))
                    bad[bad.size() - 2] ^= 0x03;
                break;
        }
        if (!bad.empty())
            Queue(bad, at);
        if (!f.thenReply)
            return;
        break;
    }
    Queue(Wire(reply), at + kNsPerMs);
}

void RadioSim::OnFlashFrame(const MessageRecord& p, std::uint8_t src, std::uint8_t dst,
                            int lineBaud, std::int64_t nowNs) {
    const auto& images = flash_.Images();
    const bool wasOpen = !images.empty() && !images.back().ended;
    const std::size_t before = images.size();
    std::vector<std::uint8_t> payload(p.buffer, p.buffer + p.length);
    const std::vector<flashsim::Reply> replies =
        flash_.OnRequest(payload, static_cast<double>(nowNs) / kNsPerMs);
    // The frame belongs to an image when it opens one or arrives while one is open.
    ImageWire* wire = nullptr;
    if (!images.empty() && (wasOpen || images.size() > before)) {
        imageWire_.resize(images.size());
        wire = &imageWire_.back();
        const auto frameBytes = static_cast<long long>(Wire(payload, src, dst).size());
        const std::int64_t frameNs = frameBytes * LinePacer::ByteNs(lineBaud);
        if (wire->firstNs < 0)
            wire->firstNs = line_.Paced() ? nowNs - frameNs : nowNs;
        wire->lastNs = std::max(wire->lastNs, nowNs);
        wire->bytesFromTool += frameBytes;
        wire->wireNs += frameNs;
    }
    for (const flashsim::Reply& r : replies) {
        const Bytes bytes = Wire(r.payload);
        const std::int64_t deliverNs =
            Queue(bytes, nowNs + static_cast<std::int64_t>(r.delayMs * kNsPerMs));
        if (wire != nullptr) {
            wire->bytesToTool += static_cast<long long>(bytes.size());
            wire->wireNs += static_cast<std::int64_t>(bytes.size()) * LinePacer::ByteNs(radioBaud_);
            wire->lastNs = std::max(wire->lastNs, deliverNs);
        }
    }
    applicationFlashed_ = applicationFlashed_ || flash_.CodeFlashed();
    if (flash_.Silenced() && scenario_.flashFaults.hangUpAtSilence)
        hangUp_ = true;
}

namespace {

double Ms(std::int64_t ns) {
    return static_cast<double>(ns) / kNsPerMs;
}

nlohmann::json FlashReport(const flashsim::FlashTarget& flash,
                           const std::vector<nlohmann::json>& wire) {
    nlohmann::json images = nlohmann::json::array();
    auto blocksOf = [](const std::vector<std::uint8_t>& data) {
        nlohmann::json blocks = nlohmann::json::array();
        for (std::size_t at = 0; at < data.size(); at += 128)
            blocks.push_back(Hex(data.data() + at,
                                 static_cast<int>(std::min<std::size_t>(128, data.size() - at))));
        return blocks;
    };
    for (std::size_t i = 0; i < flash.Images().size(); ++i) {
        const flashsim::FlashedImage& im = flash.Images()[i];
        nlohmann::json j = {{"dspPages", im.dspPages}, {"blocksReceived", im.blocks},
                            {"resends", im.resends},   {"rejectedPairs", im.rejectedPairs},
                            {"ended", im.ended},       {"startMs", im.startMs},
                            {"bytes", im.data.size()}};
        if (im.dspPages) {
            nlohmann::json pages = nlohmann::json::array();
            for (const auto& page : im.pages)
                pages.push_back(blocksOf(page));
            j["pages"] = pages;
        } else {
            j["blocks"] = blocksOf(im.data);
        }
        if (i < wire.size())
            j["wire"] = wire[i];
        images.push_back(j);
    }
    return {{"images", images},
            {"processorQueries", flash.ProcessorQueries()},
            {"silenced", flash.Silenced()}};
}

}  // namespace

nlohmann::json RadioSim::FramesFrom(int first) const {
    std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::json frames = nlohmann::json::array();
    for (std::size_t i = static_cast<std::size_t>(std::max(0, first)); i < frames_.size(); ++i)
        frames.push_back(frames_[i]);
    return frames;
}

nlohmann::json RadioSim::Report() const {
    std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::json counts = nlohmann::json::object();
    for (const auto& [code, n] : counts_)
        counts[CodeText(code)] = n;
    nlohmann::json rates = nlohmann::json::array();
    for (const auto& rc : rateChanges_) {
        rates.push_back({{"rate", rc.rate},
                         {"atMs", rc.atMs},
                         {"radioSwitched", true},
                         {"toolFollowed", rc.toolFollowed},
                         {"settled", rc.settled}});
    }
    std::vector<nlohmann::json> imageWire;
    for (const ImageWire& w : imageWire_) {
        imageWire.push_back({{"bytesFromTool", w.bytesFromTool},
                             {"bytesToTool", w.bytesToTool},
                             {"wireMs", Ms(w.wireNs)},
                             {"spanMs", w.firstNs < 0 ? 0.0 : Ms(w.lastNs - w.firstNs)},
                             {"radioLateMs", Ms(w.lateNs)}});
    }
    const LinePacer::Figures f = line_.Totals();
    const nlohmann::json line = {{"paced", line_.Paced()},
                                 {"turnaroundUs", line_.TurnaroundNs() / kNsPerUs},
                                 {"bytesFromTool", f.bytesFromTool},
                                 {"bytesToTool", f.bytesToTool},
                                 {"wireMs", Ms(f.wireNs)},
                                 {"radioLateMs", Ms(f.lateNsSum)},
                                 {"repliesDelivered", f.replies},
                                 {"replyLateUsMax", static_cast<double>(f.lateNsMax) / kNsPerUs},
                                 {"toolTurnarounds", f.turnarounds},
                                 {"toolTurnaroundUsMedian", f.turnaroundMedianNs / kNsPerUs},
                                 {"toolTurnaroundUsMax", f.turnaroundMaxNs / kNsPerUs},
                                 {"toolTurnaroundMs", Ms(f.turnaroundNsSum)}};
    return {{"frames", frames_},
            {"counts", counts},
            {"rateChanges", rates},
            {"radioBaud", radioBaud_},
            {"lineBaud", LineBaud()},
            {"lastToolBaud", lastToolBaud_},
            {"replies", replies_},
            {"noiseBytes", noiseBytes_},
            {"wrongSpeedChunks", wrongSpeedChunks_},
            {"codeplug", codeplug_.Report()},
            {"flash", FlashReport(flash_, imageWire)},
            {"line", line},
            {"violations", violations_}};
}

std::vector<std::uint8_t> RadioSim::Codeplug() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return codeplug_.Codeplug();
}

int RadioSim::RadioBaud() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return radioBaud_;
}

std::vector<std::string> RadioSim::Violations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return violations_;
}

int RadioSim::RequestCount(Scenario::Code code) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = counts_.find(code);
    return it == counts_.end() ? 0 : it->second;
}

std::vector<std::uint8_t> RadioSim::CodeplugFormat() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return FormatNow();
}

const std::vector<std::uint8_t>& RadioSim::FormatNow() const {
    // After an application update the radio expects the new firmware's format.
    if (applicationFlashed_ && !scenario_.codeplug.formatAfterUpdate.empty())
        return scenario_.codeplug.formatAfterUpdate;
    return scenario_.fileFormat;
}

std::vector<std::uint8_t> RadioSim::BootVersion() const {
    return scenario_.boot;
}

std::vector<flashsim::FlashedImage> RadioSim::FlashedImages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return flash_.Images();
}

bool RadioSim::HungUp() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hangUp_;
}
