#include "ImageThroughput.h"

#include <cmath>
#include <cstdio>

#include "link/Frame.h"
#include "link/Protocol.h"

namespace {

// Offsets in a wire frame the tool sends: start byte, two address bytes, then the payload's
// command code. Codes never need escaping, so they sit at fixed places.
constexpr int kGroupAt = 3;
constexpr int kFunctionAt = 4;
constexpr int kRateCodeAt = 5;
constexpr std::uint8_t kFlashGroup = 0x02;
constexpr std::uint8_t kPageStart = 0x00;
constexpr std::uint8_t kImageStart = 0x01;
constexpr std::uint8_t kImageEnd = 0x04;
constexpr std::uint8_t kDataBlock = 0x09;
constexpr std::uint8_t kRateGroup = 0x09;
constexpr std::uint8_t kRateChange = 0x00;
constexpr std::uint64_t kBlockDataBytes = 128;
constexpr int kBitsPerByte = 10;

}  // namespace

std::string ImageThroughputLine(std::uint64_t bytes, double seconds, int baud) {
    const double kbits = seconds > 0 ? static_cast<double>(bytes) * 8 / seconds / 1000 : 0;
    const double lineBytesPerSecond = static_cast<double>(baud) / kBitsPerByte;
    const double share = seconds > 0 && baud > 0
                             ? 100 * static_cast<double>(bytes) / seconds / lineBytesPerSecond
                             : 0;
    char text[160];
    std::snprintf(text, sizeof text, "Wrote %llu bytes in %.1f s (%.1f kbit/s, %.0f%% of the line)",
                  static_cast<unsigned long long>(bytes), seconds, kbits, std::floor(share));
    return text;
}

void ImageThroughput::OnFrame(char direction, const std::uint8_t* bytes, int count,
                              std::int64_t ms) {
    if (direction != 'W' || count <= kFunctionAt || bytes[0] != frame::kStart)
        return;
    const std::uint8_t group = bytes[kGroupAt];
    const std::uint8_t function = bytes[kFunctionAt];
    if (group == kRateGroup && function == kRateChange && count > kRateCodeAt) {
        const int rate = RateFromChangeCode(bytes[kRateCodeAt]);
        if (rate > 0)
            lineBaud_ = rate;
        return;
    }
    if (group != kFlashGroup)
        return;
    if (function == kImageStart || function == kPageStart) {
        // A repeated start (after a busy reply) or a new DSP page does not restart the count.
        if (!inImage_) {
            inImage_ = true;
            startMs_ = ms;
            dataBytes_ = 0;
        }
    } else if (function == kDataBlock && inImage_) {
        dataBytes_ += kBlockDataBytes;
    } else if (function == kImageEnd && inImage_) {
        inImage_ = false;
        sink_({dataBytes_, static_cast<double>(ms - startMs_) / 1000, lineBaud_});
    }
}
