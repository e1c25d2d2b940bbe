#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The SHA-256 digest of data as 64 lowercase hexadecimal digits: the journal keeps it beside
// each backup's path, so that a file changed since can be told.
std::string Sha256Hex(const std::uint8_t* data, std::size_t length);
