// Feeds arbitrary bytes, as a codeplug read from a radio (every word high byte first), to the
// structural check and to every conversion the updater can make of it: to 5.8, 5.9 and 5.10
// through the path the updater takes, and through the conversion driver for every image the
// check lets pass. A refused image leaves the buffer untouched; a converted one is well formed,
// in the format asked for, fits the radio and is not converted again.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzCheck.h"
#include "convert/CodeplugCheck.h"
#include "convert/CodeplugVersion.h"
#include "convert/ConversionDriver.h"
#include "convert/RadioCodeplugConversion.h"

namespace {

using R = CodeplugConversionResult;

void ConvertForRadio(const std::uint8_t* data, std::size_t size, std::uint8_t target) {
    int major = 0;
    int minor = 0;
    versionNumbersOf(target, major, minor);
    std::vector<std::uint8_t> buffer(CodeplugImage::kBytes, 0);
    std::memcpy(buffer.data(), data, std::min<std::size_t>(size, buffer.size()));
    const std::vector<std::uint8_t> before = buffer;
    const CodeplugConversion c = convertRadioCodeplug(buffer.data(), size, major, minor);
    if (c.result != R::Converted) {
        FUZZ_CHECK(buffer == before);
        return;
    }
    FUZZ_CHECK(c.newLength > 0 && c.newLength <= CodeplugImage::kBytes && c.newLength % 2 == 0);
    auto img = std::make_unique<CodeplugImage>();
    loadRadioBytes(*img, buffer.data(), c.newLength);
    FUZZ_CHECK(validateCodeplug(*img));
    FUZZ_CHECK(codeplugVersionIndex(*img) == target);
    FUZZ_CHECK(imageWords(*img) * 2 <= CodeplugImage::kBytes);
    const CodeplugConversion again = convertRadioCodeplug(buffer.data(), c.newLength, major, minor);
    FUZZ_CHECK(again.result == R::SameFormat);
}

// The driver on its own, as the stage calls it once the image has passed the check.
void ConvertWithDriver(const CodeplugImage& checked) {
    const std::uint8_t from = codeplugVersionIndex(checked);
    if (from < kVersion58 || from > kVersion510)
        return;
    for (std::uint8_t to = kVersion58; to <= kVersion510; ++to) {
        auto img = std::make_unique<CodeplugImage>(checked);
        std::int32_t sizeChange = 0;
        if (from <= to)
            convertCodeplugUp(sizeChange, *img, from, to);
        else
            convertCodeplugDown(sizeChange, *img, to, from);
        FUZZ_CHECK(sizeChange > -CodeplugImage::kWords && sizeChange < CodeplugImage::kWords);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > CodeplugImage::kBytes + 2)
        return -1;
    auto img = std::make_unique<CodeplugImage>();
    loadRadioBytes(*img, data, size);
    const CodeplugCheck check = checkCodeplug(*img);
    FUZZ_CHECK(check.ok == validateCodeplug(*img));
    FUZZ_CHECK(check.ok == (check.rule == 0));
    FUZZ_CHECK(check.ok || !check.reason.empty());
    if (check.ok)
        ConvertWithDriver(*img);
    for (std::uint8_t target = kVersion58; target <= kVersion510; ++target)
        ConvertForRadio(data, size, target);
    return 0;
}
