#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "PackageDescription.h"

// Writes a package as one file per resource ("ResourceAttributes_", "Loader_1", "Code_Boot_3",
// ...) into a folder, with the .qrc that embeds them (under kPackageResourcePrefix) for rcc.
// Images are cut into chunks of chunkBytes as they are read, never held whole.

constexpr const char* kPackageQrcName = "package.qrc";

struct BuiltImage {
    std::uint32_t chunks = 0;
    std::uint64_t bytes = 0;
};

struct BuildResult {
    ResourceAttributes attributes;  // with the chunk counts
    std::map<std::pair<ImageSet, ImageRole>, BuiltImage> images;
};

// Refuses (false, with a reason) a description whose usable sets lack an image, or whose images
// cannot be read or are empty, or a second boot set with BootTwoMajor 0. Relative image paths
// are taken from imageDirectory. Earlier resource files in outDirectory are replaced; the .qrc
// is written last, so an interrupted build leaves none.
bool BuildPackage(const PackageDescription& description,
                  const std::filesystem::path& imageDirectory,
                  const std::filesystem::path& outDirectory, std::size_t chunkBytes,
                  BuildResult& result, std::string& error);
