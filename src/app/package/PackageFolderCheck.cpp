#include "app/package/PackageFolderCheck.h"

#include <cstdint>
#include <filesystem>
#include <memory>

#include "app/package/EmbeddedPackage.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageNames.h"

bool CheckPackageFolder(const std::string& folder, ResourceAttributes& attributes,
                        std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (!fs::exists(status)) {
        error = "the package folder " + folder + " does not exist";
        return false;
    }
    if (!fs::is_directory(status)) {
        error = folder + " is not a folder: give the folder quenta-package wrote";
        return false;
    }
    const DirectoryPackage package(folder);
    const std::unique_ptr<std::istream> record = package.Open(kAttributesResourceName);
    if (!record) {
        error = folder + " holds no " + kAttributesResourceName + ": it is not a package folder";
        return false;
    }
    std::uint8_t bytes[ResourceAttributes::kBytes + 1] = {};
    record->read(reinterpret_cast<char*>(bytes), sizeof bytes);
    const auto count = static_cast<std::size_t>(record->gcount());
    if (count != ResourceAttributes::kBytes || !ParseAttributes(bytes, count, attributes)) {
        error = folder + "/" + kAttributesResourceName + " is not a " +
                std::to_string(ResourceAttributes::kBytes) + "-byte attributes record" +
                (count > ResourceAttributes::kBytes
                     ? " (it is longer)"
                     : " (it holds " + std::to_string(count) + " bytes)");
        return false;
    }
    if (RadioFamilyName(attributes.RadioFamily).empty() ||
        UpgradeTypeName(attributes.UpgradeType).empty()) {
        error = folder + "/" + kAttributesResourceName + " is damaged: it names radio family " +
                std::to_string(attributes.RadioFamily) + " and upgrade type " +
                std::to_string(attributes.UpgradeType);
        return false;
    }
    for (const ImageSet set : UsableSets(attributes)) {
        for (const ImageRole role : {ImageRole::kLoader, ImageRole::kCode}) {
            const std::uint32_t chunks = ChunkCount(attributes, set, role);
            if (chunks > kMaxImageChunks) {
                error = folder + "/" + kAttributesResourceName + " is damaged: it names " +
                        std::to_string(chunks) + " chunks of the " + ImageSetName(set) + " " +
                        ImageRoleName(role) + " image; a package holds at most " +
                        std::to_string(kMaxImageChunks);
                return false;
            }
            for (std::uint32_t n = 1; n <= chunks; ++n) {
                const std::string name = ChunkResourceName(set, role, n);
                if (!package.Open(name)) {
                    error = folder + " lacks " + name + " (its attributes record names " +
                            std::to_string(chunks) + " chunks of the " + ImageSetName(set) +
                            " set's " + ImageRoleName(role) + " image): the package is incomplete";
                    return false;
                }
            }
        }
    }
    return true;
}
