#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TestImages.h"
#include "convert/CodeplugCheck.h"
#include "convert/CodeplugVersion.h"
#include "convert/RadioCodeplugConversion.h"

using namespace test_images;
using R = CodeplugConversionResult;

namespace {

// The format stamp's minor number as the radio sends it: the low byte, second.
constexpr std::size_t kFormatMinorByte = 2 * kFormatWord + 1;

// The codeplug as it comes from the radio, in a full-size buffer.
struct RadioBuffer {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(CodeplugImage::kBytes);
    std::size_t length = 0;

    // Converts the first `read` bytes for a radio that expects format major.minor.
    CodeplugConversion convert(int major, int minor, std::size_t read) {
        return convertRadioCodeplug(bytes.data(), read, major, minor);
    }
    CodeplugConversion convert(int major, int minor) { return convert(major, minor, length); }
};

RadioBuffer fromImage(const CodeplugImage& img) {
    RadioBuffer b;
    b.length = static_cast<std::size_t>(imageWords(img)) * 2;
    storeRadioBytes(img, b.bytes.data(), b.length);
    return b;
}

RadioBuffer generatedBuffer(uint8_t version) {
    return fromImage(*generated(version, 3));
}

TEST(RadioCodeplugConversion, WordsTravelHighByteFirst) {
    const uint8_t bytes[4] = {0x5F, 0x5F, 0x12, 0x34};
    CodeplugImage img;
    loadRadioBytes(img, bytes, 4);
    EXPECT_EQ(img.word(kMarkerWord), kBlockMarker);
    EXPECT_EQ(img.word(1), 0x1234);
    uint8_t out[4] = {};
    storeRadioBytes(img, out, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(bytes, bytes + 4));
}

TEST(RadioCodeplugConversion, OldUnknownOrSameFormatsWriteNothing) {
    RadioBuffer b = generatedBuffer(kVersion59);
    const std::vector<uint8_t> original = b.bytes;
    EXPECT_EQ(b.convert(5, 7).result, R::NotOffered);
    EXPECT_EQ(b.convert(6, 0).result, R::NotOffered)
        << "an unknown radio format counts as older (signed 255)";
    EXPECT_EQ(b.convert(4, 10).result, R::NotOffered);

    b.bytes[kFormatMinorByte - 1] = 5;  // stamp 5.7
    b.bytes[kFormatMinorByte] = 7;
    EXPECT_EQ(b.convert(5, 10).result, R::NotOffered);
    b.bytes[kFormatMinorByte] = 11;  // 5.11 is unknown
    const CodeplugConversion c = b.convert(5, 10);
    EXPECT_EQ(c.result, R::NotOffered);
    EXPECT_EQ(c.codeplugIndex, 255);
    EXPECT_EQ(c.newLength, b.length);
    b.bytes[kFormatMinorByte] = 9;
    EXPECT_EQ(b.bytes, original) << "nothing is written unless converted";

    RadioBuffer same = generatedBuffer(kVersion510);
    const std::vector<uint8_t> original510 = same.bytes;
    const CodeplugConversion kept = same.convert(5, 10);
    EXPECT_EQ(kept.result, R::SameFormat);
    EXPECT_EQ(kept.sizeChange, 0);
    EXPECT_EQ(same.bytes, original510);
}

TEST(RadioCodeplugConversion, BadDataIsInvalid) {
    RadioBuffer b = generatedBuffer(kVersion59);
    EXPECT_EQ(b.convert(5, 10, 0).result, R::Invalid);
    EXPECT_EQ(b.convert(5, 10, b.length - 1).result, R::Invalid);
    EXPECT_EQ(b.convert(5, 10, CodeplugImage::kBytes + 2).result, R::Invalid);
    // The trailer may be cut short, the blocks may not.
    EXPECT_EQ(b.convert(5, 10, b.length - 256).result, R::Converted);
    b = generatedBuffer(kVersion59);
    const CodeplugConversion truncated = b.convert(5, 10, b.length - 258);
    EXPECT_EQ(truncated.result, R::Invalid);
    EXPECT_NE(truncated.reason.find("longer than the data read"), std::string::npos);
    b.bytes[0] = 0;
    const CodeplugConversion broken = b.convert(5, 10);
    EXPECT_EQ(broken.result, R::Invalid);
    EXPECT_FALSE(broken.reason.empty());
}

TEST(RadioCodeplugConversion, ConvertsUpAndDownWithTheNewLength) {
    RadioBuffer b = generatedBuffer(kVersion58);
    const std::size_t padding = 100;  // whole transfer blocks read past the image
    b.length += padding;
    const CodeplugConversion up = b.convert(5, 10);
    ASSERT_EQ(up.result, R::Converted) << up.reason;
    EXPECT_EQ(up.codeplugIndex, kVersion58);
    EXPECT_EQ(up.radioIndex, kVersion510);
    EXPECT_GT(up.sizeChange, 0);
    EXPECT_EQ(up.newLength, b.length + 2 * up.sizeChange);
    CodeplugImage img;
    loadRadioBytes(img, b.bytes.data(), up.newLength);
    EXPECT_EQ(img.word(kFormatWord), 0x050A);
    EXPECT_TRUE(validateCodeplug(img));

    const CodeplugConversion down = b.convert(5, 8, up.newLength);
    ASSERT_EQ(down.result, R::Converted) << down.reason;
    EXPECT_LT(down.sizeChange, 0);
    EXPECT_EQ(down.newLength, up.newLength - 2 * static_cast<std::size_t>(-down.sizeChange));
    loadRadioBytes(img, b.bytes.data(), down.newLength);
    EXPECT_EQ(img.word(kFormatWord), 0x0508);
    EXPECT_TRUE(validateCodeplug(img));
}

TEST(RadioCodeplugConversion, AnImageThatOutgrowsTheBufferIsRefused) {
    // A 5.9 image close to the buffer's size whose widened tables no longer fit in 5.10.
    CodeplugImage big;
    CodeplugBuilder bigBuilder(big, kVersion59);
    bigBuilder.add(header(4));
    bigBuilder.add(kindBlock(0, 4));
    bigBuilder.add(system(0, 1, 4, {{}, {}, {}, {10, 36}}));
    for (int i = 0; i < 54; ++i)
        bigBuilder.add(ordinal(4, {{14, 17}}));
    const int words = bigBuilder.finish(54, 1);
    ASSERT_TRUE(validateCodeplug(big));
    ASSERT_LE(words, CodeplugImage::kWords);
    // 5.10 adds 54 x 14 words to the ordinals, 220 to the system and 116 to the header.
    ASSERT_GT(words + 54 * 14 + 220 + 116, CodeplugImage::kWords);
    RadioBuffer b = fromImage(big);
    const std::vector<uint8_t> original = b.bytes;
    const CodeplugConversion c = b.convert(5, 10);
    EXPECT_EQ(c.result, R::DoesNotFit);
    EXPECT_FALSE(c.reason.empty());
    EXPECT_EQ(b.bytes, original) << "nothing is handed on truncated";
}

}  // namespace
