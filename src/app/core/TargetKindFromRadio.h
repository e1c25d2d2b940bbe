#pragma once

#include <cstdint>

#include "link/LinkTypes.h"

// The target kind of a radio that reports this boot version (major is its series as its boot
// code knows it).
TargetKind TargetKindFromRadio(std::uint8_t family, std::uint8_t major, std::uint8_t minor);
