#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Scenario.h"

class RadioSim;

// What the simulated radio keeps when it is switched off: the codeplug it holds, the codeplug
// format its firmware expects, its boot version and every image flashed into it so far. A
// second run that loads it starts where the first one left the radio.
struct SimState {
    std::vector<std::uint8_t> codeplug;
    std::vector<std::uint8_t> format;
    std::vector<std::uint8_t> boot;
    nlohmann::json flashed = nlohmann::json::array();  // one object per image, oldest first
};

// Loads path into state. A missing file is no error: exists is false and state stays empty.
bool LoadSimState(const std::string& path, SimState& state, bool& exists, std::string& error);
// The radio starts from state: its codeplug, format and boot version replace the scenario's.
void ApplySimState(const SimState& state, Scenario& scenario);
// What the radio holds now, with the images of this run added to those of earlier runs.
SimState CaptureSimState(const RadioSim& sim, const SimState& before);
// Writes the state whole or not at all (a private file beside it, renamed over it).
bool SaveSimState(const std::string& path, const SimState& state, std::string& error);
