#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "TestImages.h"
#include "convert/CodeplugCheck.h"
#include "convert/CodeplugVersion.h"
#include "convert/ConversionDriver.h"
#include "convert/RadioCodeplugConversion.h"

using namespace test_images;

namespace {

constexpr int kSeeds = 60;

// Nothing touched outside the buffer, and a convertible image in the format expected, of the
// length expected, whose every block's tables fill it exactly: fixed part, descriptors, data.
void expectWellFormed(const CodeplugImage& img, uint8_t version, int words,
                      const std::string& what) {
    ASSERT_FALSE(img.outOfBounds || img.overflow) << what;
    const CodeplugCheck check = checkConvertible(img);
    ASSERT_TRUE(check.ok) << what << ": " << check.reason;
    EXPECT_EQ(codeplugVersionIndex(img), version) << what;
    EXPECT_EQ(imageWords(img), words) << what;
    const bool fiveBit = version == kVersion510;
    for (int pos = 0; pos < imageWords(img) - kTrailerWords; pos += blockLength(img, pos))
        ASSERT_EQ(blockContentWords(img, pos, fiveBit), blockLength(img, pos))
            << what << ": block at " << pos;
}

TEST(GeneratedCodeplugs, GeneratorIsDeterministic) {
    auto a = generated(kVersion59, 7);
    auto b = generated(kVersion59, 7);
    auto c = generated(kVersion59, 8);
    EXPECT_EQ(a->words, b->words);
    EXPECT_NE(a->words, c->words);
}

struct Step {
    uint8_t from;
    uint8_t to;
};

class ConversionRoundTrip : public ::testing::TestWithParam<Step> {};

// Each seed's image in both formats is well formed as generated; the older one goes up and back
// down, the newer one goes down.
TEST_P(ConversionRoundTrip, UpDownAndDownFromTheNewerKeepTheImageWellFormed) {
    const Step step = GetParam();
    for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
        const std::string what =
            versionText(step.from) + "<->" + versionText(step.to) + " seed " + std::to_string(seed);
        auto img = generated(step.from, seed);
        auto newer = generated(step.to, seed);
        const int words = imageWords(*img);
        const int newerWords = imageWords(*newer);
        ASSERT_NO_FATAL_FAILURE(expectWellFormed(*img, step.from, words, what + " generated"));
        ASSERT_NO_FATAL_FAILURE(expectWellFormed(*newer, step.to, newerWords, what + " generated"));
        int32_t up = 0, down = 0;
        convertCodeplugUp(up, *img, step.from, step.to);
        ASSERT_NO_FATAL_FAILURE(expectWellFormed(*img, step.to, words + up, what + " up"));
        convertCodeplugDown(down, *img, step.from, step.to);
        ASSERT_NO_FATAL_FAILURE(
            expectWellFormed(*img, step.from, words + up + down, what + " back down"));

        convertCodeplugDown(down, *newer, step.from, step.to);
        ASSERT_NO_FATAL_FAILURE(
            expectWellFormed(*newer, step.from, newerWords + down, what + " newer down"));
    }
}

INSTANTIATE_TEST_SUITE_P(AllSteps, ConversionRoundTrip,
                         ::testing::Values(Step{kVersion58, kVersion59},
                                           Step{kVersion59, kVersion510},
                                           Step{kVersion58, kVersion510}),
                         [](const auto& info) {
                             return "From" + std::to_string(info.param.from) + "To" +
                                    std::to_string(info.param.to);
                         });

TEST(ConversionFixupsOnly, SecondRunChangesNothing) {
    for (uint8_t version : {kVersion59, kVersion510}) {
        for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
            auto img = generated(version, seed);
            int32_t change = 0;
            convertCodeplugUp(change, *img, version, version);
            ASSERT_TRUE(validateCodeplug(*img));
            EXPECT_EQ(codeplugVersionIndex(*img), version);
            const CodeplugImage once = *img;
            convertCodeplugUp(change, *img, version, version);
            EXPECT_EQ(change, 0) << versionText(version) << " seed " << seed;
            EXPECT_EQ(img->words, once.words) << versionText(version) << " seed " << seed;
        }
    }
}

// Random damage to well-formed images: the radio-side step either refuses the data or
// produces a well-formed image, never reads or writes outside its buffer (run under asan).
TEST(ConversionRobustness, DamagedImagesAreRefusedOrConvertedCleanly) {
    std::mt19937 rng(1234);
    auto buffer = std::make_unique<uint8_t[]>(CodeplugImage::kBytes);
    int converted = 0;
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        const uint8_t version = static_cast<uint8_t>(kVersion58 + seed % 3);
        auto img = generated(version, seed);
        const std::size_t length = static_cast<std::size_t>(imageWords(*img)) * 2;
        const int hits = 1 + static_cast<int>(rng() % 4);
        for (int h = 0; h < hits; ++h) {
            const int pos = static_cast<int>(rng() % static_cast<unsigned>(imageWords(*img)));
            img->words[pos] = static_cast<uint16_t>(rng());
        }
        storeRadioBytes(*img, buffer.get(), CodeplugImage::kBytes);
        const uint8_t target = static_cast<uint8_t>(kVersion58 + (seed / 3) % 3);
        int major = 0, minor = 0;
        versionNumbersOf(target, major, minor);
        const CodeplugConversion c = convertRadioCodeplug(buffer.get(), length, major, minor);
        if (c.result == CodeplugConversionResult::Converted) {
            ++converted;
            auto out = std::make_unique<CodeplugImage>();
            loadRadioBytes(*out, buffer.get(), c.newLength);
            EXPECT_TRUE(validateCodeplug(*out)) << "seed " << seed;
        }
    }
    EXPECT_GT(converted, 0);
}

}  // namespace
