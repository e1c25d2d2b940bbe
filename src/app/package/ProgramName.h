#pragma once

#include <string>

// What the window's Name and Release labels show, read from the program file's name: the name
// before its first ".", and the release that follows "Release " once the underscores are read
// ("Updater_Release_2_8" gives the release "2.8"; a name without one gives "N/A").
struct ProgramNameLabels {
    std::string nameLabel;  // "Name: " + the name
    std::string release;    // "N/A" when the name carries no release
};

ProgramNameLabels ReadProgramName(const std::string& programFilePath);
