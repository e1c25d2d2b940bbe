#pragma once

#include <cstdint>

#include "convert/CodeplugImage.h"

// Codeplug format versions 5.5 .. 5.10 as an index 0 .. 5; anything else is kUnknownVersion.
constexpr uint8_t kUnknownVersion = 255;
constexpr uint8_t kVersion58 = 3;
constexpr uint8_t kVersion59 = 4;
constexpr uint8_t kVersion510 = 5;

uint8_t versionIndexOf(int major, int minor);
// Index below 6: major 5, minor index + 5; any other index: 0 and 0.
void versionNumbersOf(uint8_t index, int& major, int& minor);
// The index of the version stamped in header word 3.
uint8_t codeplugVersionIndex(const CodeplugImage& img);
