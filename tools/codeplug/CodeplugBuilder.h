#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "convert/CodeplugImage.h"

// Lays out a codeplug image block by block: each block gets its marker, class and length, the
// table-count word in the layout of the format, its key, fixed-part words and table data.
class CodeplugBuilder {
  public:
    struct Table {
        int entries = 0;
        int words = 0;
        // Data words, entries x words of them; missing words are filled by the fill value.
        std::vector<uint16_t> data = {};
    };
    struct Block {
        int blockClass = 0;
        uint16_t key = 0;
        int descriptorOffset = 0;
        std::vector<Table> tables;
        // Fixed-part words as (word number from the block start, value).
        std::vector<std::pair<int, uint16_t>> fixed = {};
    };

    CodeplugBuilder(CodeplugImage& img, uint8_t versionIndex);

    // Appends a block and returns its position.
    int add(const Block& block, uint16_t fill = 0);
    // Writes the version stamp, the image length (blocks plus trailer) and the block counts.
    // Returns the image length in words.
    int finish(int ordinals, int systems);

  private:
    CodeplugImage& img_;
    uint8_t version_;
    int pos_ = 0;
};
