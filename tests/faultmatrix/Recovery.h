#pragma once

// What the radio must hold once an update has got through, whatever faults came before: the
// new firmware (which expects the 5.10 codeplug format) and the codeplug it started with,
// converted to 5.10.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class RadioSim;

namespace faultmatrix {

// Empty when the radio holds both; otherwise what it lacks, as one line. The upload reads the
// codeplug up to its last block (a trailer after it may be cut short), so the converted image
// is made from the backup of a read of the original codeplug, found in backups.
std::string ShortOfUpdate(const RadioSim& sim, const std::vector<std::uint8_t>& original,
                          const std::filesystem::path& backups);

}  // namespace faultmatrix
