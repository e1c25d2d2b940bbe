#include <gtest/gtest.h>

#include "FileText.h"
#include "TempDir.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/PackageNames.h"

// The example package compiled into Qt resources in chunks of 10000 bytes, as the programs'
// own package is built.

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

TEST(EmbeddedResourcesTest, CompiledPackageReadsCaseBlindAndJoinsBackToItsImages) {
    const std::unique_ptr<PackageResources> package = MakeEmbeddedPackage();
    ResourceAttributes attributes;
    ASSERT_TRUE(ReadPackageAttributes(*package, attributes));
    EXPECT_EQ(3, attributes.UpgradeType);
    EXPECT_LT(1u, attributes.CodeChunksApp);
    EXPECT_EQ("Quenta_Code_Updater_2600_Series_4_Release_2_8", EmbeddedProgramName());

    EXPECT_NE(nullptr, package->Open("code_boottwo_1"));
    EXPECT_NE(nullptr, package->Open("RESOURCEATTRIBUTES_"));
    EXPECT_EQ(nullptr, package->Open("Code_" + std::to_string(attributes.CodeChunksApp + 1)));

    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const ExtractedImages images =
        ExtractEmbeddedFiles(*package, attributes, false, false, dir.Path());
    ASSERT_EQ(ExtractFailure::kNone, images.failure) << images.detail;
    EXPECT_EQ(ReadFile(fs::path(QUENTA_EXAMPLE_IMAGES) / "application.hex"),
              ReadFile(dir / images.codeFileName));
    EXPECT_EQ(ReadFile(fs::path(QUENTA_EXAMPLE_IMAGES) / "loader.hex"),
              ReadFile(dir / images.loaderFileName));
}

}  // namespace
