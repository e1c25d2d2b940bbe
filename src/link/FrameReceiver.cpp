#include "link/FrameReceiver.h"

FrameReceiver::FrameReceiver(std::uint8_t address) {
    accepted_.set(address);
}

void FrameReceiver::Reset() {
    count_ = 0;
    skipping_ = false;
}

FrameReceiver::Event FrameReceiver::Feed(std::uint8_t byte) {
    if (byte == frame::kStart) {
        Reset();
        return Event::kNone;
    }
    if (skipping_)
        return Event::kNone;
    if (byte == frame::kEnd) {
        if (count_ < 2 || !accepted_.test(gathered_[1]))
            return Event::kNotForUs;
        Event e = Evaluate();
        count_ = 0;
        return e;
    }
    if (count_ >= kCapacity) {
        count_ = 0;
        skipping_ = true;
        return Event::kOverflow;
    }
    gathered_[count_++] = byte;
    return Event::kNone;
}

FrameReceiver::Event FrameReceiver::Evaluate() {
    // Unescaping only shrinks, so it can run in place.
    int n = 0;
    for (int i = 0; i < count_; ++i) {
        std::uint8_t b = gathered_[i];
        if (b == frame::kEscape) {
            if (i + 1 >= count_)
                return Event::kGarbled;
            std::uint8_t code = gathered_[++i];
            if (code == frame::kEscapedStart) {
                b = frame::kStart;
            } else if (code == frame::kEscapedEnd) {
                b = frame::kEnd;
            } else if (code == frame::kEscapedEscape) {
                b = frame::kEscape;
            } else {
                return Event::kGarbled;
            }
        }
        gathered_[n++] = b;
    }
    if (n < 3)
        return Event::kGarbled;
    unsigned sum = 0;
    for (int i = 0; i < n; ++i)
        sum += gathered_[i];
    if ((sum & 0xFF) != 0)
        return Event::kBadChecksum;
    int length = n - 3;
    if (length > MessageRecord::kCapacity)
        return Event::kGarbled;
    addr1_ = gathered_[0];
    addr2_ = gathered_[1];
    payload_.length = length;
    for (int i = 0; i < length; ++i)
        payload_.buffer[i] = gathered_[2 + i];
    return Event::kFrame;
}
