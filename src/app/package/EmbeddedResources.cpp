#include <QtGlobal>

#include "app/package/EmbeddedPackage.h"
#include "app/package/PackageNames.h"
#include "app/package/QtResourcePackage.h"

// This file is compiled once per package library; QUENTA_EMBEDDED_RESOURCE_NAME is the name the
// library's resources were compiled under (expanded before Q_INIT_RESOURCE pastes it).
#define QUENTA_INIT_RESOURCE(name) Q_INIT_RESOURCE(name)

// Registers the package's resources. Calling the registration from here also makes the linker
// keep the resource data, which a static library would otherwise drop as unreferenced.
static bool RegisterEmbeddedPackage() {
    QUENTA_INIT_RESOURCE(QUENTA_EMBEDDED_RESOURCE_NAME);
    return true;
}

std::unique_ptr<PackageResources> MakeEmbeddedPackage() {
    static const bool registered = RegisterEmbeddedPackage();
    (void)registered;
    return MakeQtResourcePackage(std::string(":") + kPackageResourcePrefix);
}

std::string EmbeddedProgramName() {
    return QUENTA_EMBEDDED_PROGRAM_NAME;
}
