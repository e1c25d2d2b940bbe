#include <gtest/gtest.h>

#include "LinkTestSupport.h"
#include "link/Frame.h"
#include "link/FrameReceiver.h"

using linktest::Bytes;
using linktest::ToolFrame;
using linktest::Wire;

namespace {

using Event = FrameReceiver::Event;
using Events = std::vector<Event>;

TEST(FrameEncode, KnownWireBytes) {
    const struct {
        const char* name;
        Bytes payload, wire;
        std::uint8_t addr2 = frame::kAddrRadio;
    } cases[] = {
        {"rate 115200", {0x09, 0x00, 0x05}, {0xBA, 0x7F, 0x01, 0x09, 0x00, 0x05, 0x72, 0x7E}},
        {"rate 19200", {0x09, 0x00, 0x01}, {0xBA, 0x7F, 0x01, 0x09, 0x00, 0x01, 0x76, 0x7E}},
        {"boot version", {0x04, 0x2D}, {0xBA, 0x7F, 0x01, 0x04, 0x2D, 0x4F, 0x7E}},
        {"DSP start, sum 7E", {0x02, 0x00}, {0xBA, 0x7F, 0x01, 0x02, 0x00, 0x10, 0x01, 0x7E}},
        {"box probe", {0x09, 0x01}, {0xBA, 0x7F, 0x4F, 0x09, 0x01, 0x28, 0x7E}, frame::kAddrBox},
        {"empty payload", {}, {0xBA, 0x7F, 0x01, 0x80, 0x7E}},
        // sum 7F+01+10+7E+BA = 0x1C8 -> checksum 0x38
        {"payload escapes",
         {0x10, 0x7E, 0xBA},
         {0xBA, 0x7F, 0x01, 0x10, 0x02, 0x10, 0x01, 0x10, 0x00, 0x38, 0x7E}},
        {"sum BA escaped", {0xC6}, {0xBA, 0x7F, 0x01, 0xC6, 0x10, 0x00, 0x7E}},
        {"sum 10 escaped", {0x70}, {0xBA, 0x7F, 0x01, 0x70, 0x10, 0x02, 0x7E}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToolFrame(c.payload, c.addr2), c.wire) << c.name;
    }
}

TEST(FrameEncode, ChecksumBringsSumToZero) {
    const Bytes payloads[] = {{}, {0x00}, {0xFF, 0xFF}, {0x04, 0x2D}, {0x09, 0x00, 0x05}};
    for (const Bytes& p : payloads) {
        std::uint8_t c = frame::Checksum(0x7F, 0x01, p.data(), static_cast<int>(p.size()));
        unsigned sum = 0x7F + 0x01 + c;
        for (auto b : p)
            sum += b;
        EXPECT_EQ(sum & 0xFF, 0u);
    }
}

TEST(FrameEncode, LongPayloadIsClampedToRecordCapacity) {
    Bytes payload(2000, 0xBA);
    frame::WireFrame w = frame::Encode(payload.data(), 2000);
    EXPECT_LE(w.length, frame::kMaxWireBytes);
    EXPECT_EQ(w.length, 3 + 2 * 1024 + 1 + 1);  // checksum of 1024 x BA + 80 is 0x80: plain
}

// Feeds bytes and returns the events that are not kNone.
Events FeedAll(FrameReceiver& rx, const Bytes& bytes) {
    Events events;
    for (auto b : bytes) {
        auto e = rx.Feed(b);
        if (e != Event::kNone)
            events.push_back(e);
    }
    return events;
}

Bytes PayloadOf(const FrameReceiver& rx) {
    return Bytes(rx.Payload().buffer, rx.Payload().buffer + rx.Payload().length);
}

TEST(FrameReceiver, RoundTripsEveryByteValue) {
    Bytes all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<std::uint8_t>(i));
    const Bytes payloads[] = {
        {}, {0x04, 0x1D, 0x05, 0x0A}, {0x10, 0x7E, 0xBA, 0x10}, all, Bytes(512, 0x7E)};
    for (const Bytes& p : payloads) {
        FrameReceiver rx;
        auto ev = FeedAll(rx, Wire(p));
        ASSERT_EQ(ev.size(), 1u);
        EXPECT_EQ(ev[0], Event::kFrame);
        EXPECT_EQ(PayloadOf(rx), p);
        EXPECT_EQ(rx.SourceAddress(), 0x01);
        EXPECT_EQ(rx.DestinationAddress(), 0x7F);
    }
}

TEST(FrameReceiver, StartByteRestartsGathering) {
    FrameReceiver rx;
    Bytes bytes = {0xBA, 0x01, 0x7F, 0x04, 0x1D};  // partial frame, then a whole one
    Bytes whole = Wire({0x04, 0x2E, 0x03, 0x02});
    bytes.insert(bytes.end(), whole.begin(), whole.end());
    auto ev = FeedAll(rx, bytes);
    ASSERT_EQ(ev, Events{Event::kFrame});
    EXPECT_EQ(PayloadOf(rx), (Bytes{0x04, 0x2E, 0x03, 0x02}));
}

TEST(FrameReceiver, FrameForAnotherAddressIsNeverTaken) {
    FrameReceiver rx;
    // The tool's own frame, echoed: second address byte 01.
    Bytes echo = ToolFrame({0x04, 0x2D});
    auto ev = FeedAll(rx, echo);
    EXPECT_EQ(ev, Events{Event::kNotForUs});
    // Gathering went on past the end byte; the next start byte discards it.
    EXPECT_GT(rx.GatheredCount(), 0);
    ev = FeedAll(rx, Wire({0x04, 0x2E, 0x01, 0x09}));
    EXPECT_EQ(ev, Events{Event::kFrame});
}

TEST(FrameReceiver, EndByteWithoutStartAfterForeignFrameKeepsGathering) {
    FrameReceiver rx;
    // No start byte between: the bytes of both run together and the sum fails.
    Bytes bytes = {0xBA, 0x7F, 0x01, 0x04, 0x2D, 0x4F, 0x7E, 0x01, 0x7F, 0x00, 0x80, 0x7E};
    auto ev = FeedAll(rx, bytes);
    EXPECT_EQ(ev.front(), Event::kNotForUs);
    EXPECT_EQ(rx.GatheredCount(), 9);  // still gathering: second byte is 01
}

TEST(FrameReceiver, BadChecksumIsDropped) {
    FrameReceiver rx;
    Bytes bad = Wire({0x04, 0x2E, 0x03, 0x02});
    bad[bad.size() - 2] ^= 0x01;
    EXPECT_EQ(FeedAll(rx, bad), Events{Event::kBadChecksum});
    EXPECT_EQ(rx.GatheredCount(), 0);
}

TEST(FrameReceiver, GarbledEscapesAndShortFramesAreDropped) {
    const Bytes cases[] = {
        {0xBA, 0x01, 0x7F, 0x10, 0x05, 0x00, 0x7E},  // escape followed by 05
        {0xBA, 0x01, 0x7F, 0x10, 0x7E},              // escape ends the frame
        {0xBA, 0x81, 0x7F, 0x7E},                    // two bytes: no checksum
    };
    for (const Bytes& c : cases) {
        FrameReceiver rx;
        EXPECT_EQ(FeedAll(rx, c), Events{Event::kGarbled});
    }
}

TEST(FrameReceiver, EndByteBeforeSecondAddressKeepsGathering) {
    FrameReceiver rx;
    EXPECT_EQ(FeedAll(rx, {0x7E}), Events{Event::kNotForUs});
    EXPECT_EQ(FeedAll(rx, {0xBA, 0x01, 0x7E}), Events{Event::kNotForUs});
}

TEST(FrameReceiver, LargestFrameFitsAndOneMoreByteIsTooLong) {
    // 2 addresses + 1024 payload + checksum = 1027 gathered bytes: accepted.
    Bytes payload(1024, 0x11);
    FrameReceiver rx;
    EXPECT_EQ(FeedAll(rx, Wire(payload)), Events{Event::kFrame});
    EXPECT_EQ(rx.Payload().length, 1024);
    // 1028 gathered bytes: fits the buffer but the payload would not fit a record.
    Bytes wire = {0xBA, 0x01, 0x7F};
    unsigned sum = 0x80;
    for (int i = 0; i < 1024; ++i)
        wire.push_back(0x11), sum += 0x11;
    wire.push_back(0x11), sum += 0x11;
    wire.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    wire.push_back(0x7E);
    ASSERT_EQ(wire.size(), 1u + 1028 + 1);
    EXPECT_EQ(FeedAll(rx, wire), Events{Event::kGarbled});
}

TEST(FrameReceiver, OverflowNeverWritesPastBufferAndResyncsOnStart) {
    FrameReceiver rx;
    Bytes noise(5000, 0x55);
    noise.insert(noise.begin(), 0xBA);
    auto ev = FeedAll(rx, noise);
    EXPECT_EQ(ev, Events{Event::kOverflow});
    EXPECT_LE(rx.GatheredCount(), FrameReceiver::kCapacity);
    // An end byte while skipping is ignored; the next start byte resynchronises.
    EXPECT_TRUE(FeedAll(rx, {0x01, 0x7F, 0x7E}).empty());
    EXPECT_EQ(FeedAll(rx, Wire({0x09, 0x02, 1, 2, 3, 4})), Events{Event::kFrame});
}

TEST(FrameReceiver, AcceptedAddressesAreConfigurable) {
    FrameReceiver rx(frame::kAddrRadio);
    rx.Accept(frame::kAddrBox);
    EXPECT_EQ(FeedAll(rx, ToolFrame({0x04, 0x2D})), Events{Event::kFrame});
    EXPECT_EQ(FeedAll(rx, ToolFrame({0x09, 0x01}, frame::kAddrBox)), Events{Event::kFrame});
    EXPECT_EQ(rx.DestinationAddress(), 0x4F);
}

}  // namespace
