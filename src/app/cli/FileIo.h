#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads at most maxBytes of a file; a longer file is an error (tooLong is set).
bool readSmallFile(const std::string& path, std::size_t maxBytes, std::vector<uint8_t>& data,
                   bool& tooLong, std::string& error);

// Writes a file so that it appears whole or not at all: a temporary file beside it, flushed to
// disk, then renamed over the target. On failure nothing is left behind.
bool writeFileAtomically(const std::string& path, const uint8_t* data, std::size_t size,
                         std::string& error);
