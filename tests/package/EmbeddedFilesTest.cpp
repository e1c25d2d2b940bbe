#include <gtest/gtest.h>

#include <set>

#include "FileSizeLimit.h"
#include "FileText.h"
#include "TempDir.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageNames.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

constexpr std::size_t kTestChunkBytes = 1000;

std::string Pattern(std::size_t size, int seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(seed) * 7 + i / 251) & 0xFF);
    return s;
}

// The extraction failed on the image given and its detail names the file.
::testing::AssertionResult FailedNaming(const ExtractedImages& result, ExtractFailure failure,
                                        const std::string& file) {
    if (result.failure == failure && result.detail.find(file) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "failure " << static_cast<int>(result.failure) << ", detail: " << result.detail;
}

std::set<std::string> Entries(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

// A package with every set filled: images of several chunks, cut where the chunk size falls.
class EmbeddedFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        int seed = 0;
        for (ImageSet set : {ImageSet::kApplication, ImageSet::kBoot, ImageSet::kBootTwo}) {
            for (ImageRole role : {ImageRole::kLoader, ImageRole::kCode}) {
                const std::size_t size = role == ImageRole::kLoader ? 1500 : 2500 + 10 * seed;
                images[{set, role}] = Pattern(size, ++seed);
                package.PutImage(attributes, set, role, images[{set, role}], kTestChunkBytes);
            }
        }
    }

    ExtractedImages Extract(bool useBootTwo, bool bootSet) {
        return ExtractEmbeddedFiles(package, attributes, useBootTwo, bootSet, dir.Path());
    }

    const std::string& Image(ImageSet set, ImageRole role) { return images[{set, role}]; }

    TempDir dir;
    MemoryPackage package;
    ResourceAttributes attributes;
    std::map<std::pair<ImageSet, ImageRole>, std::string> images;
};

TEST_F(EmbeddedFilesTest, EachSetIsJoinedByteForByteAndItsChunksRemoved) {
    // useBootTwo, bootSet, the set they choose
    const std::tuple<bool, bool, ImageSet> choices[] = {
        {false, false, ImageSet::kApplication},
        {false, true, ImageSet::kBoot},
        {true, false, ImageSet::kBootTwo},
        {true, true, ImageSet::kBootTwo},
    };
    for (const auto& [useBootTwo, bootSet, set] : choices) {
        const ExtractedImages result = Extract(useBootTwo, bootSet);
        ASSERT_EQ(ExtractFailure::kNone, result.failure) << result.detail;
        EXPECT_EQ("Loader.hex", result.loaderFileName);
        EXPECT_EQ("Code.hex", result.codeFileName);
        EXPECT_EQ((std::set<std::string>{"Code.hex", "Loader.hex"}), Entries(dir.Path()));
        EXPECT_EQ(Image(set, ImageRole::kLoader), ReadFile(dir / "Loader.hex"));
        EXPECT_EQ(Image(set, ImageRole::kCode), ReadFile(dir / "Code.hex"));
        fs::remove(dir / "Loader.hex");
        fs::remove(dir / "Code.hex");
    }
}

TEST_F(EmbeddedFilesTest, CountZeroJoinsAnEmptyFileAndDspCodeIsCodeOut) {
    attributes.CodeChunksBoot = 0;
    attributes.UpgradeType = kUpgradeDsp;
    const ExtractedImages result = Extract(false, true);
    ASSERT_EQ(ExtractFailure::kNone, result.failure) << result.detail;
    EXPECT_EQ("Code.OUT", result.codeFileName);
    EXPECT_EQ("", ReadFile(dir / "Code.OUT"));
    EXPECT_EQ(Image(ImageSet::kBoot, ImageRole::kLoader), ReadFile(dir / "Loader.hex"));
}

TEST_F(EmbeddedFilesTest, TakenJoinedNamesMoveTheJoinToTheNextFreeNumber) {
    WriteFile(dir / "Loader.hex", "old");
    WriteFile(dir / "Loader1.hex", "older");
    WriteFile(dir / "Code.hex", "old");
    const ExtractedImages result = Extract(false, false);
    ASSERT_EQ(ExtractFailure::kNone, result.failure) << result.detail;
    EXPECT_EQ("Loader2.hex", result.loaderFileName);
    EXPECT_EQ("Code1.hex", result.codeFileName);
    EXPECT_EQ("old", ReadFile(dir / "Loader.hex"));
    EXPECT_EQ(Image(ImageSet::kApplication, ImageRole::kLoader), ReadFile(dir / "Loader2.hex"));
}

TEST_F(EmbeddedFilesTest, StaleChunkFailsEveryExtractionUntilRemoved) {
    WriteFile(dir / "Loader.1", "stale");
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_TRUE(FailedNaming(Extract(false, false), ExtractFailure::kLoader, "Loader.1"));
    EXPECT_EQ("stale", ReadFile(dir / "Loader.1"));
    fs::remove(dir / "Loader.1");
    // A stale code chunk fails with the code message after the loader was joined.
    fs::create_symlink("nowhere", dir / "Code.2");
    const ExtractedImages result = Extract(false, false);
    EXPECT_EQ(ExtractFailure::kCode, result.failure);
    EXPECT_EQ("Loader.hex", result.loaderFileName);
    for (const char* chunk : {"Loader.1", "Loader.2", "Code.1", "Code.2"})
        fs::remove(dir / chunk);
    EXPECT_EQ(ExtractFailure::kNone, Extract(false, false).failure);
}

TEST_F(EmbeddedFilesTest, ChunkTheProgramDoesNotHoldFailsWithoutJoining) {
    package.Remove(ChunkResourceName(ImageSet::kApplication, ImageRole::kCode, 2));
    EXPECT_TRUE(FailedNaming(Extract(false, false), ExtractFailure::kCode, "Code_2"));
    EXPECT_TRUE(fs::is_empty(dir.Path()));  // not even the loader, nor Code.1
}

TEST_F(EmbeddedFilesTest, FilesThatCannotBeCreatedOrWrittenWholeFailTheExtraction) {
    WriteFile(dir / "file", "");
    EXPECT_EQ(ExtractFailure::kLoader,
              ExtractEmbeddedFiles(package, attributes, false, false, dir / "file").failure);
    fs::remove(dir / "file");

    {
        // The first loader chunk cannot be written whole.
        FileSizeLimit limit(kTestChunkBytes / 2);
        EXPECT_TRUE(FailedNaming(Extract(false, false), ExtractFailure::kLoader, "Loader.1"));
    }
    EXPECT_TRUE(fs::is_empty(dir.Path()));  // the next run finds no chunk in its way
    {
        // Every chunk fits, the joined loader does not: no partial image is left.
        FileSizeLimit limit(kTestChunkBytes + 100);
        EXPECT_TRUE(FailedNaming(Extract(false, false), ExtractFailure::kLoader, "Loader.hex"));
    }
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(PackageAttributesReadTest, MissingOrShortRecordStaysZeroAndFolderNamesIgnoreCase) {
    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    ResourceAttributes read;
    read.Series = 9;
    EXPECT_FALSE(ReadPackageAttributes(DirectoryPackage(dir.Path()), read));
    EXPECT_EQ(0, read.Series);

    ResourceAttributes written;
    written.Series = 4;
    written.CodeChunksApp = 12;
    const auto bytes = SerializeAttributes(written);
    WriteFile(dir / "resourceATTRIBUTES_", std::string(bytes.begin(), bytes.end() - 1));
    EXPECT_FALSE(ReadPackageAttributes(DirectoryPackage(dir.Path()), read));
    EXPECT_EQ(0u, read.CodeChunksApp);

    WriteFile(dir / "resourceATTRIBUTES_", std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(ReadPackageAttributes(DirectoryPackage(dir.Path()), read));
    EXPECT_EQ(12u, read.CodeChunksApp);
    EXPECT_EQ(4, read.Series);
}

}  // namespace
