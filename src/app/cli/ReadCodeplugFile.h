#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A codeplug file to be written into a radio, read and checked before any port is opened: at
// most a transfer's size, a whole number of words, and a codeplug that passes the structure
// check. False with a line for the user naming file.
bool ReadCodeplugFile(const std::string& file, std::vector<std::uint8_t>& codeplug,
                      std::string& error);
