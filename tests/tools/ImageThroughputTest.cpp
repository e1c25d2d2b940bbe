// The rate line after each image, from traced frames on a virtual clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/ImageThroughput.h"
#include "link/Frame.h"

namespace {

struct Meter {
    std::vector<std::string> lines;
    ImageThroughput meter{[this](const ImageCrossing& c) {
        lines.push_back(ImageThroughputLine(c.bytes, c.seconds, c.baud));
    }};

    void Sent(std::vector<std::uint8_t> payload, std::int64_t ms) {
        const frame::WireFrame w = frame::Encode(payload.data(), static_cast<int>(payload.size()));
        meter.OnFrame('W', w.bytes, w.length, ms);
    }
    void Block(std::int64_t ms, std::uint8_t fill = 0x00) {
        std::vector<std::uint8_t> block = {0x02, 0x09};
        block.resize(130, fill);
        Sent(block, ms);
    }
};

TEST(ImageThroughput, LineText) {
    EXPECT_EQ(ImageThroughputLine(4194304, 431.2, 115200),
              "Wrote 4194304 bytes in 431.2 s (77.8 kbit/s, 84% of the line)");
    // A share just under a whole percent is not rounded up to it.
    EXPECT_EQ(ImageThroughputLine(11490, 1.0, 115200),
              "Wrote 11490 bytes in 1.0 s (91.9 kbit/s, 99% of the line)");
    EXPECT_EQ(ImageThroughputLine(0, 0, 115200),
              "Wrote 0 bytes in 0.0 s (0.0 kbit/s, 0% of the line)");
}

TEST(ImageThroughput, EachImageFromItsStartToItsEndAtTheRateThenInForce) {
    Meter m;
    m.Block(5);                      // outside an image: not counted
    m.Sent({0x09, 0x00, 0x05}, 10);  // 115200 baud
    m.Sent({0x02, 0x01}, 1000);
    m.Sent({0x02, 0x01}, 1100);  // repeated after a busy reply: the image goes on
    m.Block(1200);
    m.Block(1300, 0x7E);  // escaped bytes do not change the count
    std::vector<std::uint8_t> reply = {0x02, 0x09};
    reply.resize(130);
    m.meter.OnFrame('R', reply.data(), static_cast<int>(reply.size()), 1400);  // received
    m.Sent({0x02, 0x05}, 1450);
    ASSERT_TRUE(m.lines.empty());
    m.Sent({0x02, 0x04}, 1500);
    m.Sent({0x09, 0x00, 0x01}, 1600);  // back to 19200
    m.Sent({0x02, 0x01}, 2000);
    m.Block(2100);
    m.Sent({0x02, 0x04}, 4000);
    m.Sent({0x02, 0x04}, 4100);  // an end without a start says nothing
    ASSERT_EQ(m.lines.size(), 2u);
    EXPECT_EQ(m.lines[0], "Wrote 256 bytes in 0.5 s (4.1 kbit/s, 4% of the line)");
    EXPECT_EQ(m.lines[1], "Wrote 128 bytes in 2.0 s (0.5 kbit/s, 3% of the line)");
}

TEST(ImageThroughput, DspPagesAreOneImage) {
    Meter m;
    m.Sent({0x02, 0x00}, 0);
    m.Block(10);
    m.Sent({0x02, 0x08}, 20);
    m.Sent({0x02, 0x00}, 30);
    m.Block(40);
    m.Sent({0x02, 0x04}, 1000);
    ASSERT_EQ(m.lines.size(), 1u);
    EXPECT_EQ(m.lines[0], "Wrote 256 bytes in 1.0 s (2.0 kbit/s, 13% of the line)");
}

}  // namespace
