#pragma once

// The loopback check: with a plug joining the adapter's TX and RX, every byte sent must come
// back unchanged. Patterns that stress the line (all byte values, alternating bits, long runs
// of ones and zeros, pseudo-random data) go out at each rate, and short exchanges the size of
// the radio's replies measure the round trip, which the adapter's latency timer dominates.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace doctor {

struct LoopbackOptions {
    std::vector<uint32_t> baudRates = {19200, 115200};
    int exchanges = 50;            // round trips timed per rate
    int replyTimeoutMs = 1000;     // the longest wait for a byte that is due
    std::string latencyTimerFile;  // read while the port is open, when not empty
};

struct LoopbackRate {
    uint32_t baudRate = 0;
    std::size_t bytesSent = 0;
    std::size_t bytesChecked = 0;  // came back equal to what was sent
    std::string problem;           // empty when every byte came back unchanged
    double medianMs = 0;           // round trip of one exchange
    double p99Ms = 0;
};

struct LoopbackResult {
    std::string openProblem;  // empty when the port was opened
    std::vector<LoopbackRate> rates;
    std::optional<int> latencyWhileOpenMs;  // the latency timer while the port was open

    bool Passed() const;
};

// Opens `port` (a COM name or device path, through the process's serial layer, so with its
// lock and low latency), runs the checks and gives the port back with its settings as found.
LoopbackResult RunLoopback(const std::string& port, const LoopbackOptions& options);

// The median and 99th percentile of samples (nearest rank); 0 for none.
double Percentile(std::vector<double> samples, double fraction);

}  // namespace doctor
