#include "PackageBuilder.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <system_error>
#include <vector>

#include "common/ReplacementFile.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReadBlockBytes = 64 * 1024;

struct Image {
    ImageSet set;
    ImageRole role;
    fs::path path;
};

bool IsSRecordRole(const PackageDescription& d, ImageRole role) {
    return !(role == ImageRole::kCode && d.attributes.UpgradeType == kUpgradeDsp);
}

// Opens every image and checks it has content (an S-record image starts with a record).
bool CheckImages(const PackageDescription& d, const std::vector<Image>& images,
                 std::string& error) {
    for (ImageSet set : UsableSets(d.attributes)) {
        if (d.sets.count(set) == 0) {
            error = "the " + UpgradeTypeName(d.attributes.UpgradeType) + " package needs the " +
                    ImageSetName(set) + " set; the description has none";
            return false;
        }
    }
    if (d.sets.count(ImageSet::kBootTwo) != 0 && d.attributes.BootTwoMajor == 0) {
        error = "the description has a bootTwo set but BootTwoMajor is 0 (no second boot set)";
        return false;
    }
    for (const Image& image : images) {
        std::ifstream in(image.path, std::ios::binary);
        char first = 0;
        if (!in || !in.get(first)) {
            error = "cannot read the " + ImageSetName(image.set) + " " + ImageRoleName(image.role) +
                    " image " + image.path.string() + " (missing or empty)";
            return false;
        }
        if (IsSRecordRole(d, image.role) && first != 'S') {
            error = image.path.string() + " is not an S-record image";
            return false;
        }
    }
    return true;
}

// Removes the resource files an earlier build left, so the folder holds only this package.
void RemoveOldResources(const fs::path& directory) {
    static const std::regex kResourceName("(Loader|Code)(_Boot|_BootTwo)?_[0-9]+");
    std::error_code error;
    std::vector<fs::path> old;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name == kAttributesResourceName || name == kPackageQrcName ||
            std::regex_match(name, kResourceName))
            old.push_back(entry.path());
    }
    for (const fs::path& path : old)
        fs::remove(path, error);
}

bool WriteAll(const fs::path& path, const char* data, std::size_t size, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

bool CutImage(const Image& image, const fs::path& outDirectory, std::size_t chunkBytes,
              BuiltImage& built, std::vector<std::string>& names, std::string& error) {
    std::ifstream in(image.path, std::ios::binary);
    std::vector<char> block(kReadBlockBytes);
    std::ofstream chunk;
    std::size_t inChunk = chunkBytes;  // no chunk open yet
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        std::size_t got = static_cast<std::size_t>(in.gcount());
        const char* at = block.data();
        while (got > 0) {
            if (inChunk == chunkBytes) {
                if (chunk.is_open())
                    chunk.close();
                if (!chunk)
                    break;
                names.push_back(ChunkResourceName(image.set, image.role, ++built.chunks));
                chunk.open(outDirectory / names.back(), std::ios::binary | std::ios::trunc);
                inChunk = 0;
            }
            const std::size_t take = std::min(got, chunkBytes - inChunk);
            chunk.write(at, static_cast<std::streamsize>(take));
            at += take;
            got -= take;
            inChunk += take;
            built.bytes += take;
        }
        if (!chunk)
            break;
    }
    if (chunk.is_open())
        chunk.close();
    if (in.bad() || !chunk) {
        error = "cannot cut " + image.path.string() + " into " + outDirectory.string();
        return false;
    }
    return true;
}

std::string QrcText(const std::vector<std::string>& names) {
    std::string text = "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"" +
                       std::string(kPackageResourcePrefix) + "\">\n";
    for (const std::string& name : names)
        text += "  <file>" + name + "</file>\n";
    text += "</qresource>\n</RCC>\n";
    return text;
}

}  // namespace

bool BuildPackage(const PackageDescription& description, const fs::path& imageDirectory,
                  const fs::path& outDirectory, std::size_t chunkBytes, BuildResult& result,
                  std::string& error) {
    if (chunkBytes == 0) {
        error = "the chunk size must be above 0";
        return false;
    }
    std::vector<Image> images;
    for (const auto& [set, files] : description.sets) {
        images.push_back({set, ImageRole::kLoader, imageDirectory / files.loader});
        images.push_back({set, ImageRole::kCode, imageDirectory / files.code});
    }
    if (!CheckImages(description, images, error))
        return false;

    std::error_code fsError;
    fs::create_directories(outDirectory, fsError);
    if (!fs::is_directory(outDirectory)) {
        error = "cannot create the folder " + outDirectory.string();
        return false;
    }
    RemoveOldResources(outDirectory);

    result = BuildResult{};
    result.attributes = description.attributes;
    std::vector<std::string> names{kAttributesResourceName};
    for (const Image& image : images) {
        BuiltImage& built = result.images[{image.set, image.role}];
        if (!CutImage(image, outDirectory, chunkBytes, built, names, error))
            return false;
        if (built.chunks > kMaxImageChunks) {
            error = image.path.string() + " makes " + std::to_string(built.chunks) +
                    " chunks; a package holds at most " + std::to_string(kMaxImageChunks) +
                    " per image: give larger --chunk-bytes";
            return false;
        }
        SetChunkCount(result.attributes, image.set, image.role, built.chunks);
    }
    const auto record = SerializeAttributes(result.attributes);
    if (!WriteAll(outDirectory / kAttributesResourceName,
                  reinterpret_cast<const char*>(record.data()), record.size(), error))
        return false;
    const std::string qrc = QrcText(names);
    const fs::path qrcPath = outDirectory / kPackageQrcName;
    int cause = 0;
    const ReplaceResult written =
        ReplaceFileContents(qrcPath, qrc.data(), qrc.size(), kSharedFileMode, cause);
    if (written != ReplaceResult::kOk) {
        error = ReplaceFailureText(written, cause, qrcPath.string());
        return false;
    }
    return true;
}
