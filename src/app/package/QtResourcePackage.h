#pragma once

#include <memory>
#include <string>

#include "app/package/EmbeddedPackage.h"

// A package held in the Qt resource system under folder (":/quenta/package"), names matched
// without regard to case. Resources are read through QFile a block at a time: with resources
// stored uncompressed (rcc --no-compress) that reads straight from the program's data, so an
// image is never copied whole.
std::unique_ptr<PackageResources> MakeQtResourcePackage(const std::string& folder);
