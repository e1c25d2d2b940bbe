#pragma once

#include <array>
#include <cstdint>
#include <string>

// The codeplug as the converters see it: 16,384 host-order 16-bit words. Every word access
// is bounds-checked: a read outside the buffer gives 0 and a write outside it is dropped, and
// both raise `outOfBounds`, so that a malformed image can never make a conversion touch memory
// outside the buffer and the caller can tell that the result is not to be trusted.
struct CodeplugImage {
    static constexpr int kWords = 16384;
    static constexpr int kBytes = kWords * 2;

    std::array<uint16_t, kWords> words{};

    // Raised by any access outside the buffer (reads too, hence mutable).
    mutable bool outOfBounds = false;
    // Raised when the image length or a block length no longer fits its field or the buffer.
    bool overflow = false;

    uint16_t word(int pos) const;
    void setWord(int pos, uint16_t value);
    void clear();
};

// Block marker at word 0 of every block.
constexpr uint16_t kBlockMarker = 0x5F5F;
// Words after the last block that belong to the image.
constexpr int kTrailerWords = 128;

enum BlockClass : int { kHeaderClass = 0, kKindClass = 1, kSystemClass = 2, kOrdinalClass = 3 };

// Bit fields.
uint16_t getField(const CodeplugImage& img, int pos, uint16_t mask, int shift);
uint16_t setField(CodeplugImage& img, int pos, uint16_t mask, int shift, int value);

// Header word 4: the image length in words, trailer included.
int imageWords(const CodeplugImage& img);
void setImageWords(CodeplugImage& img, int words);
void addImageWords(CodeplugImage& img, int delta);

// Word 1: block class (bits 14-15) and block length (bits 0-13).
int blockClass(const CodeplugImage& img, int block);
int blockLength(const CodeplugImage& img, int block);
void setBlockLength(CodeplugImage& img, int block, int length);
void addBlockLength(CodeplugImage& img, int block, int delta);

// Word 2 in the 5-bit table-count layout: descriptor offset bits 0-10, table count bits 11-15.
struct TableLayout {
    int descriptorOffset = 0;
    int tableCount = 0;
};
TableLayout tableLayout(const CodeplugImage& img, int block);
// Word 2 as the given layout reads it: 5-bit counts (5.10) or 4-bit counts with a 12-bit offset.
TableLayout tableLayoutIn(const CodeplugImage& img, int block, bool fiveBitCounts);
// -1 leaves that field unchanged.
void setTableLayout(CodeplugImage& img, int block, int descriptorOffset, int tableCount);

// Words from the block start to the end of its last table's data, with the table count read
// in the given layout: the block length when the tables fill the block exactly.
int blockContentWords(const CodeplugImage& img, int block, bool fiveBitCounts);

// A table descriptor: high byte entries, low byte words per entry.
struct TableShape {
    int entries = 0;
    int wordsPerEntry = 0;
    int words() const { return entries * wordsPerEntry; }
};
TableShape tableShape(const CodeplugImage& img, int block, int table);
// -1 leaves that field unchanged.
void setTableShape(CodeplugImage& img, int block, int table, int entries, int wordsPerEntry);
// First data word of a table.
int tableStart(const CodeplugImage& img, int block, int table, TableShape* shape = nullptr);

// Block lookups; 0 when no block matches (0 is always the header block).
int findKindBlock(const CodeplugImage& img, int kind);
int findSystemBlock(const CodeplugImage& img, int number);
int findOrdinalBlock(const CodeplugImage& img, int ordinal);
// Bits 12-15 of word 3 of a system block; -1 when the system is not present.
int systemKind(const CodeplugImage& img, int number);
// Header word 14: ordinal count (high byte) and system count (low byte).
int ordinalCount(const CodeplugImage& img);
int systemCount(const CodeplugImage& img);

// Moves the rest of the buffer from source to destination, as one overlapping move.
void moveTail(CodeplugImage& img, int destination, int source);
// Opens n zeroed words at pos, pushing the rest of the buffer towards its end.
void insertWords(CodeplugImage& img, int pos, int n);
// Removes n words at pos, pulling the rest of the buffer up.
void removeWords(CodeplugImage& img, int pos, int n);
void clearWords(CodeplugImage& img, int pos, int count);

// Replaces the data of a table with n words (data may be null: then the table's data is
// removed). Returns the change in words. Descriptors and lengths are the caller's.
int replaceTableData(CodeplugImage& img, int block, int table, const uint16_t* data, int n);
// Replaces a system block's table and updates its descriptor, the block length and the image
// length. Returns the new image length.
int replaceSystemTable(CodeplugImage& img, int number, int table, const uint16_t* data, int entries,
                       int wordsPerEntry);

// 10-character text field in five words: even characters in bits 0-7, odd ones in bits 8-15.
void writeText10(CodeplugImage& img, const std::string& text, int field);
std::string readText10(const CodeplugImage& img, int field);
