#include "Loopback.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "PortFacts.h"
#include "serial/PosixSerialOs.h"

namespace doctor {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunkBytes = 64;    // sent, then awaited, so no buffer can overflow
constexpr std::size_t kExchangeBytes = 8;  // about the size of the radio's short replies
constexpr std::size_t kRandomBytes = 512;

// The patterns every byte of which must come back.
std::vector<uint8_t> Patterns() {
    std::vector<uint8_t> bytes;
    for (int v = 0; v < 256; ++v)
        bytes.push_back(static_cast<uint8_t>(v));
    for (int i = 0; i < 128; ++i)
        bytes.push_back(i % 2 == 0 ? 0x55 : 0xAA);
    bytes.insert(bytes.end(), 128, 0x00);
    bytes.insert(bytes.end(), 128, 0xFF);
    uint32_t x = 0x2545F491;  // xorshift: the same bytes on every run
    for (std::size_t i = 0; i < kRandomBytes; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes.push_back(static_cast<uint8_t>(x));
    }
    return bytes;
}

// The time `count` bytes take on the line at `baud` (ten bits each), in ms, rounded up.
int LineTimeMs(std::size_t count, uint32_t baud) {
    return static_cast<int>((count * 10 * 1000 + baud - 1) / baud);
}

bool WriteAll(int fd, const uint8_t* data, std::size_t count, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
        if (n > 0) {
            data += n;
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return true;
}

// Reads up to `count` bytes into `out`, waiting no longer than timeoutMs in all.
std::size_t ReadFor(int fd, uint8_t* out, std::size_t count, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, out + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return got;
}

std::string Hex(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// Sends `bytes` a chunk at a time and compares what comes back; fills the rate's counts and
// its problem at the first fault.
void SendAndCheck(int fd, const std::vector<uint8_t>& bytes, const LoopbackOptions& options,
                  LoopbackRate& rate) {
    uint8_t back[kChunkBytes];
    for (std::size_t at = 0; at < bytes.size(); at += kChunkBytes) {
        const std::size_t count = std::min(kChunkBytes, bytes.size() - at);
        const int timeoutMs = options.replyTimeoutMs + LineTimeMs(count, rate.baudRate);
        if (!WriteAll(fd, bytes.data() + at, count, timeoutMs)) {
            rate.problem = "the adapter took no more bytes to send";
            return;
        }
        rate.bytesSent += count;
        const std::size_t got = ReadFor(fd, back, count, timeoutMs);
        for (std::size_t i = 0; i < got; ++i) {
            if (back[i] != bytes[at + i]) {
                rate.problem = "byte " + std::to_string(at + i) + " went out as " +
                               Hex(bytes[at + i]) + " and came back as " + Hex(back[i]);
                return;
            }
            ++rate.bytesChecked;
        }
        if (got < count) {
            rate.problem = rate.bytesChecked == 0
                               ? "no byte came back (is the loopback plug on, TX joined to RX?)"
                               : "bytes " + std::to_string(at + got) + " on did not come back";
            return;
        }
    }
}

void TimeExchanges(int fd, const LoopbackOptions& options, LoopbackRate& rate) {
    std::vector<double> samples;
    uint8_t frame[kExchangeBytes];
    uint8_t back[kExchangeBytes];
    for (int i = 0; i < options.exchanges; ++i) {
        for (std::size_t b = 0; b < kExchangeBytes; ++b)
            frame[b] = static_cast<uint8_t>(i * 31 + b * 7);
        const int timeoutMs = options.replyTimeoutMs + LineTimeMs(kExchangeBytes, rate.baudRate);
        const Clock::time_point start = Clock::now();
        if (!WriteAll(fd, frame, kExchangeBytes, timeoutMs) ||
            ReadFor(fd, back, kExchangeBytes, timeoutMs) != kExchangeBytes ||
            !std::equal(frame, frame + kExchangeBytes, back)) {
            rate.problem = "exchange " + std::to_string(i + 1) + " did not come back whole";
            return;
        }
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    rate.medianMs = Percentile(samples, 0.5);
    rate.p99Ms = Percentile(samples, 0.99);
}

}  // namespace

bool LoopbackResult::Passed() const {
    if (!openProblem.empty() || rates.empty())
        return false;
    return std::all_of(rates.begin(), rates.end(),
                       [](const LoopbackRate& r) { return r.problem.empty(); });
}

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t rank =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
    return samples[std::min(samples.size(), std::max<std::size_t>(rank, 1)) - 1];
}

LoopbackResult RunLoopback(const std::string& port, const LoopbackOptions& options) {
    LoopbackResult result;
    serial::PosixSerialOs& os = serial::SystemSerialOs();
    serial::OpenFailure failure;
    const serial::Handle handle = os.Open(port, &failure);
    if (handle == serial::kInvalidHandle) {
        result.openProblem = serial::DescribeOpenFailure(failure);
        return result;
    }
    const int fd = os.Descriptor(handle);
    serial::LineSettings saved;
    const bool haveSaved = os.GetConfig(handle, saved);
    if (!options.latencyTimerFile.empty())
        result.latencyWhileOpenMs = ReadLatencyTimer(options.latencyTimerFile);
    const std::vector<uint8_t> patterns = Patterns();
    for (uint32_t baud : options.baudRates) {
        LoopbackRate rate;
        rate.baudRate = baud;
        serial::LineSettings settings;
        settings.baudRate = baud;
        if (!os.SetConfig(handle, settings)) {
            rate.problem = "the adapter refused " + std::to_string(baud) + " baud";
        } else {
            ::tcflush(fd, TCIOFLUSH);
            SendAndCheck(fd, patterns, options, rate);
            if (rate.problem.empty())
                TimeExchanges(fd, options, rate);
        }
        result.rates.push_back(rate);
    }
    if (haveSaved)
        os.SetConfig(handle, saved);
    os.Close(handle);
    return result;
}

}  // namespace doctor
