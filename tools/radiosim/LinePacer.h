#pragma once

#include <cstdint>
#include <vector>

// The serial line between the tool and the simulated radio, timed at its bit rate. A
// pseudo-terminal moves bytes at once; with pacing on, every byte takes its 10 bit times (start,
// 8 data, stop) in each direction, so the radio hears a frame only once its last byte could have
// crossed, and its replies queue on the line behind each other. With pacing off, bytes cross at
// once. Times are nanoseconds of the monotonic clock; the class does no waiting of its own.
class LinePacer {
  public:
    static constexpr int kBitsPerByte = 10;
    // Tool turnarounds are kept in 1 us bins up to this bound; longer ones share the last bin.
    static constexpr int kTurnaroundBins = 100000;

    explicit LinePacer(bool paced = false, std::int64_t turnaroundNs = 0);

    bool Paced() const { return paced_; }
    // How long the radio takes between the last byte of a request and the first of its reply.
    std::int64_t TurnaroundNs() const { return paced_ ? turnaroundNs_ : 0; }
    static std::int64_t ByteNs(int baud);

    // One byte from the tool, read at readNs on a line at baud: when its last bit has arrived.
    std::int64_t Receive(std::int64_t readNs, int baud);
    // A frame of count bytes the radio is ready to send at readyNs: when its last byte has
    // crossed, which is when it is handed to the tool in one piece.
    std::int64_t Send(std::int64_t readyNs, int count, int baud);

    // A reply was written to the tool at nowNs, late by lateNs against its deadline.
    void Delivered(std::int64_t nowNs, std::int64_t lateNs);
    // The tool's bytes were read at nowNs: the first after a delivery is its turnaround.
    void ToolBytesRead(std::int64_t nowNs);

    struct Figures {
        long long bytesFromTool = 0;
        long long bytesToTool = 0;
        std::int64_t wireNs = 0;  // every byte above at its rate, back to back
        long long replies = 0;
        std::int64_t lateNsSum = 0;  // every reply's lateness added up
        std::int64_t lateNsMax = 0;
        long long turnarounds = 0;
        std::int64_t turnaroundMedianNs = 0;
        std::int64_t turnaroundMaxNs = 0;
        std::int64_t turnaroundNsSum = 0;
    };
    Figures Totals() const;

  private:
    bool paced_;
    std::int64_t turnaroundNs_;
    std::int64_t rxFreeNs_ = 0;  // when the line from the tool has carried all it was given
    std::int64_t txFreeNs_ = 0;  // the same towards the tool
    Figures totals_;
    bool awaitingTool_ = false;
    std::int64_t deliveredNs_ = 0;
    std::vector<std::uint32_t> turnaroundBins_;
};
