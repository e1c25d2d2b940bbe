// quenta-package: builds the firmware package a program carries from a package description.
//
//   quenta-package --description FILE --out DIR [--images DIR] [--chunk-bytes N]
//
// Writes one file per resource into DIR and DIR/package.qrc for rcc. Image paths of the
// description are relative to --images (default: the description's folder).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "PackageBuilder.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: quenta-package --description FILE --out DIR [--images DIR]\n"
                 "                      [--chunk-bytes N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string descriptionPath, outPath, imagesPath;
    std::size_t chunkBytes = kChunkBytes;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage();
        const char* value = argv[++i];
        if (arg == "--description") {
            descriptionPath = value;
        } else if (arg == "--out") {
            outPath = value;
        } else if (arg == "--images") {
            imagesPath = value;
        } else if (arg == "--chunk-bytes") {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(value, &end, 10);
            if (end == value || *end != '\0' || n == 0)
                return Usage();
            chunkBytes = static_cast<std::size_t>(n);
        } else {
            return Usage();
        }
    }
    if (descriptionPath.empty() || outPath.empty())
        return Usage();
    if (imagesPath.empty())
        imagesPath = std::filesystem::path(descriptionPath).parent_path().string();

    PackageDescription description;
    BuildResult result;
    std::string error;
    if (!ReadPackageDescription(descriptionPath, description, error) ||
        !BuildPackage(description, imagesPath, outPath, chunkBytes, result, error)) {
        std::fprintf(stderr, "quenta-package: %s\n", error.c_str());
        return 1;
    }
    for (const auto& [key, image] : result.images) {
        std::printf("%s %s: %llu bytes in %u chunk(s)\n", ImageSetName(key.first).c_str(),
                    ImageRoleName(key.second).c_str(), static_cast<unsigned long long>(image.bytes),
                    image.chunks);
    }
    return 0;
}
