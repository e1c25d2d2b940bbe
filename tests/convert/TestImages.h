#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "CodeplugBuilder.h"
#include "CodeplugGenerator.h"
#include "convert/CodeplugCheck.h"
#include "convert/CodeplugImage.h"
#include "convert/ZKWParmsFormatConvertBase.h"

// Small hand-made images for the converter tests: the standard layouts of each block kind,
// tables given by the test, everything else zero.
namespace test_images {

// Header words the tests set or read, by image word.
constexpr int kMarkerWord = 0;     // the block marker
constexpr int kClassWord = 1;      // block class in the upper bits
constexpr int kFormatWord = 3;     // the format stamp: major in bits 8-15, minor in bits 0-7
constexpr int kModelWord = 5;      // model code in bits 0-3
constexpr int kLevelWord = 6;      // bits 4-7: raised to at least 4 on the way to 5.10
constexpr int kCountsWord = 14;    // ordinal count in bits 8-15, system count in bits 0-7
constexpr int kStepWord = 24;      // bits 0-7: 1 becomes 2 on the way to 5.10
constexpr int kPairWord = 25;      // two settings (bits 8-15, 0-7) that become 1 when 0
constexpr int kListNameWord = 39;  // the favourites list's name, ten characters
constexpr int kTextWord = 46;      // ten characters, blank-filled on the way to 5.10
constexpr int kSixtyWord = 70;     // bits 0-7: becomes 60 when 0 on the way to 5.9
// System block words.
constexpr int kSystemNameWord = 65;   // the system's alias, ten characters
constexpr int kCountWord = 10;        // kinds 1 and 3: a count in bits 9-13, stepped by 4 for 5.9
constexpr int kKind4CountWord = 248;  // kind 4: the same count in bits 0-4

using Table = CodeplugBuilder::Table;
using Block = CodeplugBuilder::Block;

inline int descriptorOffset(LayoutKind kind, uint8_t v) {
    const LayoutRecord r = layoutFor(kind, v);
    return r.dataOffset - r.tableCount;
}

// A block of a standard kind with its version's table count; tables given are placed first.
inline Block standardBlock(LayoutKind kind, int blockClass, uint16_t key, uint8_t v,
                           std::vector<Table> tables = {}) {
    tables.resize(layoutFor(kind, v).tableCount);
    return Block{blockClass, key, descriptorOffset(kind, v), tables};
}

inline Block header(uint8_t v, std::vector<Table> tables = {}) {
    if (tables.empty())
        tables = {{16, 1}, {v == 5 ? 64 : 16, 2}};
    return standardBlock(LayoutKind::Header, kHeaderClass, 0, v, std::move(tables));
}

inline Block kindBlock(int kind, uint8_t v) {
    const LayoutKind k = kind == 0   ? LayoutKind::KindBlock0
                         : kind == 4 ? LayoutKind::KindBlock4
                         : kind == 5 ? LayoutKind::KindBlock5
                                     : LayoutKind::KindBlock13;
    return standardBlock(k, kKindClass, static_cast<uint16_t>(kind << 12), v);
}

// Kinds 2 and above take the kind-5 layout.
inline LayoutKind systemLayout(int kind) {
    using L = LayoutKind;
    const LayoutKind layouts[] = {L::System0, L::System1, L::System5, L::System3, L::System4};
    return kind >= 0 && kind < 5 ? layouts[kind] : LayoutKind::System5;
}

inline Block system(int kind, int number, uint8_t v, std::vector<Table> tables = {}) {
    return standardBlock(systemLayout(kind), kSystemClass,
                         static_cast<uint16_t>((kind << 12) | number), v, std::move(tables));
}

inline Block ordinal(uint8_t v, std::vector<Table> tables = {}) {
    return standardBlock(LayoutKind::Ordinal, kOrdinalClass, 0, v, std::move(tables));
}

// Positions of the blocks an image was built from, in order.
struct Built {
    std::unique_ptr<CodeplugImage> img = std::make_unique<CodeplugImage>();
    std::vector<int> blocks;
};

// Header, one kind block per kind given, one system per kind (numbered 1..), one ordinal.
inline Built build(uint8_t v, const std::vector<Block>& blocks, int ordinals, int systems) {
    Built b;
    CodeplugBuilder builder(*b.img, v);
    for (const Block& block : blocks)
        b.blocks.push_back(builder.add(block));
    builder.finish(ordinals, systems);
    return b;
}

// A header, kind block and system of one kind, and one ordinal block.
inline Built oneSystem(int kind, uint8_t v, std::vector<Table> systemTables = {},
                       std::vector<Table> headerTables = {}) {
    return build(v,
                 {header(v, std::move(headerTables)), kindBlock(kind == 3 ? 1 : kind, v),
                  system(kind, 1, v, std::move(systemTables)), ordinal(v)},
                 1, 1);
}

// A well-formed image of the generator's, in the format given, made from the seed.
inline std::unique_ptr<CodeplugImage> generated(uint8_t version, uint32_t seed) {
    auto img = std::make_unique<CodeplugImage>();
    CodeplugGeneratorOptions options;
    options.versionIndex = version;
    options.seed = seed;
    generateCodeplug(*img, options);
    return img;
}

// Runs one converter step on an image already in the 5-bit count layout; returns its size change.
template <class Converter>
int32_t convertStep(CodeplugImage& img, uint8_t reverse) {
    Converter c;
    c.convert(img, reverse);
    return c.sizeChange;
}

// Runs one converter step on an image built in the 4-bit count layout, widened first to the
// 5-bit layout the converters read.
template <class Converter>
int32_t convertWide(CodeplugImage& img, uint8_t reverse = 0) {
    setTableCountWidth(img, true);
    return convertStep<Converter>(img, reverse);
}

// Runs only a step's fix-ups on an image already in its format; returns the words it gained.
template <class Converter>
int fixupsOnlyGrowth(CodeplugImage& img) {
    const int words = imageWords(img);
    Converter c;
    c.convertFixupsOnly(img, 0);
    return imageWords(img) - words;
}

// Gives an empty table of a block entries x wordsPerEntry words of zeros, growing the block and
// the image to hold them.
inline void fillTable(CodeplugImage& img, int block, int table, int entries, int wordsPerEntry) {
    const int words = entries * wordsPerEntry;
    insertWords(img, tableStart(img, block, table), words);
    setTableShape(img, block, table, entries, wordsPerEntry);
    addBlockLength(img, block, words);
    addImageWords(img, words);
}

// A table's shape as (entries, words per entry), to check both at once.
inline std::pair<int, int> shapeOf(const CodeplugImage& img, int block, int table) {
    const TableShape shape = tableShape(img, block, table);
    return {shape.entries, shape.wordsPerEntry};
}

// The words per entry of a block's tables, in the order given.
inline std::vector<int> widthsOf(const CodeplugImage& img, int block, std::vector<int> tables) {
    for (int& table : tables)
        table = tableShape(img, block, table).wordsPerEntry;
    return tables;
}

// The `count` words of the image from `start`, each read with its bounds check.
inline std::vector<uint16_t> wordsAt(const CodeplugImage& img, int start, int count) {
    std::vector<uint16_t> words;
    for (int i = 0; i < count; ++i)
        words.push_back(img.word(start + i));
    return words;
}

}  // namespace test_images
