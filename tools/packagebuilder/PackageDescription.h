#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "app/package/PackageAttributes.h"
#include "app/package/PackageNames.h"

// What a build's firmware package holds, as a JSON description says it:
//
//   {"program": "Quenta_Code_Updater_2600_Series_4_Release_2_8",
//    "attributes": {"BootMajor": 4, "BootMinor": 3, "BootTwoMajor": 7, "BootTwoMinor": 3,
//                   "CordavoVersion": "2.8.2", "KesmetVersion": "3.0.9", "RadioFamily": 0,
//                   "KindBySeries": 1, "Series": 4, "UpgradeType": 3, "ProcessorVariant": 0,
//                   "Reserved": "E01"},
//    "sets": {"application": {"loader": "loader.hex", "code": "application.hex"},
//             "boot": {...}, "bootTwo": {...}}}
//
// Every attributes field but Reserved is required; the chunk counts follow from the images.
// Image paths are relative to an image folder the builder is given.
struct SetImages {
    std::string loader;
    std::string code;
};

struct PackageDescription {
    std::string program;            // the program file's name, carrying the release
    ResourceAttributes attributes;  // chunk counts 0
    std::map<ImageSet, SetImages> sets;
};

// False with a one-line reason for anything malformed or out of range.
bool ReadPackageDescription(const std::filesystem::path& file, PackageDescription& out,
                            std::string& error);
