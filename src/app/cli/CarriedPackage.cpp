#include "CarriedPackage.h"

#include <memory>

#include "app/core/CodeUpdater.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageAttributes.h"

const PackageResources& DefaultRetrievePackage() {
    static const MemoryPackage package = [] {
        MemoryPackage p;
        ResourceAttributes attributes;
        attributes.RadioFamily = 0;
        attributes.Series = 4;
        p.PutAttributes(attributes);
        return p;
    }();
    return package;
}

const PackageResources& CarriedPackage() {
    static const std::unique_ptr<PackageResources> carried = MakeEmbeddedPackage();
    ResourceAttributes attributes;
    if (carried && ReadPackageAttributes(*carried, attributes))
        return *carried;
    return DefaultRetrievePackage();
}

TargetKind CarriedKind() {
    ResourceAttributes a;
    ReadPackageAttributes(CarriedPackage(), a);
    return TargetKindFromPackage(a.RadioFamily, a.Series, a.KindBySeries == 0);
}
