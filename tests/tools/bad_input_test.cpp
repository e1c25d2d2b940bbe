// Every command of quenta, quenta-radiosim and quenta-firmware given files it cannot use:
// missing, empty, truncated, oversized, noise, of another kind, a folder, a full disk. Each
// must end at once with a non-zero exit and one line that says what is wrong, and leave no
// output or temporary file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ChildProgram.h"
#include "CodeplugGenerator.h"
#include "FileText.h"
#include "Noise.h"
#include "TempDir.h"
#include "convert/RadioCodeplugConversion.h"

namespace fs = std::filesystem;

namespace {

using testsupport::Lines;
using testsupport::RunProgram;

enum Tool { kQuenta, kRadiosim, kFirmware };

struct Case {
    Tool tool;
    const char* args;  // split at blanks; {d} is the folder of the fixture files
    const char* says;  // what the error line must hold
    long fileLimit = 0;
    // Lines on stderr: check gives its verdict on stdout; retrieve adds the reason to its
    // fixed text.
    int errorLines = 1;
    // The exit status, when the command names one (and then nothing is on stdout); 0: any
    // failure.
    int status = 0;
};

const Case kCases[] = {
    // Codeplug files.
    {kQuenta, "codeplug info {d}/missing.cp", "cannot open {d}/missing.cp"},
    {kQuenta, "codeplug check {d}/empty", "is empty"},
    {kQuenta, "codeplug info {d}/empty", "is empty"},
    {kQuenta, "codeplug check {d}/odd.cp", "odd length"},
    {kQuenta, "codeplug info {d}/cut.cp", "not a well-formed codeplug"},
    {kQuenta, "codeplug check {d}/cut.cp", "invalid (rule 3", 0, 0},
    {kQuenta, "codeplug info {d}/big.cp", "longer than 32768 bytes"},
    {kQuenta, "codeplug check {d}/big.cp", "longer than 32768 bytes"},
    {kQuenta, "codeplug info {d}/noise", "not a codeplug"},
    {kQuenta, "codeplug check {d}/noise", "no block marker at word 0", 0, 0},
    {kQuenta, "codeplug info {d}/image.hex", "not a codeplug"},
    {kQuenta, "codeplug check {d}/folder", "Is a directory"},
    {kQuenta, "codeplug convert --to 5.10 {d}/missing.cp {d}/out.cp",
     "cannot open {d}/missing.cp: No such file", 0, 1, 1},
    {kQuenta, "codeplug convert --to 5.10 {d}/empty {d}/out.cp", "is empty", 0, 1, 1},
    {kQuenta, "codeplug convert --to 5.10 {d}/odd.cp {d}/out.cp", "odd length", 0, 1, 1},
    {kQuenta, "codeplug convert --to 5.10 {d}/tiny-odd.cp {d}/out.cp", "odd length", 0, 1, 1},
    {kQuenta, "codeplug convert --to 5.10 {d}/zeros.cp {d}/out.cp", "not a well-formed codeplug", 0,
     1, 1},
    {kQuenta, "codeplug convert --to 5.10 {d}/long.cp {d}/out.cp", "longer than 32768", 0, 1, 1},
    {kQuenta, "codeplug convert --to 5.10 {d}/cut.cp {d}/out.cp", "not a well-formed codeplug"},
    {kQuenta, "codeplug convert --to 5.10 {d}/big.cp {d}/out.cp", "longer than"},
    {kQuenta, "codeplug convert --to 5.10 {d}/noise {d}/out.cp", "not a well-formed codeplug"},
    {kQuenta, "codeplug convert --to 5.10 {d}/image.hex {d}/out.cp", "not a well-formed"},
    {kQuenta, "codeplug convert --to 5.10 {d}/folder {d}/out.cp", "Is a directory"},
    {kQuenta, "codeplug convert --to 5.10 {d}/good.cp {d}/none/out.cp", "cannot create", 0, 1, 1},
    {kQuenta, "codeplug convert --to 5.10 {d}/good.cp {d}/folder", "not a regular file"},
    // A pipe nobody writes to is refused, not waited on; a device or a link is never replaced.
    {kQuenta, "codeplug info {d}/fifo", "not a regular file"},
    {kQuenta, "codeplug convert --to 5.10 {d}/good.cp {d}/stdout", "not a regular file"},
    {kQuenta, "codeplug generate --format 5.9 {d}/fifo", "not a regular file"},
    {kQuenta, "codeplug read --port {d}/missing-tty {d}/stdout", "not a regular file", 0, 1, 2},
    {kQuenta, "codeplug write --port {d}/missing-tty {d}/fifo", "not a regular file"},
    {kQuenta, "update --port {d}/noise --password-file {d}/fifo", "not a regular file", 0, 1, 2},
    {kQuenta, "update --port {d}/noise --trace {d}/fifo", "not a regular file", 0, 1, 2},
    {kQuenta, "codeplug restore --port {d}/missing-tty --yes {d}/fifo", "not a regular file"},
    // A password file is named with its option: update reads two.
    {kQuenta, "update --port {d}/noise --password-file {d}/empty",
     "--password-file: {d}/empty is empty", 0, 1, 2},
    {kQuenta, "update --port {d}/noise --codeplug-password-file {d}/empty",
     "--codeplug-password-file: {d}/empty is empty", 0, 1, 2},
    {kQuenta, "codeplug restore --port {d}/missing-tty --codeplug-password-file {d}/fifo",
     "--codeplug-password-file: {d}/fifo is not a regular file", 0, 1, 2},
    {kQuenta, "update --port {d}/noise --trace {d}/stdout", "not a regular file", 0, 1, 2},
    {kQuenta, "codeplug convert --to 5.10 {d}/good.cp {d}/out.cp", "File too large", 1024},
    {kQuenta, "codeplug generate --format 5.9 {d}/none/out.cp", "cannot create"},
    {kQuenta, "codeplug generate --format 5.9 {d}/out.cp", "File too large", 1024},
    // A codeplug file to write into a radio is examined before the port is opened.
    {kQuenta, "codeplug write --port {d}/missing-tty {d}/empty", "is empty"},
    {kQuenta, "codeplug write --port {d}/missing-tty {d}/odd.cp", "odd length"},
    {kQuenta, "codeplug write --port {d}/missing-tty {d}/cut.cp", "not a well-formed codeplug"},
    {kQuenta, "codeplug write --port {d}/missing-tty {d}/noise", "not a well-formed codeplug"},
    {kQuenta, "codeplug write --port {d}/missing-tty {d}/big.cp", "longer than 32768 bytes"},
    // One radio per command: a second --port is refused before anything is opened.
    {kQuenta, "retrieve --port COM1 --port COM2", "--port given twice", 0, 1, 2},
    {kQuenta, "codeplug restore --port COM1 --port COM2 --yes", "--port given twice", 0, 1, 2},
    // Ports that are no serial ports.
    {kQuenta, "retrieve --port {d}/missing-tty", "does not exist", 0, 2},
    {kQuenta, "retrieve --port {d}/noise", "not a serial port", 0, 2},
    {kQuenta, "retrieve --port {d}/folder", "not a serial port", 0, 2},
    // A port folder that is none never lets the fixed table pick a device.
    {kQuenta, "retrieve --port COM1 --port-dir {d}/none", "the port folder {d}/none does not exist",
     0, 1, 2},
    {kQuenta, "update --port COM1 --port-dir {d}/noise", "{d}/noise is not a folder", 0, 1, 2},
    // Scenario files, and the codeplug files they name.
    {kRadiosim, "--scenario {d}/missing.json", "cannot open"},
    {kRadiosim, "--scenario {d}/empty", "is empty"},
    {kRadiosim, "--scenario {d}/cut.json", "not a JSON scenario"},
    {kRadiosim, "--scenario {d}/big.json", "longer than 1048576 bytes"},
    {kRadiosim, "--scenario {d}/noise", "not a JSON scenario"},
    {kRadiosim, "--scenario {d}/good.cp", "not a JSON scenario"},
    {kRadiosim, "--scenario {d}/array.json", "expected an object"},
    {kRadiosim, "--scenario {d}/folder", "is a folder"},
    {kRadiosim, "--scenario {d}/uses-missing.cp.json", "codeplug.file: cannot open"},
    {kRadiosim, "--scenario {d}/uses-empty.json", "is empty"},
    {kRadiosim, "--scenario {d}/uses-odd.cp.json", "odd length"},
    {kRadiosim, "--scenario {d}/uses-big.cp.json", "longer than 32768 bytes"},
    {kRadiosim, "--scenario {d}/uses-noise.json", "not a codeplug"},
    {kRadiosim, "--scenario {d}/uses-image.hex.json", "not a codeplug"},
    {kRadiosim, "--scenario {d}/uses-folder.json", "is a folder"},
    {kRadiosim, "--report {d}/none/report.json", "does not exist"},
    {kRadiosim, "--scenario {d}/zero-baud.json", "baud: expected a line speed"},
    {kRadiosim, "--report {d}/stdout", "not a regular file"},
    // Generated firmware that cannot be written whole.
    {kFirmware, "srec --kind loader {d}/none/out.hex", "cannot create"},
    {kFirmware, "srec --kind loader {d}/folder", "cannot write"},
    {kFirmware, "srec --kind application --bytes 100000 {d}/out.hex", "cannot write", 4096},
    {kFirmware, "dsp --layout 48 --max-words 100000 {d}/out.coff", "cannot write", 4096},
    {kFirmware, "srec --kind boot --bytes 1000000000000 {d}/out.hex", "out of range"},
    {kFirmware, "dsp --pages 9 {d}/out.coff", "out of range"},
};

std::string Expand(std::string text, const std::string& dir) {
    for (std::size_t at; (at = text.find("{d}")) != std::string::npos;)
        text.replace(at, 3, dir);
    return text;
}

class BadInput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempDir>("quenta-bad-input");
        ASSERT_FALSE(folder_->Path().empty());
        dir_ = folder_->Path();
        auto write = [](const std::string& name, const std::string& bytes) {
            testsupport::WriteFile(dir_ / name, bytes);
        };
        CodeplugImage img;
        CodeplugGeneratorOptions options;
        const int words = generateCodeplug(img, options);
        std::string good(static_cast<std::size_t>(words) * 2, '\0');
        storeRadioBytes(img, reinterpret_cast<uint8_t*>(good.data()), good.size());
        std::string noise = testsupport::Noise(1000, 12345);
        noise[0] = '\x01';
        write("good.cp", good);
        write("cut.cp", good.substr(0, 1000));
        write("odd.cp", good.substr(0, 999));
        write("big.cp", good + std::string(40000, '\0'));
        write("tiny-odd.cp", std::string("\x5F\x5F\x00", 3));
        write("zeros.cp", std::string(256, '\0'));
        write("long.cp", std::string(32770, '\0'));
        write("empty", "");
        write("noise", noise);
        write("image.hex",
              "S00600004844521B\r\nS2140101000102030405060708090A0B0C0D0E0F10BE\r\n"
              "S904000000FB\r\n");
        write("cut.json", "{\"fileFormat\": [5,");
        write("array.json", "[1, 2]");
        write("zero-baud.json", "{\"baud\": 0}");
        write("big.json", "{\"comment\": \"" + std::string(1100000, 'x') + "\"}");
        fs::create_directory(dir_ / "folder");
        ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
        fs::create_symlink("/dev/null", dir_ / "stdout");
        for (const char* cp :
             {"missing.cp", "empty", "odd.cp", "big.cp", "noise", "image.hex", "folder"}) {
            write(std::string("uses-") + cp + ".json",
                  "{\"codeplug\": {\"file\": \"" + (dir_ / cp).string() + "\"}}");
        }
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::set<std::string> Files() {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir_))
            names.insert(e.path().string());
        return names;
    }

    static std::unique_ptr<TempDir> folder_;
    static fs::path dir_;
};

std::unique_ptr<TempDir> BadInput::folder_;
fs::path BadInput::dir_;

TEST_F(BadInput, EveryCommandRefusesWithOneLineAndLeavesNothing) {
    const char* const programs[] = {QUENTA_BIN, QUENTA_RADIOSIM_BIN, QUENTA_FIRMWARE_BIN};
    const std::set<std::string> before = Files();
    for (const Case& c : kCases) {
        const std::string args = Expand(c.args, dir_.string());
        SCOPED_TRACE(args);
        testsupport::RunOptions options;
        options.separateErr = true;
        options.fileSizeLimit = c.fileLimit > 0 ? c.fileLimit : -1;
        const testsupport::RunResult r = RunProgram(programs[c.tool], args, options);
        EXPECT_GT(r.status, 0) << "stdout: " << r.out << "\nstderr: " << r.err;
        if (c.status != 0) {
            EXPECT_EQ(r.status, c.status);
            EXPECT_EQ(r.out, "");  // the error alone, on stderr
        }
        const std::vector<std::string> errLines = Lines(r.err);
        EXPECT_EQ(errLines.size(), static_cast<std::size_t>(c.errorLines)) << r.err;
        // The verdict of check is its output; every other command says it on stderr.
        const std::vector<std::string> said = errLines.empty() ? Lines(r.out) : errLines;
        ASSERT_FALSE(said.empty());
        EXPECT_NE(said.back().find(Expand(c.says, dir_.string())), std::string::npos)
            << said.back();
        EXPECT_EQ(Files(), before);
        EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
        EXPECT_TRUE(fs::is_symlink(dir_ / "stdout"));
    }
}

}  // namespace
