#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/package/PackageAttributes.h"

namespace demo {

// The radio description the demo starts the simulated radio with.
inline constexpr const char kDemoRadioName[] = "demo-radio.json";

// The folders radio descriptions are looked for in, first to last: the data folder of the
// prefix this program is installed under (programDir/../share/quenta/radios), the copy a build
// puts beside the program (programDir/radios), then quenta/radios under every folder of
// xdgDataDirs (colon-separated; /usr/local/share:/usr/share when empty).
std::vector<std::string> RadioDescriptionFolders(const std::string& programDir,
                                                 const std::string& xdgDataDirs);

// The first folder's file name that exists, empty when none holds it.
std::string FindInFolders(const std::vector<std::string>& folders, const std::string& name);

// The program name next to this one (an installed bin folder, or the links a build puts beside
// quenta), else the first one in pathList (colon-separated, as PATH). Empty when none runs.
std::string FindCompanionProgram(const std::string& name, const std::string& programDir,
                                 const std::string& pathList);

// The boot version a radio must report for the update of a package with these attributes to
// take it for its own: the series as major (7, any series, stays), with the package's own minor.
struct BootVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
};
// False when no boot version fits (a package for a target kind no boot version leads to).
bool BootVersionFor(const ResourceAttributes& attributes, BootVersion& boot);

// The description text (JSON) made to fit the carried package: the radio reports the boot
// version above. False, with the reason, when the text is no JSON object or nothing fits.
bool FitRadioDescription(const std::string& description, const ResourceAttributes& attributes,
                         std::string& fitted, std::string& error);

}  // namespace demo
