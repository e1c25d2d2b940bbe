#pragma once

#include <cstdint>
#include <istream>

// Size in bytes of what the stream holds from its start (a file's size), found by seeking;
// the read position is restored. -1 when the stream cannot seek.
std::int64_t StreamSize(std::istream& in);

// The progress bar's maximum for a file of size bytes read in units of divisor bytes per
// progress step: size / divisor + extra, kept within int. A size of -1 (unknown) counts as 0.
int ProgressMaximum(std::int64_t size, int divisor, int extra);
