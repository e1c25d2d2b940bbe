#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "app/package/EmbeddedPackage.h"
#include "app/package/PackageNames.h"

// Packages that are not the program's own: a folder holding one file per resource (what the
// package builder writes), and one held in memory for tests. Names match without regard to case.

class DirectoryPackage : public PackageResources {
  public:
    explicit DirectoryPackage(std::filesystem::path directory) : directory_(std::move(directory)) {}
    std::unique_ptr<std::istream> Open(const std::string& name) const override;

  private:
    std::filesystem::path directory_;
};

class MemoryPackage : public PackageResources {
  public:
    void Put(const std::string& name, std::string bytes);
    void Remove(const std::string& name);
    void PutAttributes(const ResourceAttributes& attributes);
    // Cuts image into chunks of chunkBytes under the set's names and records the count in
    // attributes; returns the count.
    std::uint32_t PutImage(ResourceAttributes& attributes, ImageSet set, ImageRole role,
                           const std::string& image, std::size_t chunkBytes);
    std::unique_ptr<std::istream> Open(const std::string& name) const override;

  private:
    std::map<std::string, std::string> resources_;  // by lower-case name
};

// ASCII lower case, as the resource names are compared.
std::string LowerCaseName(std::string name);
