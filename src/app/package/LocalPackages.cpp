#include "app/package/LocalPackages.h"

#include <fstream>
#include <sstream>
#include <system_error>

std::string LowerCaseName(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

std::unique_ptr<std::istream> DirectoryPackage::Open(const std::string& name) const {
    // An exact name wins; otherwise the first match without regard to case, in name order,
    // so the choice does not depend on how the folder lists its entries.
    std::filesystem::path found;
    std::error_code error;
    if (std::filesystem::is_regular_file(directory_ / name, error)) {
        found = directory_ / name;
    } else {
        const std::string wanted = LowerCaseName(name);
        for (const auto& entry : std::filesystem::directory_iterator(directory_, error)) {
            const std::string entryName = entry.path().filename().string();
            if (LowerCaseName(entryName) == wanted && entry.is_regular_file(error) &&
                (found.empty() || entryName < found.filename().string()))
                found = entry.path();
        }
    }
    if (found.empty())
        return nullptr;
    auto in = std::make_unique<std::ifstream>(found, std::ios::binary);
    if (!in->is_open())
        return nullptr;
    return in;
}

void MemoryPackage::Put(const std::string& name, std::string bytes) {
    resources_[LowerCaseName(name)] = std::move(bytes);
}

void MemoryPackage::Remove(const std::string& name) {
    resources_.erase(LowerCaseName(name));
}

void MemoryPackage::PutAttributes(const ResourceAttributes& attributes) {
    const auto bytes = SerializeAttributes(attributes);
    Put(kAttributesResourceName, std::string(bytes.begin(), bytes.end()));
}

std::uint32_t MemoryPackage::PutImage(ResourceAttributes& attributes, ImageSet set, ImageRole role,
                                      const std::string& image, std::size_t chunkBytes) {
    std::uint32_t count = 0;
    for (std::size_t at = 0; at < image.size() && chunkBytes > 0; at += chunkBytes)
        Put(ChunkResourceName(set, role, ++count), image.substr(at, chunkBytes));
    SetChunkCount(attributes, set, role, count);
    return count;
}

std::unique_ptr<std::istream> MemoryPackage::Open(const std::string& name) const {
    const auto it = resources_.find(LowerCaseName(name));
    if (it == resources_.end())
        return nullptr;
    return std::make_unique<std::istringstream>(it->second, std::ios::binary);
}
