#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ChildProgram.h"
#include "FileText.h"
#include "TempDir.h"
#include "app/package/PackageAttributes.h"
#include "app/package/PackageNames.h"

namespace {

namespace fs = std::filesystem;

using ToolRun = testsupport::RunResult;

ToolRun Quenta(const std::string& args) {
    return testsupport::RunProgram(QUENTA_BIN, args);
}

TEST(QuentaInfoTest, ShowsTheEmbeddedPackageAndRefusesAnIncompleteOne) {
    const ToolRun embedded = Quenta("info");
    EXPECT_EQ(0, embedded.status) << embedded.out;
    EXPECT_NE(std::string::npos, embedded.out.find("Program: " QUENTA_PROGRAM_NAME "\n"))
        << embedded.out;
    EXPECT_NE(std::string::npos, embedded.out.find("Application Set: loader ")) << embedded.out;

    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    fs::copy(QUENTA_EXAMPLE_PACKAGE_DIR, dir.Path());
    fs::remove(dir / "Code_Boot_1");
    const ToolRun incomplete = Quenta("info --package " + dir.Path());
    EXPECT_EQ(1, incomplete.status) << incomplete.out;
    for (const char* line : {"Target Kind: 6\n", "Upgrade Type: Application/Boot\n",
                             "Second Boot Version: 7.3\n", "(missing: Code_Boot_1)"})
        EXPECT_NE(std::string::npos, incomplete.out.find(line)) << line << incomplete.out;

    // --json: one result line with the same facts.
    const nlohmann::json whole =
        nlohmann::json::parse(Quenta("info --json").out, nullptr, false)["result"];
    EXPECT_EQ(whole["program"], QUENTA_PROGRAM_NAME) << whole;
    EXPECT_EQ(whole["complete"], true) << whole;
    EXPECT_GT(whole["imageSets"]["application"]["code"]["bytes"], 0) << whole;
    const ToolRun json = Quenta("info --json --package " + dir.Path());
    EXPECT_EQ(1, json.status) << json.out;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1) << json.out;
    const nlohmann::json result = nlohmann::json::parse(json.out, nullptr, false)["result"];
    EXPECT_EQ(result["targetKind"], 6) << json.out;
    EXPECT_EQ(result["secondBootVersion"], "7.3") << json.out;
    EXPECT_EQ(result["imageSets"]["boot"]["code"]["missing"], "Code_Boot_1") << json.out;
    EXPECT_EQ(result["complete"], false) << json.out;
    EXPECT_EQ(result["exitStatus"], 1) << json.out;
}

// A damaged record naming four billion chunks is refused at once, not counted through.
TEST(QuentaInfoTest, ARecordNamingMoreChunksThanAPackageHoldsIsRefused) {
    TempDir dir;
    fs::copy(QUENTA_EXAMPLE_PACKAGE_DIR, dir.Path());
    const std::string recordPath = dir / kAttributesResourceName;
    const std::string bytes = testsupport::ReadFile(recordPath);
    ResourceAttributes record;
    ASSERT_TRUE(
        ParseAttributes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), record));
    record.CodeChunksApp = 0xFFFFFFFFu;
    const auto damaged = SerializeAttributes(record);
    testsupport::WriteFile(recordPath, std::string(damaged.begin(), damaged.end()));
    const ToolRun info = Quenta("info --package " + dir.Path());
    EXPECT_EQ(1, info.status) << info.out;
    EXPECT_NE(std::string::npos, info.out.find("4294967295 chunks (damaged record")) << info.out;
}

// Output that cannot be written (a full disk) is a failure, said on stderr, never a success.
TEST(QuentaInfoTest, OutputThatCannotBeWrittenIsAFailure) {
    for (const char* command : {"info", "info --json", "history"}) {
        SCOPED_TRACE(command);
        testsupport::RunOptions options;
        options.separateErr = true;
        const ToolRun r = testsupport::RunProgram(
            {"/bin/sh", "-c", std::string("exec ") + QUENTA_BIN + " " + command + " >/dev/full"},
            options);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("the output could not be written (No space left on device)"),
                  std::string::npos)
            << r.err;
    }
}

}  // namespace
