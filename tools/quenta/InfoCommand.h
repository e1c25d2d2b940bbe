#pragma once

#include <string>

class PackageResources;

// quenta info [--package DIR]
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
