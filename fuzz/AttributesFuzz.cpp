// Feeds arbitrary bytes to the attributes record reader, as the record a build carries and as
// the resource the program reads it from. A record of exactly 68 bytes is taken and written
// back byte for byte; any other length is refused and leaves the record all zero. Whatever it
// holds, the labels and the target kind derived from it stay within their tables.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageAttributes.h"
#include "app/package/PackageNames.h"

namespace {

bool AllZero(const ResourceAttributes& a) {
    const auto bytes = SerializeAttributes(a);
    for (std::uint8_t b : bytes)
        if (b != 0)
            return false;
    return true;
}

void CheckDerived(const ResourceAttributes& a) {
    for (const std::string& text : {FieldText(a.CordavoVersion), FieldText(a.KesmetVersion)}) {
        FUZZ_CHECK(text.size() <= ResourceAttributes::kTextBytes);
        FUZZ_CHECK(text.find('\0') == std::string::npos);
    }
    const TargetKind kind = TargetKindFromPackage(a.RadioFamily, a.Series, a.KindBySeries == 0);
    FUZZ_CHECK(kind <= 8 && kind != 2 && kind != 3);
    FUZZ_CHECK(RadioFamilyName(a.RadioFamily).empty() == (a.RadioFamily > 1));
    FUZZ_CHECK(UpgradeTypeName(a.UpgradeType).empty() == (a.UpgradeType > 3));
    for (ImageSet set : {ImageSet::kApplication, ImageSet::kBoot, ImageSet::kBootTwo}) {
        for (ImageRole role : {ImageRole::kLoader, ImageRole::kCode}) {
            const std::uint32_t count = ChunkCount(a, set, role);
            if (count > 0)
                FUZZ_CHECK(!ChunkResourceName(set, role, count).empty());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ResourceAttributes parsed;
    const bool ok = ParseAttributes(data, size, parsed);
    FUZZ_CHECK(ok == (size == ResourceAttributes::kBytes));
    if (ok) {
        const auto again = SerializeAttributes(parsed);
        FUZZ_CHECK(std::memcmp(again.data(), data, again.size()) == 0);
    } else {
        FUZZ_CHECK(AllZero(parsed));
    }
    CheckDerived(parsed);

    // As the program's resource: a short one gives false and a zero record; a longer one is
    // read up to its 68th byte.
    MemoryPackage package;
    package.Put(kAttributesResourceName, std::string(reinterpret_cast<const char*>(data), size));
    ResourceAttributes read;
    const bool readOk = ReadPackageAttributes(package, read);
    FUZZ_CHECK(readOk == (size >= ResourceAttributes::kBytes));
    if (readOk) {
        const auto bytes = SerializeAttributes(read);
        FUZZ_CHECK(std::memcmp(bytes.data(), data, bytes.size()) == 0);
    } else {
        FUZZ_CHECK(AllZero(read));
    }
    CheckDerived(read);
    return 0;
}
