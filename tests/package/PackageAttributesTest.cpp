#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "ExamplePackage.h"
#include "app/package/PackageAttributes.h"
#include "app/package/ProgramName.h"

namespace {

TEST(PackageAttributesTest, RecordIsPackedLittleEndianAndReadsBack) {
    ResourceAttributes a = testsupport::ExampleAttributes(kUpgradeApplicationBoot);
    a.LoaderChunksApp = a.LoaderChunksBoot = a.CodeChunksBoot = 1;
    a.LoaderChunksBootTwo = a.CodeChunksBootTwo = 1;
    a.CodeChunksApp = 0x01020304;
    std::strcpy(a.CordavoVersion, "2.8.2");
    std::strcpy(a.KesmetVersion, "3.0.9");
    std::memcpy(a.Reserved, "E01", 3);
    a.Series = -2;
    a.ProcessorVariant = 5;
    const auto bytes = SerializeAttributes(a);
    const std::uint8_t codeChunks[] = {4, 3, 2, 1};
    EXPECT_EQ(0, std::memcmp(bytes.data() + 4, codeChunks, 4));
    EXPECT_EQ(7, bytes[32]);  // BootTwoMajor
    EXPECT_EQ(3, bytes[36]);
    EXPECT_EQ(0, std::memcmp(bytes.data() + 40, "2.8.2\0", 6));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 50, "3.0.9\0", 6));
    const std::uint8_t tail[] = {0, 1, 0xFE, 3, 5, 'E', '0', '1'};
    EXPECT_EQ(0, std::memcmp(bytes.data() + 60, tail, sizeof tail));

    ResourceAttributes back;
    ASSERT_TRUE(ParseAttributes(bytes.data(), bytes.size(), back));
    EXPECT_EQ(bytes, SerializeAttributes(back));
    EXPECT_EQ(-2, back.Series);
    EXPECT_EQ(0x01020304u, back.CodeChunksApp);

    ResourceAttributes untouched;
    EXPECT_FALSE(ParseAttributes(bytes.data(), bytes.size() - 1, untouched));
    EXPECT_EQ(0u, untouched.CodeChunksApp);
}

TEST(PackageAttributesTest, TextFieldsEndAtTheirFirstNulOrFillTheField) {
    ResourceAttributes a;
    std::memcpy(a.CordavoVersion, "2.8\0junk!!", 10);
    std::memcpy(a.KesmetVersion, "0123456789", 10);
    EXPECT_EQ("2.8", FieldText(a.CordavoVersion));
    EXPECT_EQ("0123456789", FieldText(a.KesmetVersion));
}

TEST(PackageAttributesTest, TargetKindAndNameTables) {
    // family, series, kindIsOne, kind
    const std::tuple<int, int, bool, int> kinds[] = {
        {0, 4, false, 6},  {0, 6, false, 0}, {0, 7, false, 4},  {0, 4, true, 6},
        {1, 4, true, 1},   {1, 4, false, 7}, {1, 6, false, 8},  {1, 2, false, 5},
        {1, -1, false, 5}, {2, 4, false, 0}, {255, 6, true, 0},
    };
    for (const auto& [family, series, kindIsOne, kind] : kinds) {
        EXPECT_EQ(kind, TargetKindFromPackage(static_cast<std::uint8_t>(family),
                                              static_cast<std::int8_t>(series), kindIsOne))
            << family << " " << series << " " << kindIsOne;
    }
    EXPECT_EQ("2600", RadioFamilyName(0));
    EXPECT_EQ("2800", RadioFamilyName(1));
    EXPECT_EQ("", RadioFamilyName(2));
    EXPECT_EQ("Application", UpgradeTypeName(0));
    EXPECT_EQ("Boot", UpgradeTypeName(1));
    EXPECT_EQ("DSP", UpgradeTypeName(2));
    EXPECT_EQ("Application/Boot", UpgradeTypeName(3));
    EXPECT_EQ("", UpgradeTypeName(4));
}

TEST(ProgramNameTest, NameBeforeTheFirstDotAndTheReleaseAfterReleaseWord) {
    // path, name label, release
    const std::tuple<const char*, const char*, const char*> names[] = {
        {"/opt/quenta/Quenta_Code_Updater_2600_Series_4_Release_2_8",
         "Name: Quenta_Code_Updater_2600_Series_4_Release_2_8", "2.8"},
        {"bin/Updater_Release_2_8.x.exe", "Name: Updater_Release_2_8", "2.8"},
        {"quenta-window", "Name: quenta-window", "N/A"},
        // The underscore right after the word is a blank, not the release's full stop.
        {"Updater_Release_28", "Name: Updater_Release_28", "28"},
        // The last character is never read.
        {"Updater_Release_2_", "Name: Updater_Release_2_", "2_"},
        {"Updater_Release", "Name: Updater_Release", "N/A"},
    };
    for (const auto& [path, nameLabel, release] : names) {
        const ProgramNameLabels labels = ReadProgramName(path);
        EXPECT_EQ(nameLabel, labels.nameLabel) << path;
        EXPECT_EQ(release, labels.release) << path;
    }
}

}  // namespace
