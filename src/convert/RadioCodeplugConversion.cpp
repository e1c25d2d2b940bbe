#include "convert/RadioCodeplugConversion.h"

#include <algorithm>
#include <memory>

#include "convert/CodeplugCheck.h"
#include "convert/CodeplugVersion.h"
#include "convert/ConversionDriver.h"

void loadRadioBytes(CodeplugImage& img, const uint8_t* bytes, std::size_t length) {
    img.clear();
    const std::size_t words = std::min<std::size_t>(length / 2, CodeplugImage::kWords);
    for (std::size_t k = 0; k < words; ++k) {
        img.words[k] = static_cast<uint16_t>((bytes[2 * k] << 8) | bytes[2 * k + 1]);
    }
}

void storeRadioBytes(const CodeplugImage& img, uint8_t* bytes, std::size_t length) {
    const std::size_t words = std::min<std::size_t>(length / 2, CodeplugImage::kWords);
    for (std::size_t k = 0; k < words; ++k) {
        bytes[2 * k] = static_cast<uint8_t>(img.words[k] >> 8);
        bytes[2 * k + 1] = static_cast<uint8_t>(img.words[k] & 0xFF);
    }
}

std::string versionText(uint8_t versionIndex) {
    int major = 0;
    int minor = 0;
    versionNumbersOf(versionIndex, major, minor);
    if (major == 0)
        return "unknown";
    return std::to_string(major) + "." + std::to_string(minor);
}

namespace {

CodeplugConversion failWith(CodeplugConversion c, CodeplugConversionResult result,
                            std::string reason) {
    c.result = result;
    c.reason = std::move(reason);
    return c;
}

}  // namespace

CodeplugConversion convertRadioCodeplug(uint8_t* buffer, std::size_t length, int radioMajor,
                                        int radioMinor) {
    using R = CodeplugConversionResult;
    CodeplugConversion c;
    c.newLength = length;
    c.radioIndex = versionIndexOf(radioMajor, radioMinor);
    if (length == 0)
        return failWith(c, R::Invalid, "no codeplug data");
    if (length % 2 != 0)
        return failWith(c, R::Invalid, "odd length " + std::to_string(length) + " bytes");
    if (length > CodeplugImage::kBytes)
        return failWith(c, R::Invalid, "length " + std::to_string(length) + " exceeds 32768 bytes");

    // 32 KiB: kept off the stack of the caller's event loop.
    auto img = std::make_unique<CodeplugImage>();
    loadRadioBytes(*img, buffer, length);

    const CodeplugCheck check = checkCodeplug(*img);
    if (!check.ok)
        return failWith(c, R::Invalid, check.reason);
    // The upload stops once its record walk passes the last block, so the trailer after it
    // may be cut short (its words are zero in the cleared buffer); the blocks must all be there.
    if (static_cast<std::size_t>(imageWords(*img) - kTrailerWords) * 2 > length)
        return failWith(
            c, R::Invalid,
            "image of " + std::to_string(imageWords(*img)) + " words is longer than the data read");

    c.codeplugIndex = codeplugVersionIndex(*img);
    // The indexes compare as signed bytes, so an unknown format (255) counts as older than 5.8.
    const auto from = static_cast<int8_t>(c.codeplugIndex);
    const auto to = static_cast<int8_t>(c.radioIndex);
    if (from < static_cast<int8_t>(kVersion58) || to < static_cast<int8_t>(kVersion58)) {
        c.result = R::NotOffered;
        return c;
    }
    if (from == to) {
        c.result = R::SameFormat;
        return c;
    }

    const CodeplugCheck convertible = checkConvertible(*img);
    if (!convertible.ok)
        return failWith(c, R::Invalid, convertible.reason);

    if (from < to) {
        convertCodeplugUp(c.sizeChange, *img, c.codeplugIndex, c.radioIndex);
    } else {
        convertCodeplugDown(c.sizeChange, *img, c.radioIndex, c.codeplugIndex);
    }

    // The data read may run past the image (whole transfer blocks); only the image itself
    // must fit, and the length written back never exceeds the buffer.
    const long words = imageWords(*img);
    if (img->overflow || words * 2 > CodeplugImage::kBytes)
        return failWith(c, R::DoesNotFit,
                        "the converted image needs more than the 32768 bytes the radio holds");
    if (img->outOfBounds || !validateCodeplug(*img) || codeplugVersionIndex(*img) != c.radioIndex)
        return failWith(c, R::Failed, "the conversion did not give a well-formed image");
    const long newLength =
        std::min<long>(static_cast<long>(length) + 2L * c.sizeChange, CodeplugImage::kBytes);

    c.newLength = static_cast<std::size_t>(newLength);
    storeRadioBytes(*img, buffer, c.newLength);
    c.result = R::Converted;
    return c;
}
