#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ChildProgram.h"
#include "TempDir.h"

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
}

}  // namespace
