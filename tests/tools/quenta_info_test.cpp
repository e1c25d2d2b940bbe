#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};

ToolRun Quenta(const std::string& args) {
    ToolRun r;
    const std::string command = std::string(QUENTA_BIN) + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char block[512];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, pipe)) > 0)
        r.output.append(block, n);
    const int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(QuentaInfoTest, ShowsTheEmbeddedPackageAndRefusesAnIncompleteOne) {
    const ToolRun embedded = Quenta("info");
    EXPECT_EQ(0, embedded.status) << embedded.output;
    EXPECT_NE(std::string::npos, embedded.output.find("Program: " QUENTA_PROGRAM_NAME "\n"))
        << embedded.output;
    EXPECT_NE(std::string::npos, embedded.output.find("Application Set: loader "))
        << embedded.output;

    TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    fs::copy(QUENTA_EXAMPLE_PACKAGE_DIR, dir.Path());
    fs::remove(dir / "Code_Boot_1");
    const ToolRun incomplete = Quenta("info --package " + dir.Path());
    EXPECT_EQ(1, incomplete.status) << incomplete.output;
    for (const char* line : {"Target Kind: 6\n", "Upgrade Type: Application/Boot\n",
                             "Second Boot Version: 7.3\n", "(missing: Code_Boot_1)"})
        EXPECT_NE(std::string::npos, incomplete.output.find(line)) << line << incomplete.output;
}

}  // namespace
