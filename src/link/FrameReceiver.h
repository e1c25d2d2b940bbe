#pragma once

#include <bitset>
#include <cstdint>

#include "link/Frame.h"
#include "link/LinkTypes.h"

// The receive state machine. Bytes are gathered between a start byte and an end byte; an end
// byte evaluates the gathered bytes only when the second of them (the destination address) is
// one this receiver accepts, otherwise gathering goes on. Evaluation unescapes, checks the sum
// and yields the payload (without addresses and checksum).
//
// The gather buffer is fixed at kCapacity bytes and is never written beyond: when it is full,
// what was gathered is dropped and every byte up to the next start byte is ignored. An escape
// byte followed by anything but 00, 01 or 02 (or ending the frame) makes the frame garbled and
// it is dropped like one with a bad sum.
class FrameReceiver {
  public:
    static constexpr int kCapacity = 1028;

    enum class Event {
        kNone,         // byte gathered (or ignored); no frame ended
        kFrame,        // a well-formed frame: Payload() holds it
        kBadChecksum,  // frame dropped: nonzero sum
        kGarbled,      // frame dropped: bad escape, fewer than 3 bytes, or payload too long
        kOverflow,     // gather buffer full: gathered bytes dropped, waiting for a start byte
        kNotForUs,  // end byte with a destination this receiver does not accept; gathering goes on
    };

    // Accepts frames whose second address byte is `address` (0x7F: frames for the tool).
    explicit FrameReceiver(std::uint8_t address = frame::kAddrToTool);

    void Accept(std::uint8_t address, bool on = true) { accepted_.set(address, on); }

    Event Feed(std::uint8_t byte);

    // The last well-formed frame: payload (length = unescaped count - 3) and its addresses.
    const MessageRecord& Payload() const { return payload_; }
    std::uint8_t SourceAddress() const { return addr1_; }
    std::uint8_t DestinationAddress() const { return addr2_; }

    int GatheredCount() const { return count_; }
    void Reset();

  private:
    Event Evaluate();

    std::bitset<256> accepted_;
    std::uint8_t gathered_[kCapacity] = {};
    int count_ = 0;
    bool skipping_ = false;  // after an overflow, until the next start byte
    MessageRecord payload_;
    std::uint8_t addr1_ = 0;
    std::uint8_t addr2_ = 0;
};
