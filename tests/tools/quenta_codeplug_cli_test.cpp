#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ChildProgram.h"
#include "CodeplugGenerator.h"
#include "FileText.h"
#include "TempDir.h"
#include "convert/CodeplugCheck.h"
#include "convert/RadioCodeplugConversion.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;
using ToolRun = testsupport::RunResult;

ToolRun quenta(const std::string& args) {
    return testsupport::RunProgram(QUENTA_BIN, args);
}

class CodeplugCli : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(temp_.Path().empty()); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::string writeGenerated(const std::string& name, uint8_t version, uint32_t seed = 5) {
        CodeplugImage img;
        CodeplugGeneratorOptions options;
        options.versionIndex = version;
        options.seed = seed;
        std::string bytes(static_cast<std::size_t>(generateCodeplug(img, options)) * 2, '\0');
        storeRadioBytes(img, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
        WriteFile(path(name), bytes);
        return path(name);
    }

    TempDir temp_{"quenta-cli"};
    fs::path dir_{temp_.Path()};
};

TEST_F(CodeplugCli, UsageErrorsExitWithTwo) {
    for (const char* args : {"", "nonsense", "codeplug", "codeplug info",
                             "codeplug convert --to 5.7 a b", "codeplug convert 5.9 a b"})
        EXPECT_EQ(quenta(args).status, 2) << args;
    EXPECT_EQ(quenta("--help").status, 0);
}

TEST_F(CodeplugCli, InfoListsEveryBlockWithItsTables) {
    const std::string file = writeGenerated("a.cp", 4);
    const ToolRun r = quenta("codeplug info " + file);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("format:      5.9"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("header   format 5.9"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("16x2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ordinal 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("passes the check"), std::string::npos) << r.out;
}

TEST_F(CodeplugCli, CheckNamesTheRuleThatFailed) {
    const std::string good = writeGenerated("good.cp", 3);
    EXPECT_EQ(quenta("codeplug check " + good).status, 0);

    std::string bytes = ReadFile(good);
    bytes[28] = 0;  // header word 14: ordinal count 0
    WriteFile(path("bad.cp"), bytes);
    const ToolRun r = quenta("codeplug check " + path("bad.cp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("rule 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ordinal count 0"), std::string::npos) << r.out;

    bytes = ReadFile(good);
    bytes.resize(bytes.size() - 258);  // the blocks cut, not only the trailer
    WriteFile(path("short.cp"), bytes);
    EXPECT_EQ(quenta("codeplug check " + path("short.cp")).status, 1);
}

TEST_F(CodeplugCli, ConvertWritesAWellFormedImageOfTheTargetFormat) {
    const std::string in = writeGenerated("in.cp", 3);
    const ToolRun r = quenta("codeplug convert --to 5.10 " + in + " " + path("out.cp"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("from 5.8 to 5.10"), std::string::npos) << r.out;
    const std::string out = ReadFile(path("out.cp"));
    auto img = std::make_unique<CodeplugImage>();
    loadRadioBytes(*img, reinterpret_cast<const uint8_t*>(out.data()), out.size());
    EXPECT_TRUE(validateCodeplug(*img));
    EXPECT_EQ(img->word(3), 0x050A);
    EXPECT_EQ(out.size(), static_cast<std::size_t>(imageWords(*img)) * 2);
    // Only the input and the output: no temporary file was left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 2);

    const ToolRun back =
        quenta("codeplug convert --to 5.9 " + path("out.cp") + " " + path("back.cp"));
    EXPECT_EQ(back.status, 0) << back.out;
    EXPECT_EQ(quenta("codeplug check " + path("back.cp")).status, 0);
}

TEST_F(CodeplugCli, SameFormatIsSaidAndWrittenUnchanged) {
    const std::string in = writeGenerated("in.cp", 4);
    const ToolRun r = quenta("codeplug convert --to 5.9 " + in + " " + path("out.cp"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("already in format 5.9"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(path("out.cp")), ReadFile(in));
}

TEST_F(CodeplugCli, OlderFormatIsRefusedAndTheOutputLeftAlone) {
    std::string bytes = ReadFile(writeGenerated("in.cp", 4));
    bytes[7] = 7;  // stamp 5.7
    WriteFile(path("old.cp"), bytes);
    WriteFile(path("out.cp"), "\x01\x02\x03");
    const ToolRun r = quenta("codeplug convert --to 5.10 " + path("old.cp") + " " + path("out.cp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("5.7 is not converted"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(path("out.cp")), "\x01\x02\x03");
}

TEST_F(CodeplugCli, GenerateMakesAValidImage) {
    const ToolRun r = quenta("codeplug generate --format 5.10 --seed 9 " + path("g.cp"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(quenta("codeplug check " + path("g.cp")).status, 0);
    EXPECT_EQ(quenta("codeplug generate --format 6.0 " + path("h.cp")).status, 2);
}

// A codeplug carries the radio's settings and access codes: whatever the umask, the files the
// tool writes stay the owner's.
TEST_F(CodeplugCli, WrittenCodeplugsAreTheOwnersOnly) {
    const mode_t saved = ::umask(0);
    const ToolRun generated = quenta("codeplug generate --format 5.9 --seed 4 " + path("g.cp"));
    const ToolRun converted =
        quenta("codeplug convert --to 5.10 " + path("g.cp") + " " + path("c.cp"));
    ::umask(saved);
    ASSERT_EQ(generated.status, 0) << generated.out;
    ASSERT_EQ(converted.status, 0) << converted.out;
    for (const char* name : {"g.cp", "c.cp"})
        EXPECT_EQ(fs::status(path(name)).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write)
            << name;
}

}  // namespace
