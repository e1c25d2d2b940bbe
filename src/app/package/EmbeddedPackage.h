#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <string>

#include "app/package/PackageAttributes.h"

// The firmware package a build carries: the attributes record ("ResourceAttributes_") and the
// image chunks ("Loader_1", "Code_Boot_3", "Code_BootTwo_1", ...), looked up by name without
// regard to case. The program's own resources implement it; tests give a folder or a map.
class PackageResources {
  public:
    virtual ~PackageResources() = default;
    // The named resource for reading, streamed (never held whole); nullptr when the program
    // holds no resource of that name.
    virtual std::unique_ptr<std::istream> Open(const std::string& name) const = 0;
};

// The program's embedded package (Qt resource system).
std::unique_ptr<PackageResources> MakeEmbeddedPackage();
// The program file name the embedded package was built for; it carries the release
// (ReadProgramName).
std::string EmbeddedProgramName();

// Texts of the two extraction failures, shown titled "Embedded Files" with an error icon.
extern const char* const kEmbeddedLoaderFailed;
extern const char* const kEmbeddedCodeFailed;
extern const char* const kEmbeddedFilesTitle;  // "Embedded Files"

// Reads "ResourceAttributes_"; a missing or short resource leaves out all zero and gives false.
bool ReadPackageAttributes(const PackageResources& package, ResourceAttributes& out);

enum class ExtractFailure { kNone, kLoader, kCode };

struct ExtractedImages {
    ExtractFailure failure = ExtractFailure::kNone;
    std::string loaderFileName;  // joined images, relative to the directory
    std::string codeFileName;
    std::string detail;  // what went wrong, for a technician (empty on success)
};

// Extracts one image set into directory and joins its chunks: the second boot set when
// useBootTwo, else the boot set when bootSet, else the application set. Chunk and joined files
// are created exclusively, so two copies started at once cannot both pass the existence check.
ExtractedImages ExtractEmbeddedFiles(const PackageResources& package,
                                     const ResourceAttributes& attributes, bool useBootTwo,
                                     bool bootSet, const std::filesystem::path& directory);

// Joins baseName.1 ... baseName.count of directory into the first free name of baseName.ext,
// baseName1.ext, baseName2.ext, ...; returns that bare name. ok is false when the joined file
// could not be created or a copy fell short.
std::string JoinChunkFiles(const std::filesystem::path& directory, const std::string& baseName,
                           std::uint32_t count, const std::string& extension, bool& ok);
