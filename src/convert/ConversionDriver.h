#pragma once

#include <cstdint>

#include "convert/CodeplugImage.h"

// Convert a host-order image step by step between formats 5.8, 5.9 and 5.10 (version indexes
// 3, 4 and 5). sizeChange receives the total change in words.
void convertCodeplugUp(int32_t& sizeChange, CodeplugImage& img, uint8_t from, uint8_t to);
void convertCodeplugDown(int32_t& sizeChange, CodeplugImage& img, uint8_t to, uint8_t from);
