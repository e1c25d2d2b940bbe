#include "convert/CodeplugCheck.h"

#include <bitset>

#include "convert/CodeplugVersion.h"

namespace {

constexpr int kMaxOrdinals = 54;
constexpr int kMaxSystems = 16;
constexpr int kMaxSystemKind = 6;

CodeplugCheck fail(int rule, int position, std::string reason) {
    return {false, rule, position, std::move(reason)};
}

std::string at(int pos) {
    return " at word " + std::to_string(pos);
}

}  // namespace

CodeplugCheck checkCodeplug(const CodeplugImage& img) {
    if (img.word(0) != kBlockMarker)
        return fail(1, 0, "no block marker at word 0");
    if (blockClass(img, 0) != kHeaderClass)
        return fail(1, 0, "the first block is no header block");

    const int words = imageWords(img);
    if (words <= kTrailerWords)
        return fail(2, 4, "image length " + std::to_string(words) + " is not above 128 words");
    if (words > CodeplugImage::kWords)
        return fail(2, 4, "image length " + std::to_string(words) + " exceeds the buffer");
    const int ordinals = ordinalCount(img);
    const int systems = systemCount(img);
    if (ordinals < 1 || ordinals > kMaxOrdinals)
        return fail(2, 14, "ordinal count " + std::to_string(ordinals) + " is not 1..54");
    if (systems < 1 || systems > kMaxSystems)
        return fail(2, 14, "system count " + std::to_string(systems) + " is not 1..16");

    const int end = words - kTrailerWords;
    int pos = 0;
    int kindBlocks = 0, systemBlocks = 0, ordinalBlocks = 0;
    std::bitset<kMaxSystemKind + 1> kinds;
    while (pos < end) {
        if (img.word(pos) != kBlockMarker)
            return fail(3, pos, "block marker missing" + at(pos));
        const int length = blockLength(img, pos);
        if (length == 0)
            return fail(3, pos, "block of length 0" + at(pos));
        switch (blockClass(img, pos)) {
            case kKindClass:
                ++kindBlocks;
                break;
            case kSystemClass: {
                ++systemBlocks;
                int kind = img.word(pos + 3) >> 12;
                if (kind > kMaxSystemKind)
                    return fail(3, pos, "system kind " + std::to_string(kind) + at(pos));
                if (kind == 3)
                    kind = 1;  // kinds 1 and 3 share one kind block
                kinds.set(kind);
                break;
            }
            case kOrdinalClass:
                ++ordinalBlocks;
                break;
            default:
                break;
        }
        pos += length;
    }
    if (pos != end)
        return fail(
            4, pos,
            "block walk ends at word " + std::to_string(pos) + ", not at " + std::to_string(end));
    if (kindBlocks != static_cast<int>(kinds.count()))
        return fail(5, 0,
                    std::to_string(kindBlocks) + " kind blocks for " +
                        std::to_string(kinds.count()) + " system kinds");
    if (systemBlocks != systems)
        return fail(5, 14,
                    std::to_string(systemBlocks) + " system blocks, header says " +
                        std::to_string(systems));
    if (ordinalBlocks != ordinals)
        return fail(5, 14,
                    std::to_string(ordinalBlocks) + " ordinal blocks, header says " +
                        std::to_string(ordinals));
    return {};
}

bool validateCodeplug(const CodeplugImage& img) {
    return checkCodeplug(img).ok;
}

CodeplugCheck checkConvertible(const CodeplugImage& img) {
    CodeplugCheck check = checkCodeplug(img);
    if (!check.ok)
        return check;

    for (int number = 1; number <= systemCount(img); ++number) {
        if (findSystemBlock(img, number) == 0)
            return fail(6, 14, "no block for system " + std::to_string(number));
    }
    const bool fiveBit = codeplugVersionIndex(img) == kVersion510;
    const int end = imageWords(img) - kTrailerWords;
    for (int pos = 0; pos < end; pos += blockLength(img, pos)) {
        if (tableLayoutIn(img, pos, fiveBit).descriptorOffset < 4 ||
            blockContentWords(img, pos, fiveBit) > blockLength(img, pos))
            return fail(6, pos, "tables run past the end of the block" + at(pos));
    }
    return {};
}

void setTableCountWidth(CodeplugImage& img, bool widen) {
    const int end = imageWords(img);
    int pos = 0;
    while (pos < end && pos < CodeplugImage::kWords && img.word(pos) == kBlockMarker) {
        if (widen) {
            const int count = getField(img, pos + 2, 0xF000, 12);
            setField(img, pos + 2, 0xF000, 12, 0);
            setField(img, pos + 2, 0xF800, 11, count);
        } else {
            const int count = getField(img, pos + 2, 0xF800, 11);
            setField(img, pos + 2, 0xF800, 11, 0);
            setField(img, pos + 2, 0xF000, 12, count & 0x0F);
        }
        const int length = blockLength(img, pos);
        if (length == 0)
            break;
        pos += length;
    }
}
