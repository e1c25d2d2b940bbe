#pragma once

#include <cstdint>

#include "convert/CodeplugImage.h"

// Random well-formed codeplug images, for tests, benchmarks and the simulated radio: a header,
// kind, system and ordinal blocks with the block layouts and table shapes of the format, and
// the table-count layout of the format (4-bit before 5.10). Deterministic from the seed.
struct CodeplugGeneratorOptions {
    uint8_t versionIndex = 4;  // 3 (5.8), 4 (5.9) or 5 (5.10)
    uint32_t seed = 1;
    int maxSystems = 4;   // 1..16
    int maxOrdinals = 3;  // 1..54
    int maxEntries = 5;   // entries per variable table
};

// Fills img (host word order) and returns the image length in words.
int generateCodeplug(CodeplugImage& img, const CodeplugGeneratorOptions& options);
