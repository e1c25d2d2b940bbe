#include <gtest/gtest.h>

#include "FileText.h"
#include "PackageBuilder.h"
#include "TempDir.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/LocalPackages.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

const std::string kAttributes =
    R"("BootMajor": 4, "BootMinor": 3, "BootTwoMajor": 7, "BootTwoMinor": 3,
            "CordavoVersion": "2.8.2", "KesmetVersion": "3.0.9", "RadioFamily": 0,
            "KindBySeries": 1, "Series": 4, "UpgradeType": 3, "ProcessorVariant": 0)";

// The three sets over the one loader, the application's code taken from appCode.
std::string Sets(const std::string& appCode) {
    return R"("application": {"loader": "loader.hex", "code": ")" + appCode + R"("},
            "boot": {"loader": "loader.hex", "code": "boot.hex"},
            "bootTwo": {"loader": "loader.hex", "code": "boot.hex"})";
}

// The example attributes with one part of them replaced.
std::string Attributes(const std::string& from, const std::string& to) {
    std::string text = kAttributes;
    return text.replace(text.find(from), from.size(), to);
}

std::string SRecords(std::size_t bytes, char fill) {
    return "S0" + std::string(bytes - 2, fill);
}

// An Application/Boot description over images in a temporary folder.
class PackageBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        root = dir.Path();
        WriteFile(root / "loader.hex", SRecords(250, 'l'));
        WriteFile(root / "application.hex", SRecords(2500, 'a'));
        WriteFile(root / "boot.hex", SRecords(1000, 'b'));
        WriteFile(root / "empty.hex", "");
    }

    // Builds the description made of the current parts; the reason when it is refused.
    std::string Build(BuildResult& result) {
        WriteFile(root / "package.json", R"({"program": "Updater_Release_2_8", "attributes": {)" +
                                             attributes + R"(}, "sets": {)" + sets + "}}");
        PackageDescription description;
        std::string error;
        if (!ReadPackageDescription(root / "package.json", description, error) ||
            !BuildPackage(description, root, root / "out", 1000, result, error))
            return error.empty() ? "refused without a reason" : error;
        return {};
    }

    TempDir dir;
    fs::path root;
    std::string attributes = kAttributes;
    std::string sets = Sets("application.hex");
};

TEST_F(PackageBuilderTest, ChunksJoinBackToTheImagesAndTheQrcListsEveryResource) {
    fs::create_directory(root / "out");
    WriteFile(root / "out" / "Code_9", "left by an earlier build");
    BuildResult result;
    ASSERT_EQ("", Build(result));
    EXPECT_EQ(3u, result.attributes.CodeChunksApp);
    EXPECT_EQ(1u, result.attributes.LoaderChunksBootTwo);
    EXPECT_FALSE(fs::exists(root / "out" / "Code_9"));

    const DirectoryPackage package(root / "out");
    ResourceAttributes read;
    ASSERT_TRUE(ReadPackageAttributes(package, read));
    EXPECT_EQ(SerializeAttributes(result.attributes), SerializeAttributes(read));
    EXPECT_EQ(7u, read.BootTwoMajor);
    EXPECT_EQ("2.8.2", FieldText(read.CordavoVersion));

    fs::create_directory(root / "work");
    const ExtractedImages images = ExtractEmbeddedFiles(package, read, false, false, root / "work");
    ASSERT_EQ(ExtractFailure::kNone, images.failure) << images.detail;
    EXPECT_EQ(ReadFile(root / "application.hex"), ReadFile(root / "work" / images.codeFileName));

    const std::string qrc = ReadFile(root / "out" / "package.qrc");
    EXPECT_NE(std::string::npos, qrc.find("prefix=\"/quenta/package\""));
    for (const char* name : {"ResourceAttributes_", "Code_3", "Code_Boot_1", "Loader_BootTwo_1"})
        EXPECT_NE(std::string::npos, qrc.find(std::string("<file>") + name + "</file>")) << name;
    EXPECT_EQ(std::string::npos, qrc.find("Code_4"));
}

TEST_F(PackageBuilderTest, RefusesUnusableSetsAndMalformedAttributes) {
    struct Refusal {
        std::string attributes, sets;
        const char* reason;  // a word the reason must contain
    };
    const Refusal refused[] = {
        {kAttributes, R"("application": {"loader": "loader.hex", "code": "application.hex"})",
         "boot set"},
        {kAttributes, Sets("empty.hex"), "empty.hex"},
        {kAttributes, Sets("absent.hex"), "absent.hex"},
        {kAttributes, Sets("package.json"), "S-record"},
        {R"("BootMajor": 1, "BootMinor": 0, "BootTwoMajor": 0, "BootTwoMinor": 0,
            "CordavoVersion": "1", "KesmetVersion": "1", "RadioFamily": 0,
            "KindBySeries": 1, "Series": 4, "UpgradeType": 0, "ProcessorVariant": 0)",
         Sets("application.hex"), "BootTwoMajor is 0"},
        {kAttributes + R"(, "CodeChunksApp": 12)", Sets("application.hex"), "CodeChunksApp"},
        {Attributes("2.8.2", "2.8.2-rc1x"), Sets("application.hex"), "CordavoVersion"},
        {Attributes(R"("RadioFamily": 0)", R"("RadioFamily": 2)"), Sets("application.hex"),
         "RadioFamily"},
    };
    for (const Refusal& r : refused) {
        attributes = r.attributes;
        sets = r.sets;
        BuildResult result;
        const std::string error = Build(result);
        EXPECT_NE(std::string::npos, error.find(r.reason)) << r.reason << ": " << error;
        EXPECT_FALSE(fs::exists(root / "out" / "package.qrc")) << r.reason;
    }
}

}  // namespace
