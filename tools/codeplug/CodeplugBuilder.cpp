#include "CodeplugBuilder.h"

#include "convert/CodeplugVersion.h"

CodeplugBuilder::CodeplugBuilder(CodeplugImage& img, uint8_t versionIndex)
    : img_(img), version_(versionIndex) {
    img_.clear();
}

int CodeplugBuilder::add(const Block& b, uint16_t fill) {
    const int start = pos_;
    const int count = static_cast<int>(b.tables.size());
    int length = b.descriptorOffset + count;
    for (const Table& t : b.tables)
        length += t.entries * t.words;

    for (int w = 4; w < b.descriptorOffset; ++w)
        img_.setWord(start + w, fill);
    img_.setWord(start, kBlockMarker);
    img_.setWord(start + 1, static_cast<uint16_t>((b.blockClass << 14) | length));
    const bool fiveBit = version_ == kVersion510;
    img_.setWord(start + 2,
                 static_cast<uint16_t>((count << (fiveBit ? 11 : 12)) | b.descriptorOffset));
    img_.setWord(start + 3, b.key);
    for (const auto& [word, value] : b.fixed)
        img_.setWord(start + word, value);

    int data = start + b.descriptorOffset + count;
    for (int t = 0; t < count; ++t) {
        const Table& table = b.tables[t];
        img_.setWord(start + b.descriptorOffset + t,
                     static_cast<uint16_t>((table.entries << 8) | table.words));
        const int words = table.entries * table.words;
        for (int i = 0; i < words; ++i) {
            img_.setWord(data + i, i < static_cast<int>(table.data.size()) ? table.data[i] : fill);
        }
        data += words;
    }
    pos_ = start + length;
    return start;
}

int CodeplugBuilder::finish(int ordinals, int systems) {
    int major = 0;
    int minor = 0;
    versionNumbersOf(version_, major, minor);
    const int words = pos_ + kTrailerWords;
    img_.setWord(3, static_cast<uint16_t>((major << 8) | minor));
    img_.setWord(4, static_cast<uint16_t>(words));
    img_.setWord(14, static_cast<uint16_t>((ordinals << 8) | systems));
    return words;
}
