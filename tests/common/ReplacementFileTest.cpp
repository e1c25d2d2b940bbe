#include "common/ReplacementFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FileSizeLimit.h"
#include "FileText.h"
#include "TempDir.h"
#include "common/FileBytes.h"

namespace {

int EntriesIn(const std::string& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

}  // namespace

TEST(ReplacementFile, ReplacesARegularFileWholeWithTheModeAsked) {
    TempDir dir;
    const std::string target = dir / "out.bin";
    std::ofstream(target) << "old and longer";
    const mode_t savedMask = ::umask(0022);
    int error = 0;
    const ReplaceResult result = ReplaceFileContents(target, "new", 3, kPrivateFileMode, error);
    ::umask(savedMask);
    ASSERT_EQ(result, ReplaceResult::kOk) << error;
    EXPECT_EQ(testsupport::ReadFile(target), "new");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(EntriesIn(dir.Path()), 1);  // no temporary file left beside it
}

// A device, a FIFO, a folder or a link keeps what it is; nothing is created beside it.
TEST(ReplacementFile, RefusesATargetThatIsNotARegularFile) {
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = dir / "stdout";
    std::filesystem::create_symlink("/dev/null", link);
    const std::string real = dir / "real";
    std::ofstream(real) << "kept";
    const std::string linkToFile = dir / "link-to-file";
    std::filesystem::create_symlink(real, linkToFile);
    const std::string folder = dir / "folder";
    std::filesystem::create_directory(folder);
    for (const std::string& target : {fifo, link, linkToFile, folder}) {
        int error = 0;
        EXPECT_EQ(ReplaceFileContents(target, "x", 1, kSharedFileMode, error),
                  ReplaceResult::kTargetNotRegular)
            << target;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::is_symlink(linkToFile));
    EXPECT_EQ(testsupport::ReadFile(real), "kept");
    EXPECT_EQ(EntriesIn(dir.Path()), 5);
}

// A full disk halfway: the target keeps its old content and the temporary file goes.
TEST(ReplacementFile, AFailedWriteLeavesTheTargetAsItWas) {
    TempDir dir;
    const std::string target = dir / "out.bin";
    std::ofstream(target) << "old";
    const std::string big(4096, 'x');
    ReplaceResult result;
    int error = 0;
    {
        FileSizeLimit limit(1024);
        result = ReplaceFileContents(target, big.data(), big.size(), kSharedFileMode, error);
    }
    EXPECT_EQ(result, ReplaceResult::kWriteFailed);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(testsupport::ReadFile(target), "old");
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}

TEST(ReadRegularFile, RefusesAFifoAtOnceAndReadsAFileThatFits) {
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string bytes;
    int error = 0;
    EXPECT_EQ(ReadRegularFile(fifo, 16, bytes, error), ReadFileResult::kNotRegular);
    EXPECT_EQ(ReadRegularFile(dir.Path(), 16, bytes, error), ReadFileResult::kNotRegular);
    const std::string file = dir / "file";
    std::ofstream(file) << "0123456789abcdef";
    EXPECT_EQ(ReadRegularFile(file, 16, bytes, error), ReadFileResult::kOk);
    EXPECT_EQ(bytes, "0123456789abcdef");
    EXPECT_EQ(ReadRegularFile(file, 15, bytes, error), ReadFileResult::kTooLong);
}
