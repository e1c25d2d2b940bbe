// Feeds arbitrary bytes to the receive state machine, as a radio (or line noise) would send
// them, on the tool's side and on the radio's side; every frame taken must travel again
// unchanged when it is framed anew. The input is also framed as a payload of its own.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "link/Frame.h"
#include "link/FrameReceiver.h"

namespace {

// Framing the payload of rx again and receiving it gives the same frame.
void CheckRoundTrip(const FrameReceiver& rx) {
    const MessageRecord& p = rx.Payload();
    FUZZ_CHECK(p.length >= 0 && p.length <= MessageRecord::kCapacity);
    // Addresses travel unescaped, so a frame whose addresses are themselves framing bytes
    // cannot be sent again as it is.
    if (frame::NeedsEscape(rx.SourceAddress()) || frame::NeedsEscape(rx.DestinationAddress()))
        return;
    const frame::WireFrame w =
        frame::Encode(p.buffer, p.length, rx.SourceAddress(), rx.DestinationAddress());
    FUZZ_CHECK(w.length <= frame::kMaxWireBytes);
    FrameReceiver again(rx.DestinationAddress());
    int frames = 0;
    for (int i = 0; i < w.length; ++i) {
        const FrameReceiver::Event e = again.Feed(w.bytes[i]);
        FUZZ_CHECK(e == FrameReceiver::Event::kNone || e == FrameReceiver::Event::kFrame);
        frames += e == FrameReceiver::Event::kFrame;
    }
    FUZZ_CHECK(frames == 1);
    FUZZ_CHECK(again.Payload().length == p.length);
    FUZZ_CHECK(std::memcmp(again.Payload().buffer, p.buffer, static_cast<size_t>(p.length)) == 0);
    FUZZ_CHECK(again.SourceAddress() == rx.SourceAddress());
}

void FeedAll(FrameReceiver& rx, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const FrameReceiver::Event e = rx.Feed(data[i]);
        FUZZ_CHECK(rx.GatheredCount() >= 0 && rx.GatheredCount() <= FrameReceiver::kCapacity);
        if (e == FrameReceiver::Event::kFrame)
            CheckRoundTrip(rx);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FrameReceiver tool;  // replies for the tool: second address 0x7F
    FeedAll(tool, data, size);
    FrameReceiver radio(frame::kAddrRadio);  // the simulated radio and interface box
    radio.Accept(frame::kAddrBox);
    FeedAll(radio, data, size);

    // The input as a payload: what is sent arrives unchanged, as long as its escaped form fits
    // the gather buffer (the radio's replies are far shorter).
    const int count =
        static_cast<int>(size < MessageRecord::kCapacity ? size : MessageRecord::kCapacity);
    const frame::WireFrame w = frame::Encode(data, count, frame::kAddrRadio, frame::kAddrToTool);
    if (w.length - 2 > FrameReceiver::kCapacity)
        return 0;
    FrameReceiver rx;
    int frames = 0;
    for (int i = 0; i < w.length; ++i)
        frames += rx.Feed(w.bytes[i]) == FrameReceiver::Event::kFrame;
    FUZZ_CHECK(frames == 1);
    FUZZ_CHECK(rx.Payload().length == count);
    FUZZ_CHECK(std::memcmp(rx.Payload().buffer, data, static_cast<size_t>(count)) == 0);
    return 0;
}
