#pragma once

// What every cell checks after its runs, the window's update in this process and the real
// program in a child alike: what the radio holds once an update has got through (the new
// firmware, which expects the 5.10 codeplug format, and the codeplug it started with converted
// to 5.10), and what a run may not leave behind.
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FaultCells.h"

class RadioSim;

namespace faultmatrix {

using Bytes = std::vector<std::uint8_t>;

// The COM number the simulated radio answers on.
constexpr int kSimCom = 5;

bool Begins(const std::string& s, const std::string& prefix);
Bytes ReadBytes(const std::filesystem::path& path);
// Whether part is a beginning of whole (a read ends at the codeplug's last block: a trailer
// after it may be cut short).
bool BeginsWith(const Bytes& whole, const Bytes& part);

// Empty when the radio holds asRead converted to 5.10; otherwise what it lacks, as one line.
std::string ShortOfConverted(const RadioSim& sim, Bytes asRead);
// Empty when the radio holds the new firmware and the original codeplug converted; otherwise
// what it lacks. The converted image is made from a backup in backups of a read of original.
std::string ShortOfUpdate(const RadioSim& sim, const Bytes& original,
                          const std::filesystem::path& backups);

// The update ended in a codeplug write that failed or that the read-back did not find.
bool WriteFailed(const std::string& end);
// Anything left in a folder, as one line.
std::string Leftovers(const std::filesystem::path& folder);
// The lock files left for the device, under its own name or its link's.
std::vector<std::string> LockFilesLeft(const std::string& device, const std::string& link);
// The frames of a simulated radio's report, added to the log.
void TakeFrames(const nlohmann::json& frames, std::vector<LoggedFrame>& log);

}  // namespace faultmatrix
