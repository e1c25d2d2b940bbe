#include "ExamplePackage.h"

#include <sstream>

namespace testsupport {

using firmwaregen::ImageKind;

std::string SRecords(ImageKind kind, std::uint64_t dataBytes, std::uint32_t seed) {
    std::ostringstream out;
    firmwaregen::WriteSRecordImage(out, {kind, dataBytes, seed, 16});
    return out.str();
}

ResourceAttributes ExampleAttributes(std::uint8_t upgradeType, std::uint8_t family) {
    ResourceAttributes a;
    a.RadioFamily = family;
    a.Series = 4;
    a.KindBySeries = 1;
    a.UpgradeType = upgradeType;
    a.BootMajor = 4;
    a.BootMinor = 3;
    a.BootTwoMajor = 7;
    a.BootTwoMinor = 3;
    return a;
}

void PutExamplePackage(MemoryPackage& package, ResourceAttributes& attributes,
                       std::size_t chunkBytes) {
    package.PutImage(attributes, ImageSet::kApplication, ImageRole::kLoader,
                     SRecords(ImageKind::kLoader, 512, 1), chunkBytes);
    package.PutImage(attributes, ImageSet::kApplication, ImageRole::kCode,
                     SRecords(ImageKind::kApplication, 8192, 2), chunkBytes);
    std::uint32_t seed = 3;
    for (ImageSet set : {ImageSet::kBoot, ImageSet::kBootTwo}) {
        package.PutImage(attributes, set, ImageRole::kLoader,
                         SRecords(ImageKind::kLoader, 512, seed++), chunkBytes);
        package.PutImage(attributes, set, ImageRole::kCode,
                         SRecords(ImageKind::kBoot, 2048, seed++), chunkBytes);
    }
    package.PutAttributes(attributes);
}

}  // namespace testsupport
