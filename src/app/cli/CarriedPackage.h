#pragma once

#include "link/LinkTypes.h"

class PackageResources;

// Target kind of the package used while the program carries none.
constexpr TargetKind kDefaultRetrieveKind = 6;

// The package whose family and kind Retrieve follows when the program carries none: a
// family-0 series-4 radio (kind 6).
const PackageResources& DefaultRetrievePackage();
// The package the program carries, or DefaultRetrievePackage() when it carries none.
const PackageResources& CarriedPackage();
// The target kind of CarriedPackage().
TargetKind CarriedKind();
