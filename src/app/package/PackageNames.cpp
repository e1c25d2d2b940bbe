#include "app/package/PackageNames.h"

std::string ImageSetSuffix(ImageSet set) {
    switch (set) {
        case ImageSet::kBoot:
            return "_Boot";
        case ImageSet::kBootTwo:
            return "_BootTwo";
        case ImageSet::kApplication:
            break;
    }
    return {};
}

std::string ImageRoleName(ImageRole role) {
    return role == ImageRole::kLoader ? "Loader" : "Code";
}

std::string ChunkResourceName(ImageSet set, ImageRole role, std::uint32_t chunk) {
    return ImageRoleName(role) + ImageSetSuffix(set) + "_" + std::to_string(chunk);
}

namespace {

template <typename Record>
auto& CountField(Record& attributes, ImageSet set, ImageRole role) {
    const bool loader = role == ImageRole::kLoader;
    switch (set) {
        case ImageSet::kBoot:
            return loader ? attributes.LoaderChunksBoot : attributes.CodeChunksBoot;
        case ImageSet::kBootTwo:
            return loader ? attributes.LoaderChunksBootTwo : attributes.CodeChunksBootTwo;
        case ImageSet::kApplication:
            break;
    }
    return loader ? attributes.LoaderChunksApp : attributes.CodeChunksApp;
}

}  // namespace

std::uint32_t ChunkCount(const ResourceAttributes& attributes, ImageSet set, ImageRole role) {
    return CountField(attributes, set, role);
}

void SetChunkCount(ResourceAttributes& attributes, ImageSet set, ImageRole role,
                   std::uint32_t count) {
    CountField(attributes, set, role) = count;
}

std::vector<ImageSet> UsableSets(const ResourceAttributes& attributes) {
    std::vector<ImageSet> sets{ImageSet::kApplication};
    if (attributes.UpgradeType == kUpgradeApplicationBoot)
        sets.push_back(ImageSet::kBoot);
    if ((attributes.UpgradeType == kUpgradeBoot ||
         attributes.UpgradeType == kUpgradeApplicationBoot) &&
        attributes.BootTwoMajor != 0)
        sets.push_back(ImageSet::kBootTwo);
    return sets;
}

std::string ImageSetName(ImageSet set) {
    switch (set) {
        case ImageSet::kBoot:
            return "boot";
        case ImageSet::kBootTwo:
            return "bootTwo";
        case ImageSet::kApplication:
            break;
    }
    return "application";
}
