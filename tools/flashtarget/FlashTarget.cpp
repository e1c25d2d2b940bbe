#include "FlashTarget.h"

#include <algorithm>

namespace flashsim {

namespace {

constexpr std::uint8_t kGroup = 0x02;
constexpr std::uint8_t kPageStart = 0x00;
constexpr std::uint8_t kStart = 0x01;
constexpr std::uint8_t kSum = 0x02;
constexpr std::uint8_t kPageAccepted = 0x03;
constexpr std::uint8_t kEnd = 0x04;
constexpr std::uint8_t kMatches = 0x05;
constexpr std::uint8_t kDiffers = 0x06;
constexpr std::uint8_t kReady = 0x07;
constexpr std::uint8_t kPageEnd = 0x08;
constexpr std::uint8_t kBlock = 0x09;
constexpr std::uint8_t kBusy = 0x0A;
constexpr std::uint8_t kProcessorQuery = 0x0B;
constexpr std::uint8_t kProcessorReply = 0x0C;
constexpr std::size_t kBlockPayload = 130;

// The radio's own reading of a rate-change code, kept apart from the link's table on purpose:
// a code the tool gets wrong then shows in the rates a test reads back (RateChanges) instead
// of both ends agreeing on one mistake. Code 1 and any code it does not know are 19200 baud.
int RateOf(std::uint8_t code) {
    switch (code) {
        case 0:
            return 9600;
        case 3:
            return 38400;
        case 4:
            return 57600;
        case 5:
            return 115200;
        default:
            return 19200;
    }
}

}  // namespace

std::uint16_t PairSum(const Bytes& data) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        sum = static_cast<std::uint16_t>(sum + (data[i] | (data[i + 1] << 8)));
    return sum;
}

bool FlashTarget::FaultsApply() const {
    return faults_.image < 0 || faults_.image == imageIndex_;
}

std::vector<Reply> FlashTarget::One(Bytes payload, double extraMs) const {
    return {Reply{std::move(payload), settings_.replyDelayMs + extraMs}};
}

std::vector<Reply> FlashTarget::OnRequest(const Bytes& payload, double nowMs) {
    if (silenced_ || nowMs < silentUntilMs_ || payload.size() < 2)
        return {};
    if (payload[0] == 0x09 && payload[1] == 0x00 && payload.size() >= 3) {
        rates_.push_back(RateOf(payload[2]));
        return {};
    }
    if (payload[0] != kGroup)
        return {};
    switch (payload[1]) {
        case kStart:
            return OnStart(false, nowMs);
        case kPageStart:
            return OnStart(true, nowMs);
        case kBlock:
            return OnBlock(payload);
        case kMatches:
        case kDiffers:
            return OnVerdict(payload[1] == kMatches);
        case kPageEnd:
            if (phase_ != Phase::kPages)
                return {};
            images_.back().pages.emplace_back();
            haveFirst_ = false;
            return One({kGroup, kPageAccepted});
        case kEnd:
            if (phase_ == Phase::kIdle)
                return {};
            images_.back().ended = true;
            if (images_.back().dspPages && !images_.back().pages.empty() &&
                images_.back().pages.back().empty())
                images_.back().pages.pop_back();  // the empty page opened by the last 02 08
            // The loader of a bootload session is followed by the erase; any image after it
            // by a restart, which begins a new session (a boot update's application comes
            // with its own loader again).
            if (sessionImage_ == 0) {
                readyAtMs_ = nowMs + settings_.eraseMs;
            } else {
                silentUntilMs_ = nowMs + settings_.restartMs;
                sessionImage_ = -1;
            }
            codeFlashed_ = codeFlashed_ || (imageIndex_ > 0 && !images_.back().dspPages);
            phase_ = Phase::kIdle;
            return {};
        case kProcessorQuery:
            ++processorQueries_;
            return One({kGroup, kProcessorReply, 0x00, settings_.processorByte});
        default:
            return {};
    }
}

std::vector<Reply> FlashTarget::OnStart(bool pages, double nowMs) {
    if (phase_ == Phase::kIdle) {
        // A busy repeat of the same start stays in the image it opened.
        images_.emplace_back();
        ++imageIndex_;
        ++sessionImage_;
        images_.back().dspPages = pages;
        images_.back().startMs = nowMs;
        if (pages)
            images_.back().pages.emplace_back();
        phase_ = pages ? Phase::kPages : Phase::kImage;
        haveFirst_ = awaitingVerdict_ = resending_ = false;
        pair_ = 0;
        busyStartLeft_ = FaultsApply() ? faults_.busyStartReplies : 0;
    }
    if (busyStartLeft_ > 0) {
        --busyStartLeft_;
        return One({kGroup, kBusy});
    }
    const double wait = std::max(0.0, readyAtMs_ - nowMs);
    return One({kGroup, kReady}, wait);
}

std::vector<Reply> FlashTarget::OnBlock(const Bytes& payload) {
    if (phase_ == Phase::kIdle || payload.size() != kBlockPayload)
        return {};
    FlashedImage& image = images_.back();
    if (FaultsApply() && faults_.silentFromBlock >= 0 && image.blocks >= faults_.silentFromBlock) {
        silenced_ = true;
        return {};
    }
    ++image.blocks;
    Bytes data(payload.begin() + 2, payload.end());
    Bytes& sink = image.dspPages ? image.pages.back() : image.data;
    if (resending_) {
        // The second block of a rejected pair, again: it replaces the copy kept before.
        ++image.resends;
        std::copy(data.begin(), data.end(), sink.end() - static_cast<long>(data.size()));
        return One({kGroup, kReady});
    }
    if (!haveFirst_) {
        firstBlock_ = data;
        haveFirst_ = true;
        sink.insert(sink.end(), data.begin(), data.end());
        return One({kGroup, kReady});
    }
    if (FaultsApply() && busyPairLeft_ < faults_.busyPairReplies) {
        ++busyPairLeft_;
        return One({kGroup, kBusy});
    }
    busyPairLeft_ = 0;
    sink.insert(sink.end(), data.begin(), data.end());
    Bytes pair = firstBlock_;
    pair.insert(pair.end(), data.begin(), data.end());
    std::uint16_t sum = PairSum(pair);
    if (FaultsApply() && pair_ == faults_.wrongSumAtPair)
        sum = static_cast<std::uint16_t>(sum + 1);
    haveFirst_ = false;
    awaitingVerdict_ = true;
    return One(
        {kGroup, kSum, static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum & 0xFF)});
}

std::vector<Reply> FlashTarget::OnVerdict(bool matches) {
    if (!awaitingVerdict_)
        return {};
    awaitingVerdict_ = false;
    FlashedImage& image = images_.back();
    const int pair = pair_++;
    if (!matches) {
        ++image.rejectedPairs;
        resending_ = phase_ == Phase::kImage;
    }
    if (phase_ == Phase::kImage && FaultsApply() && pair == faults_.verifyFailAtPair) {
        const std::uint32_t a = faults_.verifyFailAddress;
        return One({kGroup, kBusy, static_cast<std::uint8_t>(a >> 24),
                    static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8),
                    static_cast<std::uint8_t>(a)});
    }
    return One({kGroup, kReady});
}

}  // namespace flashsim
