#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ChildProgram.h"
#include "CodeplugGenerator.h"
#include "TempDir.h"
#include "convert/CodeplugCheck.h"
#include "convert/RadioCodeplugConversion.h"

namespace fs = std::filesystem;

namespace {

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
        const int words = generateCodeplug(img, options);
        std::vector<uint8_t> bytes(static_cast<std::size_t>(words) * 2);
        storeRadioBytes(img, bytes.data(), bytes.size());
        writeBytes(name, bytes);
        return path(name);
    }

    void writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<uint8_t> readBytes(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // Only the given files are in the folder: no output or temporary file was left behind.
    void expectOnly(std::vector<std::string> names) {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir_))
            found.push_back(e.path().filename());
        std::sort(found.begin(), found.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(found, names);
    }

    TempDir temp_{"quenta-cli"};
    fs::path dir_{temp_.Path()};
};

TEST_F(CodeplugCli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(quenta("").status, 2);
    EXPECT_EQ(quenta("nonsense").status, 2);
    EXPECT_EQ(quenta("codeplug").status, 2);
    EXPECT_EQ(quenta("codeplug info").status, 2);
    EXPECT_EQ(quenta("codeplug convert --to 5.7 a b").status, 2);
    EXPECT_EQ(quenta("codeplug convert 5.9 a b").status, 2);
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

    std::vector<uint8_t> bytes = readBytes(good);
    bytes[28] = 0;  // header word 14: ordinal count 0
    writeBytes("bad.cp", bytes);
    const ToolRun r = quenta("codeplug check " + path("bad.cp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("rule 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ordinal count 0"), std::string::npos) << r.out;

    bytes = readBytes(good);
    bytes.resize(bytes.size() - 258);  // the blocks cut, not only the trailer
    writeBytes("short.cp", bytes);
    EXPECT_EQ(quenta("codeplug check " + path("short.cp")).status, 1);
}

TEST_F(CodeplugCli, BadFilesGetOneLineAndNoOutput) {
    writeBytes("odd.cp", {0x5F, 0x5F, 0x00});
    writeBytes("empty.cp", {});
    writeBytes("long.cp", std::vector<uint8_t>(32770, 0));
    writeBytes("zero.cp", std::vector<uint8_t>(256, 0));
    struct Case {
        std::string file, message;
    };
    for (const Case& c : {Case{"odd.cp", "odd length"}, Case{"empty.cp", "empty"},
                          Case{"long.cp", "longer than 32768"}, Case{"missing.cp", "No such file"},
                          Case{"zero.cp", "not a well-formed codeplug"}}) {
        const ToolRun r =
            quenta("codeplug convert --to 5.10 " + path(c.file) + " " + path("out.cp"));
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.file << ": " << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    }
    expectOnly({"odd.cp", "empty.cp", "long.cp", "zero.cp"});
}

TEST_F(CodeplugCli, ConvertWritesAWellFormedImageOfTheTargetFormat) {
    const std::string in = writeGenerated("in.cp", 3);
    const ToolRun r = quenta("codeplug convert --to 5.10 " + in + " " + path("out.cp"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("from 5.8 to 5.10"), std::string::npos) << r.out;
    const std::vector<uint8_t> out = readBytes(path("out.cp"));
    auto img = std::make_unique<CodeplugImage>();
    loadRadioBytes(*img, out.data(), out.size());
    EXPECT_TRUE(validateCodeplug(*img));
    EXPECT_EQ(img->word(3), 0x050A);
    EXPECT_EQ(out.size(), static_cast<std::size_t>(imageWords(*img)) * 2);
    expectOnly({"in.cp", "out.cp"});

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
    EXPECT_EQ(readBytes(path("out.cp")), readBytes(in));
}

TEST_F(CodeplugCli, OlderFormatIsRefusedAndTheOutputLeftAlone) {
    std::vector<uint8_t> bytes = readBytes(writeGenerated("in.cp", 4));
    bytes[7] = 7;  // stamp 5.7
    writeBytes("old.cp", bytes);
    writeBytes("out.cp", {1, 2, 3});
    const ToolRun r = quenta("codeplug convert --to 5.10 " + path("old.cp") + " " + path("out.cp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("5.7 is not converted"), std::string::npos) << r.out;
    EXPECT_EQ(readBytes(path("out.cp")), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(CodeplugCli, UnwritableOutputIsReported) {
    const std::string in = writeGenerated("in.cp", 3);
    const ToolRun r = quenta("codeplug convert --to 5.9 " + in + " " + path("no/such/dir/out.cp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot create"), std::string::npos) << r.out;
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
