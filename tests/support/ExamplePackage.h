#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "FirmwareGen.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageAttributes.h"

namespace testsupport {

// An S-record image of the firmware generator's, as text.
std::string SRecords(firmwaregen::ImageKind kind, std::uint64_t dataBytes, std::uint32_t seed);

// The example package's attributes: series 4 (kind by series 1), boot 4.3, second boot 7.3.
ResourceAttributes ExampleAttributes(std::uint8_t upgradeType, std::uint8_t family = 0);

// The example package in memory: a loader and code for the application, the boot and the
// second boot, cut into chunks of chunkBytes (counted in attributes), and the attributes.
void PutExamplePackage(MemoryPackage& package, ResourceAttributes& attributes,
                       std::size_t chunkBytes = 4096);

}  // namespace testsupport
