#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/package/PackageAttributes.h"

// The names under which a package stores its record and image chunks; the builder that cuts
// the images and the extraction that joins them share them.

constexpr const char* kAttributesResourceName = "ResourceAttributes_";

// The folder of the Qt resource system that holds a program's package.
constexpr const char* kPackageResourcePrefix = "/quenta/package";

// Images are cut into chunks of this many bytes (the last one shorter).
constexpr std::size_t kChunkBytes = 1022976;

// The most chunks one image of a package may have: 64 times the largest flash of any radio at
// the standard chunk size, and room enough for the small chunks of tests. A record naming more
// is damaged, and is refused before four billion names are tried.
constexpr std::uint32_t kMaxImageChunks = 4096;

enum class ImageSet { kApplication, kBoot, kBootTwo };
enum class ImageRole { kLoader, kCode };

// "", "_Boot" or "_BootTwo".
std::string ImageSetSuffix(ImageSet set);
// "Loader" or "Code".
std::string ImageRoleName(ImageRole role);
// "Loader_1", "Code_Boot_3", "Code_BootTwo_1", ...; chunk counts from 1.
std::string ChunkResourceName(ImageSet set, ImageRole role, std::uint32_t chunk);
// The record's chunk count of one image of a set.
std::uint32_t ChunkCount(const ResourceAttributes& attributes, ImageSet set, ImageRole role);
void SetChunkCount(ResourceAttributes& attributes, ImageSet set, ImageRole role,
                   std::uint32_t count);

// The sets an update of this package can extract: the application set always (a Boot package
// keeps its boot images there, a DSP package its DSP loader and code); the boot set for
// Application/Boot packages; the second boot set for Boot and Application/Boot packages whose
// BootTwoMajor is not 0.
std::vector<ImageSet> UsableSets(const ResourceAttributes& attributes);
// "application", "boot", "bootTwo": the sets' names in package descriptions and reports.
std::string ImageSetName(ImageSet set);
