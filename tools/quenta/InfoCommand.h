#pragma once

#include <nlohmann/json.hpp>
#include <string>

class PackageResources;

// quenta info [--package DIR] [--json]
//
// Prints the firmware package the program carries (or the package folder DIR that
// quenta-package wrote): the attributes record, the target kind, each image set with its chunks
// and sizes, and the release the program's name carries.
int runInfoCommand(int argc, char** argv);

// The printed description of package, one "Label: value" line per item; programName empty
// when it is not known. False when the package has no attributes record or lacks a chunk its
// counts name (the text says which).
bool FormatPackageInfo(const PackageResources& package, const std::string& programName,
                       std::string& text);

// The same facts as one JSON object (camelCase fields, `imageSets` by set with each image's
// chunks and bytes, `complete`); the same result as FormatPackageInfo.
bool PackageInfoJson(const PackageResources& package, const std::string& programName,
                     nlohmann::json& info);
