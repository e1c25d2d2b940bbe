#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One flash or DSP image as it crossed the line: the data bytes of its blocks, the time from
// its start command to its end command, and the line's speed then.
struct ImageCrossing {
    std::uint64_t bytes = 0;
    double seconds = 0;
    int baud = 0;
};

// Watches the frames the tool sends (the link's trace) and, at the end of each flash or DSP
// image, says how its data crossed.
class ImageThroughput {
  public:
    using CrossingSink = std::function<void(const ImageCrossing& crossing)>;
    explicit ImageThroughput(CrossingSink sink) : sink_(std::move(sink)) {}

    // One traced frame as it went on the wire ('W') or a received payload ('R', ignored).
    void OnFrame(char direction, const std::uint8_t* bytes, int count, std::int64_t ms);

  private:
    CrossingSink sink_;
    int lineBaud_ = 19200;  // the line's speed, followed through the rate changes sent
    bool inImage_ = false;
    std::int64_t startMs_ = 0;
    std::uint64_t dataBytes_ = 0;
};

// "Wrote 4194304 bytes in 431.2 s (77.8 kbit/s, 84% of the line)": the line carries baud / 10
// bytes a second (a start bit, eight data bits and a stop bit each).
std::string ImageThroughputLine(std::uint64_t bytes, double seconds, int baud);
