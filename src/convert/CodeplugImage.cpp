#include "convert/CodeplugImage.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kLengthMask = 0x3FFF;
constexpr int kMaxBlockLength = 0x3FFF;

bool inBuffer(int pos) {
    return pos >= 0 && pos < CodeplugImage::kWords;
}

}  // namespace

uint16_t CodeplugImage::word(int pos) const {
    if (!inBuffer(pos)) {
        outOfBounds = true;
        return 0;
    }
    return words[pos];
}

void CodeplugImage::setWord(int pos, uint16_t value) {
    if (!inBuffer(pos)) {
        outOfBounds = true;
        return;
    }
    words[pos] = value;
}

void CodeplugImage::clear() {
    words.fill(0);
    outOfBounds = false;
    overflow = false;
}

uint16_t getField(const CodeplugImage& img, int pos, uint16_t mask, int shift) {
    return static_cast<uint16_t>((img.word(pos) & mask) >> shift);
}

uint16_t setField(CodeplugImage& img, int pos, uint16_t mask, int shift, int value) {
    const auto shifted = static_cast<uint16_t>(static_cast<unsigned>(value) << shift);
    img.setWord(pos, static_cast<uint16_t>((img.word(pos) & ~mask) | shifted));
    return shifted;
}

int imageWords(const CodeplugImage& img) {
    return img.word(4);
}

void setImageWords(CodeplugImage& img, int words) {
    if (words < 0 || words > CodeplugImage::kWords) {
        img.overflow = true;
        words = std::clamp(words, 0, static_cast<int>(CodeplugImage::kWords));
    }
    img.setWord(4, static_cast<uint16_t>(words));
}

void addImageWords(CodeplugImage& img, int delta) {
    setImageWords(img, imageWords(img) + delta);
}

int blockClass(const CodeplugImage& img, int block) {
    return img.word(block + 1) >> 14;
}

int blockLength(const CodeplugImage& img, int block) {
    return img.word(block + 1) & kLengthMask;
}

void setBlockLength(CodeplugImage& img, int block, int length) {
    if (length < 0 || length > kMaxBlockLength) {
        img.overflow = true;
        length = std::clamp(length, 0, kMaxBlockLength);
    }
    setField(img, block + 1, kLengthMask, 0, length);
}

void addBlockLength(CodeplugImage& img, int block, int delta) {
    setBlockLength(img, block, blockLength(img, block) + delta);
}

TableLayout tableLayout(const CodeplugImage& img, int block) {
    const uint16_t w = img.word(block + 2);
    return {w & 0x07FF, w >> 11};
}

TableLayout tableLayoutIn(const CodeplugImage& img, int block, bool fiveBitCounts) {
    if (fiveBitCounts)
        return tableLayout(img, block);
    const uint16_t w = img.word(block + 2);
    return {w & 0x0FFF, w >> 12};
}

int blockContentWords(const CodeplugImage& img, int block, bool fiveBitCounts) {
    const TableLayout layout = tableLayoutIn(img, block, fiveBitCounts);
    int words = layout.descriptorOffset + layout.tableCount;
    for (int t = 0; t < layout.tableCount; ++t) {
        const uint16_t d = img.word(block + layout.descriptorOffset + t);
        words += (d >> 8) * (d & 0xFF);
    }
    return words;
}

void setTableLayout(CodeplugImage& img, int block, int descriptorOffset, int tableCount) {
    if (descriptorOffset != -1)
        setField(img, block + 2, 0x07FF, 0, descriptorOffset & 0x07FF);
    if (tableCount != -1)
        setField(img, block + 2, 0xF800, 11, tableCount & 0x1F);
}

namespace {

int descriptorPosition(const CodeplugImage& img, int block, int table) {
    return block + tableLayout(img, block).descriptorOffset + table;
}

}  // namespace

TableShape tableShape(const CodeplugImage& img, int block, int table) {
    const uint16_t d = img.word(descriptorPosition(img, block, table));
    return {d >> 8, d & 0xFF};
}

void setTableShape(CodeplugImage& img, int block, int table, int entries, int wordsPerEntry) {
    const int pos = descriptorPosition(img, block, table);
    if (entries != -1)
        setField(img, pos, 0xFF00, 8, entries & 0xFF);
    if (wordsPerEntry != -1)
        setField(img, pos, 0x00FF, 0, wordsPerEntry & 0xFF);
}

int tableStart(const CodeplugImage& img, int block, int table, TableShape* shape) {
    const TableLayout layout = tableLayout(img, block);
    const int descriptors = block + layout.descriptorOffset;
    int pos = descriptors + layout.tableCount;
    for (int i = 0; i < table; ++i) {
        pos += tableShape(img, block, i).words();
    }
    if (shape != nullptr)
        *shape = tableShape(img, block, table);
    return pos;
}

namespace {

// Walks the blocks from word 0 and returns the first one for which match() holds, or 0.
// A zero block length would make the walk stand still, so it ends the walk.
template <typename Match>
int walkBlocks(const CodeplugImage& img, Match match) {
    const int end = imageWords(img);
    int pos = 0;
    while (pos < end && pos < CodeplugImage::kWords && img.word(pos) == kBlockMarker) {
        if (match(pos))
            return pos;
        const int length = blockLength(img, pos);
        if (length == 0)
            break;
        pos += length;
    }
    return 0;
}

}  // namespace

int findKindBlock(const CodeplugImage& img, int kind) {
    return walkBlocks(img, [&](int pos) {
        return blockClass(img, pos) == kKindClass && (img.word(pos + 3) >> 12) == kind;
    });
}

int findSystemBlock(const CodeplugImage& img, int number) {
    return walkBlocks(img, [&](int pos) {
        return blockClass(img, pos) == kSystemClass && (img.word(pos + 3) & 0xFF) == number;
    });
}

int findOrdinalBlock(const CodeplugImage& img, int ordinal) {
    if (ordinal <= 0)
        return 0;
    int seen = 0;
    return walkBlocks(
        img, [&](int pos) { return blockClass(img, pos) == kOrdinalClass && ++seen == ordinal; });
}

int systemKind(const CodeplugImage& img, int number) {
    const int block = findSystemBlock(img, number);
    if (block == 0)
        return -1;
    return img.word(block + 3) >> 12;
}

int ordinalCount(const CodeplugImage& img) {
    return img.word(14) >> 8;
}
int systemCount(const CodeplugImage& img) {
    return img.word(14) & 0xFF;
}

void moveTail(CodeplugImage& img, int destination, int source) {
    if (destination == source)
        return;
    if (!inBuffer(destination) || !inBuffer(source)) {
        // Moving from or to the end of the buffer moves nothing; beyond it is a fault.
        if (destination > CodeplugImage::kWords || source > CodeplugImage::kWords ||
            destination < 0 || source < 0) {
            img.outOfBounds = true;
        }
        return;
    }
    const int count = std::min(CodeplugImage::kWords - destination, CodeplugImage::kWords - source);
    std::memmove(&img.words[destination], &img.words[source], sizeof(uint16_t) * count);
}

void clearWords(CodeplugImage& img, int pos, int count) {
    for (int i = 0; i < count; ++i)
        img.setWord(pos + i, 0);
}

void insertWords(CodeplugImage& img, int pos, int n) {
    if (n <= 0)
        return;
    moveTail(img, pos + n, pos);
    clearWords(img, pos, std::min(n, CodeplugImage::kWords - pos));
}

void removeWords(CodeplugImage& img, int pos, int n) {
    if (n <= 0)
        return;
    moveTail(img, pos, pos + n);
}

int replaceTableData(CodeplugImage& img, int block, int table, const uint16_t* data, int n) {
    TableShape shape;
    const int start = tableStart(img, block, table, &shape);
    const int old = shape.words();
    if (data == nullptr) {
        if (old > 0)
            moveTail(img, start, start + old);
        return -old;
    }
    if (old != n)
        moveTail(img, start + n, start + old);
    for (int i = 0; i < n; ++i)
        img.setWord(start + i, data[i]);
    return n - old;
}

int replaceSystemTable(CodeplugImage& img, int number, int table, const uint16_t* data, int entries,
                       int wordsPerEntry) {
    const int block = findSystemBlock(img, number);
    if (block == 0)
        return imageWords(img);
    const int change = replaceTableData(img, block, table, data, entries * wordsPerEntry);
    setTableShape(img, block, table, entries, wordsPerEntry);
    addBlockLength(img, block, change);
    addImageWords(img, change);
    return imageWords(img);
}

void writeText10(CodeplugImage& img, const std::string& text, int field) {
    for (int i = 0; i < 5; ++i)
        img.setWord(field + i, 0x2020);
    const int n = std::min<int>(10, static_cast<int>(text.size()));
    for (int i = 0; i < n; ++i) {
        const int shift = (i % 2 == 0) ? 0 : 8;
        setField(img, field + i / 2, static_cast<uint16_t>(0xFF << shift), shift,
                 static_cast<unsigned char>(text[i]));
    }
}

std::string readText10(const CodeplugImage& img, int field) {
    std::string text;
    for (int i = 0; i < 10; ++i) {
        const int shift = (i % 2 == 0) ? 0 : 8;
        text.push_back(static_cast<char>((img.word(field + i / 2) >> shift) & 0xFF));
    }
    return text;
}
