#pragma once

#include <cstdint>
#include <vector>

// The radio's side of the flash and DSP downloads, as a pure state machine: it takes the
// payloads of the tool's frames and gives the payloads to answer with, each after a delay.
// The simulated radio runs it over a pseudo-terminal; unit tests run it over a fake line.
//
// It records every image it is sent, block by block, so a test can compare what was flashed
// with the image file. Faults are injected by image (0 = the first image after start-up,
// normally the loader) and by block pair within that image.
namespace flashsim {

using Bytes = std::vector<std::uint8_t>;

struct Faults {
    int image = 1;  // the image the pair and block faults below apply to; -1: every image
    int busyStartReplies = 0;   // busy replies 02 0A to each start command before 02 07
    int busyPairReplies = 0;    // busy replies to the second block of each pair
    int wrongSumAtPair = -1;    // this pair's sum is reported one too high
    int verifyFailAtPair = -1;  // this pair is answered with a verify failure
    std::uint32_t verifyFailAddress = 0xFE040100;
    int silentFromBlock = -1;      // no answer to this block of the image, nor to anything after
    bool hangUpAtSilence = false;  // the simulated radio closes the line instead of going quiet
};

struct Settings {
    std::uint8_t processorByte = 4;  // byte 3 of the reply to the processor query 02 0B
    double replyDelayMs = 1;         // every reply is sent this long after its request
    double eraseMs = 0;              // after the first image ends, the next start waits this long
    double restartMs = 0;            // after an image that is not the first, silence this long
};

struct FlashedImage {
    bool dspPages = false;     // a DSP page session (02 00) rather than an image (02 01)
    Bytes data;                // every accepted block's 128 data bytes, in order
    std::vector<Bytes> pages;  // DSP: the data of each page, closed by 02 08
    int blocks = 0;            // blocks received, resends and busy-answered repeats included
    int resends = 0;           // blocks received again after a rejected sum
    int rejectedPairs = 0;     // 02 06 received
    bool ended = false;        // 02 04 received
    double startMs = 0;        // when its start command arrived
};

struct Reply {
    Bytes payload;
    double delayMs;
};

class FlashTarget {
  public:
    FlashTarget(Settings settings = {}, Faults faults = {})
        : settings_(settings), faults_(faults) {}

    // One request payload (command code first) received at nowMs; the replies to send.
    std::vector<Reply> OnRequest(const Bytes& payload, double nowMs);

    const std::vector<FlashedImage>& Images() const { return images_; }
    // Rates the tool asked for with 09 00 c, in order.
    const std::vector<int>& RateChanges() const { return rates_; }
    int ProcessorQueries() const { return processorQueries_; }
    // True once a silence fault has begun (the simulated radio may then hang up).
    bool Silenced() const { return silenced_; }
    // The radio restarts after an image that is not the first: it answers nothing until then.
    double SilentUntilMs() const { return silentUntilMs_; }
    // True once an image other than the first (boot or application code) has ended.
    bool CodeFlashed() const { return codeFlashed_; }

  private:
    enum class Phase { kIdle, kImage, kPages };
    bool FaultsApply() const;
    std::vector<Reply> OnStart(bool pages, double nowMs);
    std::vector<Reply> OnBlock(const Bytes& payload);
    std::vector<Reply> OnVerdict(bool matches);
    std::vector<Reply> One(Bytes payload, double extraMs = 0) const;

    Settings settings_;
    Faults faults_;
    std::vector<FlashedImage> images_;
    std::vector<int> rates_;
    Phase phase_ = Phase::kIdle;
    int imageIndex_ = -1;
    int sessionImage_ = -1;  // the image's place since the radio last restarted
    Bytes firstBlock_;
    bool haveFirst_ = false;
    bool awaitingVerdict_ = false;
    bool resending_ = false;
    int pair_ = 0;
    int busyStartLeft_ = 0;
    int busyPairLeft_ = 0;
    bool silenced_ = false;
    double readyAtMs_ = 0;
    double silentUntilMs_ = 0;
    int processorQueries_ = 0;
    bool codeFlashed_ = false;
};

// 16-bit sum of the little-endian words of data (as the tool adds them).
std::uint16_t PairSum(const Bytes& data);

}  // namespace flashsim
