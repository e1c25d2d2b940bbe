#include "convert/ConversionDriver.h"

#include "convert/CodeplugCheck.h"
#include "convert/CodeplugVersion.h"
#include "convert/ZKWParmsFormat5859.h"
#include "convert/ZKWParmsFormat59510.h"

namespace {

int32_t runStep(uint8_t version, CodeplugImage& img, uint8_t reverse, bool fixupsOnly) {
    auto go = [&](ZKWParmsFormatConvertBase& converter) {
        if (fixupsOnly) {
            converter.convertFixupsOnly(img, reverse);
        } else {
            converter.convert(img, reverse);
        }
        return converter.sizeChange;
    };
    if (version == kVersion59) {
        ZKWParmsFormat5859 converter;
        return go(converter);
    }
    if (version == kVersion510) {
        ZKWParmsFormat59510 converter;
        return go(converter);
    }
    return 0;
}

}  // namespace

void convertCodeplugUp(int32_t& sizeChange, CodeplugImage& img, uint8_t from, uint8_t to) {
    sizeChange = 0;
    // Every table operation reads the table count in the 5-bit layout of 5.10, so the image is
    // in that layout while a converter runs, and goes back to the 4-bit layout after when its
    // format is older than 5.10.
    if (from < kVersion510)
        setTableCountWidth(img, true);
    for (int v = from + 1; v <= to; ++v) {
        sizeChange += runStep(static_cast<uint8_t>(v), img, 0, false);
    }
    if (from == to)
        sizeChange += runStep(to, img, 0, true);
    if (to < kVersion510)
        setTableCountWidth(img, false);
}

void convertCodeplugDown(int32_t& sizeChange, CodeplugImage& img, uint8_t to, uint8_t from) {
    sizeChange = 0;
    if (from < kVersion510)
        setTableCountWidth(img, true);
    for (int v = from; v > to && v > 0; --v) {
        sizeChange += runStep(static_cast<uint8_t>(v), img, 1, false);
    }
    if (to < kVersion510)
        setTableCountWidth(img, false);
}
