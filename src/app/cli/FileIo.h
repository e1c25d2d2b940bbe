#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads at most maxBytes of a regular file; a longer file is an error (tooLong is set), and so
// is a pipe or a device, refused before the first read so that a FIFO never holds the run.
bool readSmallFile(const std::string& path, std::size_t maxBytes, std::vector<uint8_t>& data,
                   bool& tooLong, std::string& error);

// Writes a file so that it appears whole or not at all (see ReplacementFile), readable by its
// owner alone: what quenta writes is a codeplug. On failure nothing is left behind, and a
// target that is not a regular file is left as it is.
bool writeFileAtomically(const std::string& path, const uint8_t* data, std::size_t size,
                         std::string& error);
