// quenta update as a program: its exit statuses and what it leaves behind, against the
// simulated radio over a pseudo-terminal. Only runs that end without the long waits (the
// flash erase of an application, the radio's restart) are run here; the whole update runs
// in-process on a scaled clock (UpdateSimTest).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "ChildProgram.h"
#include "ExamplePackage.h"
#include "FileText.h"
#include "FirmwareGen.h"
#include "Noise.h"
#include "RadioSim.h"
#include "SimPortDirectory.h"
#include "TempDir.h"
#include "app/journal/Journal.h"
#include "app/package/PackageAttributes.h"
#include "app/package/PackageNames.h"

namespace fs = std::filesystem;
using firmwaregen::ImageKind;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kSimCom = 6;
const std::string kSimPort = "COM6";
const char* const kBootDownload = "Downloading Boot code";
const char* const kVerified = "read back and verified";

using testsupport::ReadFile;
using testsupport::RunOptions;
using ToolRun = testsupport::RunResult;

// The journal of every run in this test program (set in main): never the user's own.
const std::string& StateHome() {
    static const TempDir folder("quenta-state");
    return folder.Path();
}

// The journal's rows (of one serial number, or all), newest first.
std::vector<JournalRow> JournalRows(const std::string& serial = "") {
    Journal journal;
    std::string error;
    std::vector<JournalRow> rows;
    if (!journal.Open(fs::path(StateHome()) / "quenta/journal.sqlite3", error) ||
        !journal.Rows(serial, rows, error))
        ADD_FAILURE() << error;
    return rows;
}

ToolRun Quenta(std::vector<std::string> args, const RunOptions& options = {}) {
    args.insert(args.begin(), QUENTA_BIN);
    return testsupport::RunProgram(args, options);
}

ToolRun Update(std::vector<std::string> args, const RunOptions& options = {}) {
    args.insert(args.begin(), "update");
    return Quenta(args, options);
}

using testsupport::SRecords;

class QuentaUpdate : public ::testing::Test {
  protected:
    simtest::SimPortDirectory ports;
    TempDir package;
    TempDir work;
    Scenario scenario;
    std::unique_ptr<RadioSim> sim;
    ResourceAttributes attributes;

    void SetUp() override { SetSeries(4); }
    void TearDown() override {
        if (sim)
            sim->Stop();
    }
    // A radio of boot version major.3 and a package for its series.
    void SetSeries(std::uint8_t major) {
        scenario.boot = {major, 3};
        attributes.Series = major;
        attributes.KindBySeries = 1;
        attributes.BootMajor = major;
        attributes.BootMinor = 3;
    }
    // One file per resource, as the package builder writes a package folder.
    void PutImage(ImageSet set, ImageRole role, const std::string& image, std::size_t chunk) {
        std::uint32_t count = 0;
        for (std::size_t at = 0; at < image.size(); at += chunk)
            std::ofstream(package / ChunkResourceName(set, role, ++count), std::ios::binary)
                << image.substr(at, chunk);
        SetChunkCount(attributes, set, role, count);
    }
    void WritePackage(std::uint8_t upgradeType, std::uint64_t codeBytes = 8192) {
        attributes.UpgradeType = upgradeType;
        PutImage(ImageSet::kApplication, ImageRole::kLoader, SRecords(ImageKind::kLoader, 512, 1),
                 2048);
        PutImage(ImageSet::kApplication, ImageRole::kCode,
                 SRecords(upgradeType == kUpgradeBoot ? ImageKind::kBoot : ImageKind::kApplication,
                          codeBytes, 2),
                 2048);
        const auto record = SerializeAttributes(attributes);
        std::ofstream(package / kAttributesResourceName, std::ios::binary)
            .write(reinterpret_cast<const char*>(record.data()), record.size());
    }
    // A simulated radio of the given scenario serving COMcom of the port folder, in place of
    // the one radio held (stopped and gone first: it takes its COM link with it).
    void Start(std::unique_ptr<RadioSim>& radio, const Scenario& of, int com) {
        if (radio)
            radio->Stop();
        radio.reset();
        radio = std::make_unique<RadioSim>(of);
        std::string error;
        if (radio->Open(error, ports.Path(), com))
            radio->Start();
        else
            ADD_FAILURE() << error;
    }
    void StartSim() { Start(sim, scenario, kSimCom); }
    // Two radios of the scenario, the second on COM5; the arguments that update both.
    std::vector<std::string> StartTwoRadios(std::unique_ptr<RadioSim>& second) {
        StartSim();
        Start(second, scenario, 5);
        std::vector<std::string> args = Args("marigold");
        args.insert(args.begin(), {"--port", "COM5"});
        return args;
    }
    std::vector<std::string> Args(const std::string& password) {
        const std::string file = package / "password.txt";
        std::ofstream(file) << password << "\n";
        return {"--port",    kSimPort,       "--port-dir",      ports.Path(),
                "--package", package.Path(), "--password-file", file};
    }
    // quenta codeplug VERB on the simulated radio's port, then the rest of the arguments.
    ToolRun Codeplug(const std::string& verb, const std::vector<std::string>& rest,
                     const RunOptions& options = {}) {
        std::vector<std::string> args = {"codeplug", verb,         "--port",
                                         kSimPort,   "--port-dir", ports.Path()};
        args.insert(args.end(), rest.begin(), rest.end());
        return Quenta(args, options);
    }
    // Runs in the working folder; the first output line that starts with prefix sends signal.
    RunOptions SignalAt(const std::string& prefix, int signal) const {
        RunOptions options{work.Path()};
        options.onLine = [prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; };
        options.lineSignal = signal;
        return options;
    }
    // The device path behind the simulated radio's COM name.
    std::string Device() const { return fs::read_symlink(ports.Path() + "/" + kSimPort); }
    bool WorkEmpty() const { return fs::is_empty(work.Path()); }
};

TEST_F(QuentaUpdate, UsageAndHelp) {
    EXPECT_EQ(Update({}).status, 2);
    const ToolRun help = Update({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("3  stopped with Ctrl-C"), std::string::npos) << help.out;
}

// Whole application updates of a series-6 radio (a 2-second erase; the radio's restart still
// takes its 20 seconds, once or twice), the backups in a folder of the test's own.
class QuentaWholeUpdate : public QuentaUpdate {
  protected:
    TempDir dataHome;

    void SetUp() override {
        SetSeries(6);
        ::setenv("XDG_DATA_HOME", dataHome.Path().c_str(), 1);
        WritePackage(kUpgradeApplication);
    }
};

// New firmware that wants a codeplug older than 5.8: the update ends in "Done." but the
// codeplug is not converted, which the exit status tells apart; the codeplug is saved as read.
TEST_F(QuentaWholeUpdate, CodeplugNotConvertedHasItsOwnExitStatus) {
    scenario.codeplug.formatAfterUpdate = {5, 7};
    StartSim();
    RunOptions options{work.Path()};
    options.separateErr = true;  // the information box goes to stderr between the two
    const ToolRun r = Update(Args("pelican"), options);
    EXPECT_EQ(r.status, 5) << r.out;
    // The run's summary follows the last status line.
    const std::size_t summary = r.out.find("Done.\nSummary:\n  Radio serial: ");
    ASSERT_NE(summary, std::string::npos) << r.out;
    for (const char* line :
         {"\n  Code download: ", "\n  Image application: 8192 bytes in ",
          "\n  Codeplug format: ", " -> 5.7\n", "\n  Backup as read: ", "\n  Total time: "})
        EXPECT_NE(r.out.find(line, summary), std::string::npos) << line << "\n" << r.out;
    EXPECT_FALSE(fs::is_empty(dataHome / "quenta/backups"));
    EXPECT_TRUE(WorkEmpty());
}

// A codeplug write that fails: writing it again is asked, and without a terminal to answer
// on the answer is No; the command it suggests repeats the port as the user gave it (a device
// path, not the COM name behind it, and the port folder).
TEST_F(QuentaWholeUpdate, FailedCodeplugWriteHintRepeatsThePortArguments) {
    scenario.codeplug.generateFormat = 4;
    scenario.codeplug.formatAfterUpdate = {5, 10};
    scenario.codeplug.wrongSumAtReport = 0;
    StartSim();
    std::vector<std::string> args = Args("pelican");
    args[1] = Device();
    const ToolRun r = Update(args, {work.Path()});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Write the saved codeplug to the radio again?"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("no terminal to ask on: no"), std::string::npos) << r.out;
    EXPECT_EQ(sim->Report()["codeplug"]["downloads"], 1);
    EXPECT_NE(r.out.find("quenta codeplug write --port " + args[1] + " --port-dir " + ports.Path() +
                         " " + dataHome.Path() + "/quenta/backups/"),
              std::string::npos)
        << r.out;
}

TEST_F(QuentaUpdate, CurrentBootIsASuccessWithoutADownload) {
    WritePackage(kUpgradeBoot);
    StartSim();
    const ToolRun r = Update(Args("marigold"), {work.Path()});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("The boot version is current and does not need to be upgraded.\n"),
              std::string::npos);
    EXPECT_TRUE(sim->FlashedImages().empty());
}

TEST_F(QuentaUpdate, SeriesMismatchFails) {
    WritePackage(kUpgradeApplication);
    scenario.boot = {6, 0};
    StartSim();
    const ToolRun r = Update(Args("pelican"), {work.Path()});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Quenta Code Updater (error): Radio requires a 2600_Series_6 version"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(WorkEmpty());
}

// Ctrl-C, and a closed terminal alike, are the Stop button.
TEST_F(QuentaUpdate, CtrlCAndHangUpStopTheDownloadAndCleanUp) {
    WritePackage(kUpgradeBoot, 200'000);  // some seconds on the line
    scenario.boot = {4, 1};
    for (const int signal : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        StartSim();
        const ToolRun r = Update(Args("marigold"), SignalAt(kBootDownload, signal));
        EXPECT_EQ(r.status, 3) << r.out;
        EXPECT_NE(r.out.find("Code download timed out or canceled by user.\n"), std::string::npos)
            << r.out;
        EXPECT_TRUE(WorkEmpty());
        const auto flashed = sim->FlashedImages();
        ASSERT_EQ(flashed.size(), 2u);
        EXPECT_FALSE(flashed[1].ended);
    }
}

// A reader that has gone (quenta update | head) neither kills the run nor changes its outcome.
TEST_F(QuentaUpdate, OutputGoneKeepsTheRunGoing) {
    WritePackage(kUpgradeBoot);
    StartSim();
    RunOptions options{work.Path()};
    options.stdoutGone = true;
    const ToolRun r = Update(Args("marigold"), options);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(WorkEmpty());
}

// The journal's row is in before the first byte goes to the radio and follows the phases, so
// a run killed outright leaves a row that says how far it got.
TEST_F(QuentaUpdate, ARunKilledMidDownloadLeavesAPendingRow) {
    WritePackage(kUpgradeBoot, 200'000);
    scenario.boot = {4, 1};
    StartSim();
    const ToolRun r = Update(Args("marigold"), SignalAt(kBootDownload, SIGKILL));
    EXPECT_EQ(r.status, -1) << r.out;
    const std::vector<JournalRow> rows = JournalRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front().state, "pending");
    EXPECT_EQ(rows.front().phase, "boot-download");
    EXPECT_EQ(rows.front().port, kSimPort);
    EXPECT_EQ(fs::status(fs::path(StateHome()) / "quenta").permissions() & fs::perms::all,
              fs::perms::owner_all);
    // The killed run left its images; they are not this test's concern.
    fs::remove_all(work.Path());
    fs::create_directory(work.Path());
}

TEST_F(QuentaUpdate, StaleChunkOrDiskErrorDownloadsNothing) {
    WritePackage(kUpgradeApplication);
    StartSim();
    std::ofstream(work / "Loader.1") << "left by another copy";
    ToolRun r = Update(Args("pelican"), {work.Path()});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Embedded Files (error): Quenta Code Updater could not read the "
                         "embedded loader file."),
              std::string::npos)
        << r.out;
    fs::remove(work / "Loader.1");

    // Room for every chunk but not for the joined code image.
    RunOptions full{work.Path()};
    full.fileSizeLimit = 8192;
    r = Update(Args("pelican"), full);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Embedded Files (error): Quenta Code Updater could not read the "
                         "embedded code file."),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(sim->FlashedImages().empty());
}

// Every file and folder below dir with its bytes (folders as "/").
std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        files[e.path().string()] = e.is_directory() ? "/" : ReadFile(e.path());
    return files;
}

std::string Expand(std::string text, const std::string& dir) {
    for (std::size_t at; (at = text.find("{b}")) != std::string::npos;)
        text.replace(at, 3, dir);
    return text;
}

// Option values that cannot be used end the command before the port is opened: one line that
// says what is wrong, exit 2 (4 for a wrong password), nothing sent, no file made or changed.
TEST_F(QuentaUpdate, UnusableOptionValuesSendNothing) {
    WritePackage(kUpgradeApplication);
    StartSim();
    TempDir bad;
    auto put = [&](const std::string& name, const std::string& bytes) {
        testsupport::WriteFile(bad / name, bytes);
    };
    put("empty", "");
    put("blank", " \t\r\npelican\n");
    put("noise", testsupport::Noise(300, 99));
    put("big", std::string(5000, 'p'));
    put("albatross", "albatross\n");
    put("trace", "the trace of an earlier run\n");
    fs::create_directory(bad / "folder");
    // Package folders, each with one fault.
    const std::string attributesBytes = ReadFile(package / kAttributesResourceName);
    std::string damaged = attributesBytes;
    damaged[60] = '\x91';  // radio family
    const std::pair<const char*, std::string> records[] = {{"cut", attributesBytes.substr(0, 30)},
                                                           {"long", attributesBytes + "\n"},
                                                           {"damaged", damaged},
                                                           {"incomplete", attributesBytes}};
    for (const auto& [name, bytes] : records) {
        fs::copy(package.Path(), bad / name);
        fs::remove(bad / name + "/password.txt");
        put(std::string(name) + "/" + kAttributesResourceName, bytes);
    }
    fs::remove(bad / "incomplete/Code_2");
    struct Row {
        std::vector<const char*> options;  // added to (or replacing) the good arguments
        const char* says;
        int status = 2;
    };
    const Row rows[] = {
        {{"--password-file", "{b}/missing"}, "cannot open {b}/missing: No such file"},
        {{"--password-file", "{b}/empty"}, "{b}/empty is empty"},
        {{"--password-file", "{b}/blank"}, "first line of {b}/blank is empty"},
        {{"--password-file", "{b}/folder"}, "Is a directory"},
        {{"--password-file", "{b}/noise"}, "{b}/noise is not a text file"},
        {{"--password-file", "{b}/big"}, "longer than 4096 bytes"},
        {{"--package", "{b}/missing"}, "package folder {b}/missing does not exist"},
        {{"--package", "{b}/folder"}, "holds no ResourceAttributes_"},
        {{"--package", "{b}/empty"}, "{b}/empty is not a folder"},
        {{"--package", "{b}/cut"}, "not a 68-byte attributes record (it holds 30 bytes)"},
        {{"--package", "{b}/long"}, "not a 68-byte attributes record (it is longer)"},
        {{"--package", "{b}/damaged"}, "is damaged: it names radio family 145"},
        {{"--package", "{b}/incomplete"}, "lacks Code_2"},
        {{"--trace", "{b}/folder"}, "cannot write the trace {b}/folder: it is a folder"},
        {{"--trace", "{b}/empty/trace"}, "Not a directory"},
        {{"--trace", "{b}/missing/trace"}, "No such file or directory"},
        // Not a package that chooses by hand.
        {{"--boot"}, "--boot is for Application/Boot packages"},
        {{"--password-file", "{b}/albatross"},
         "the password is wrong; nothing was sent to the radio",
         4},
        // The earlier trace survives a usage error found after --trace, and a wrong password.
        {{"--trace", "{b}/trace", "--boot"}, "--boot is for Application/Boot packages"},
        {{"--trace", "{b}/trace", "--password-file", "{b}/albatross"},
         "the password is wrong; nothing was sent to the radio",
         4},
    };
    const auto before = Snapshot(bad.Path());
    for (const Row& row : rows) {
        std::vector<std::string> args = Args("pelican");
        for (std::size_t i = 0; i < row.options.size(); ++i) {
            const std::string option = row.options[i];
            const bool valued = i + 1 < row.options.size() && row.options[i + 1][0] != '-';
            const std::string value = valued ? Expand(row.options[++i], bad.Path()) : "";
            const auto at = std::find(args.begin(), args.end(), option);
            if (valued && at != args.end()) {
                *(at + 1) = value;
                continue;
            }
            args.push_back(option);
            if (valued)
                args.push_back(value);
        }
        const ToolRun r = Update(args, {work.Path()});
        SCOPED_TRACE(args.back());
        EXPECT_EQ(r.status, row.status) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        EXPECT_NE(r.out.find(Expand(row.says, bad.Path())), std::string::npos) << r.out;
        EXPECT_TRUE(sim->Report()["counts"].empty());
        EXPECT_TRUE(WorkEmpty());
        EXPECT_EQ(Snapshot(bad.Path()), before);
    }
}

// The password is the first line of its file, whatever its line end and blanks. The trace of a
// run that spoke to the radio replaces the earlier one whole; one the disk had no room for is
// said and dropped, and the earlier one stays.
TEST_F(QuentaUpdate, PasswordFileLineEndsAndTraceReplacement) {
    WritePackage(kUpgradeBoot);
    StartSim();
    TempDir files;
    const std::string trace = files / "trace";
    const std::string earlier = "the trace of an earlier run\n";
    struct Row {
        const char* password;
        long fileSizeLimit;
    };
    for (const Row& row : {Row{"marigold\r\n", -1}, Row{"marigold", -1},
                           Row{" marigold\t\r\nsecond line\n", -1}, Row{"marigold\n", 64}}) {
        SCOPED_TRACE(row.password);
        std::ofstream(trace) << earlier;
        std::ofstream(files / "password", std::ios::binary) << row.password;
        std::vector<std::string> args = Args("");
        args.back() = files / "password";
        args.insert(args.end(), {"--trace", trace});
        RunOptions options{work.Path()};
        options.fileSizeLimit = row.fileSizeLimit;
        const ToolRun r = Update(args, options);
        EXPECT_EQ(r.status, 0) << r.out;
        const std::string written = ReadFile(trace);
        const bool full = row.fileSizeLimit > 0;
        EXPECT_EQ(written == earlier, full) << written;
        EXPECT_EQ(written.find(" W ") != std::string::npos, !full) << written;
        EXPECT_EQ(r.out.find("quenta update: the trace could not be written to " + trace +
                             " (File too large); it was not kept\n") != std::string::npos,
                  full)
            << r.out;
        EXPECT_EQ(Snapshot(files.Path()).size(), 2u);  // no temporary trace left beside it
        if (!full) {  // a trace is the owner's alone, whatever the umask
            EXPECT_EQ(fs::status(trace).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
        }
    }
}

// Two radios at once from one command: each in a child of its own, each child's working
// folder its own (the command's folder stays empty), a summary that names every port.
TEST_F(QuentaUpdate, SeveralPortsUpdateAtOnce) {
    WritePackage(kUpgradeBoot);
    scenario.boot = {4, 1};
    std::unique_ptr<RadioSim> second;
    const std::vector<std::string> args = StartTwoRadios(second);
    const ToolRun both = Update(args, {work.Path()});
    EXPECT_EQ(both.status, 0) << both.out;
    EXPECT_TRUE(WorkEmpty());
    EXPECT_EQ(sim->FlashedImages().size(), 2u);
    EXPECT_EQ(second->FlashedImages().size(), 2u);
    const auto lines = testsupport::Lines(both.out);
    for (const std::string port : {"COM5", "COM6"}) {
        EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& l) {
                                   return l.rfind(port + " ", 0) == 0 &&
                                          l.find(" done ") != std::string::npos;
                               }),
                  lines.end())
            << both.out;
    }
    Scenario failing = scenario;
    failing.boot = {6, 0};  // another series: refused before anything is flashed
    Start(second, failing, 5);
    const ToolRun one = Update(args, {work.Path()});
    EXPECT_EQ(one.status, 1) << one.out;
    EXPECT_NE(one.out.find("COM5 failed: Error: the major boot versions of the radio and file "
                           "are different."),
              std::string::npos)
        << one.out;
    EXPECT_EQ(one.out.find("COM6 failed"), std::string::npos) << one.out;
    second->Stop();
}

// Ctrl-C on a several-radio update stops every radio: each child winds down, each row says
// stopped, no image is left.
TEST_F(QuentaUpdate, CtrlCStopsEveryRadio) {
    WritePackage(kUpgradeBoot, 200'000);
    scenario.boot = {4, 1};
    std::unique_ptr<RadioSim> second;
    const std::vector<std::string> args = StartTwoRadios(second);
    RunOptions options{work.Path()};
    int downloading = 0;
    options.onLine = [&downloading](const std::string& line) {
        return line.find(std::string(": ") + kBootDownload) != std::string::npos &&
               ++downloading == 2;
    };
    const ToolRun r = Update(args, options);
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_TRUE(WorkEmpty());
    const std::vector<JournalRow> rows = JournalRows();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0].state, "stopped");
    EXPECT_EQ(rows[1].state, "stopped");
    EXPECT_NE(rows[0].port, rows[1].port);
    second->Stop();
}

// --json: every line one object; the last is the result, the journal row as recorded.
TEST_F(QuentaUpdate, JsonLinesEndWithTheJournalRow) {
    WritePackage(kUpgradeBoot);
    scenario.boot = {4, 1};
    StartSim();
    std::vector<std::string> args = Args("marigold");
    args.push_back("--json");
    RunOptions options{work.Path()};
    options.separateErr = true;
    const ToolRun r = Update(args, options);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::vector<nlohmann::json> events;
    for (const std::string& line : testsupport::Lines(r.out)) {
        events.push_back(nlohmann::json::parse(line, nullptr, false));
        ASSERT_TRUE(events.back().is_object() && events.back().size() == 1) << line;
    }
    ASSERT_FALSE(events.empty());
    auto has = [&](const char* key, const char* inner = nullptr) {
        return std::any_of(events.begin(), events.end(), [&](const nlohmann::json& e) {
            return e.contains(key) && (inner == nullptr || e[key].contains(inner));
        });
    };
    EXPECT_TRUE(has("phase") && has("status") && has("progress", "total"));
    const nlohmann::json& result = events.back()["result"];
    const std::vector<JournalRow> rows = JournalRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(result["id"], rows.front().id);
    EXPECT_EQ(result["state"], "done");
    EXPECT_EQ(result["state"], rows.front().state);
    EXPECT_EQ(result["phase"], rows.front().phase);
    EXPECT_EQ(result["ended"], rows.front().ended);
    EXPECT_EQ(result["status"], rows.front().status);
    EXPECT_EQ(result["images"], nlohmann::json::parse(rows.front().images));
    EXPECT_EQ(result["exitStatus"], 0);
}

// A port given twice, or by two names for one device, is refused before any radio is spoken to.
TEST_F(QuentaUpdate, OnePortTwiceIsRefused) {
    WritePackage(kUpgradeBoot);
    StartSim();
    const std::string device = Device();
    for (const std::string& other : {std::string("com6"), device}) {
        std::vector<std::string> args = Args("marigold");
        args.insert(args.begin(), {"--port", other});
        const ToolRun r = Update(args, {work.Path()});
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find(other == device ? "are one device" : "is given twice"),
                  std::string::npos)
            << r.out;
    }
    EXPECT_TRUE(sim->Report()["counts"].empty());
}

TEST_F(QuentaUpdate, CodeplugReadAndRestore) {
    scenario.fileFormat = {5, 9};
    scenario.codeplug.wrongWordAt = 20;  // the first write keeps one word wrong
    StartSim();
    const std::string file = work / "radio.codeplug";
    ToolRun r = Codeplug("read", {file});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string read = ReadFile(file);
    ASSERT_FALSE(read.empty());
    EXPECT_TRUE(std::equal(read.begin(), read.end(), sim->Codeplug().begin(),
                           [](char a, std::uint8_t b) { return std::uint8_t(a) == b; }));

    // A file in another format than the radio's is refused with the conversion to run.
    const std::string other = work / "other.codeplug";
    EXPECT_EQ(Quenta({"codeplug", "convert", "--to", "5.10", file, other}).status, 0);
    r = Codeplug("write", {other});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("quenta codeplug convert --to 5.9"), std::string::npos) << r.out;
    EXPECT_EQ(sim->Report()["codeplug"]["downloads"], 0);

    // Only the read-back after the write finds the word the radio keeps wrong.
    r = Codeplug("write", {file});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("does not hold the codeplug that was written: word 20 differs"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(file), std::string::npos) << r.out;

    r = Codeplug("write", {file});
    EXPECT_EQ(r.status, 0) << r.out;
    // The radio reads the line on its own thread: the transfer's end may still be on its way.
    // Wait on the radio's change signal (the bound only ends a broken run).
    for (;;) {
        sim->DrainChanges();
        if (sim->Report()["codeplug"]["completedDownloads"] != 0)
            break;
        pollfd changed{sim->ChangeDescriptor(), POLLIN, 0};
        if (::poll(&changed, 1, 60000) == 0)
            break;
    }
    EXPECT_EQ(sim->Report()["codeplug"]["completedDownloads"], 2);
}

// Ctrl-C or a closed terminal during a codeplug write does not cut the write off halfway, nor
// leave the port, its lock or the journal's row behind; a file-size limit (ulimit -f) reached
// by the kept trace or the journal is a full disk to them, never a signal that kills the write.
// Either way the write ends, read back.
TEST_F(QuentaUpdate, StopSignalsAndAFileSizeLimitLetACodeplugWriteFinish) {
    scenario.fileFormat = {5, 9};
    StartSim();
    const std::string file = work / "radio.codeplug";
    ASSERT_EQ(Codeplug("read", {file}).status, 0);
    struct Case {
        const char* verb;
        int signal;  // 0: none, the file-size limit instead
    };
    for (const Case& c : {Case{"restore", SIGINT}, Case{"restore", SIGHUP}, Case{"write", SIGINT},
                          Case{"write", SIGHUP}, Case{"restore", 0}}) {
        SCOPED_TRACE(std::string(c.verb) + " " + std::to_string(c.signal));
        RunOptions options = SignalAt("Downloading codeplug", c.signal);
        if (c.signal == 0) {
            options = RunOptions{work.Path()};
            options.fileSizeLimit = 4096;
            options.fileSizeSignal = true;
        }
        std::vector<std::string> rest = {file};
        if (std::string(c.verb) == "restore")
            rest.insert(rest.begin(), "--yes");
        const ToolRun r = Codeplug(c.verb, rest, options);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(kVerified), std::string::npos) << r.out;
        if (c.signal != 0) {
            const std::vector<JournalRow> rows = JournalRows();
            ASSERT_FALSE(rows.empty());
            EXPECT_EQ(rows[0].state, "done");
        }
    }
    fs::remove(file);
    EXPECT_TRUE(WorkEmpty());
}

// A codeplug password the radio refuses, from a file or for want of a terminal, writes
// nothing: the radio's codeplug is as it was, and the message says so.
TEST_F(QuentaUpdate, RefusedCodeplugPasswordWritesNothing) {
    scenario.fileFormat = {5, 9};
    scenario.codeplug.password = "2468";
    StartSim();
    const std::string file = work / "radio.codeplug", wrong = work / "wrong",
                      right = work / "right";
    std::ofstream(wrong) << "1357\n";
    std::ofstream(right) << "2468\n";
    ASSERT_EQ(Codeplug("read", {"--codeplug-password-file", right, file}).status, 0);
    for (const char* verb : {"write", "restore"}) {
        SCOPED_TRACE(verb);
        std::vector<std::string> rest = {"--codeplug-password-file", wrong, file};
        if (std::string(verb) == "restore")
            rest.insert(rest.end() - 1, "--yes");
        const ToolRun r = Codeplug(verb, rest);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("refused the codeplug password; nothing was written"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("may be damaged"), std::string::npos) << r.out;
    }
    EXPECT_EQ(sim->Report()["codeplug"]["blocksReceived"], 0);
}

// The restore picks the newest backup of the radio's serial number in the format its firmware
// expects. Nobody to ask writes nothing; a read-back that differs fails; the next one holds.
TEST_F(QuentaWholeUpdate, RestorePicksTheNewestBackupInTheRadiosFormat) {
    scenario.fileFormat = {5, 10};
    scenario.codeplug.generateFormat = 5;
    scenario.codeplug.wrongWordAt = 20;
    StartSim();
    const fs::path backups = dataHome / "quenta/backups";
    fs::create_directories(backups);
    const std::string serial = "000123456789ABCD";
    auto put = [&](const std::string& name, const char* format, int seed) {
        const std::string path = backups / name;
        EXPECT_EQ(Quenta({"codeplug", "generate", "--format", format, "--seed",
                          std::to_string(seed), path})
                      .status,
                  0);
        return path;
    };
    const std::string newest = put(serial + "_20261202T080000Z_5.10.codeplug", "5.10", 7);
    put(serial + "_20261201T080000Z_5.10.codeplug", "5.10", 8);
    put(serial + "_20261203T080000Z_5.9.codeplug", "5.9", 9);
    const std::string other = put("00000000000000FF_20261204T080000Z_5.10.codeplug", "5.10", 10);
    // As an older run left them: open to others, which the restore's listing ends.
    fs::permissions(backups, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(other, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);

    ToolRun r = Codeplug("restore", {});
    EXPECT_EQ(r.status, 4) << r.out;
    EXPECT_NE(r.out.find("Picked the newest in format 5.10: " + newest), std::string::npos)
        << r.out;
    EXPECT_EQ(sim->Report()["codeplug"]["downloads"], 0);
    EXPECT_EQ(fs::status(backups).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(other).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    r = Codeplug("restore", {"--yes"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("word 20 differs"), std::string::npos) << r.out;
    r = Codeplug("restore", {"--yes"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(kVerified), std::string::npos) << r.out;
    const std::string written = ReadFile(newest);
    const Bytes held = sim->Codeplug();
    ASSERT_GE(held.size(), written.size());
    EXPECT_EQ(Bytes(held.begin(), held.begin() + written.size()),
              Bytes(written.begin(), written.end()));

    const std::vector<JournalRow> rows = JournalRows(serial);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0].kind, "restore");
    EXPECT_EQ(rows[0].state, "done");
    EXPECT_TRUE(rows[0].codeplugVerified);
    EXPECT_EQ(rows[0].backupConverted, newest);
    EXPECT_EQ(rows[1].state, "failed");
}

// A radio that got its new firmware but kept its 5.9 codeplug, because the codeplug password in
// the file was wrong: the codeplug stage alone, with the right file, converts it.
TEST_F(QuentaWholeUpdate, UpgradeConvertsTheCodeplugAfterAFirmwareOnlyRun) {
    scenario.fileFormat = {5, 9};
    scenario.codeplug.generateFormat = 4;
    scenario.codeplug.formatAfterUpdate = {5, 10};
    scenario.codeplug.password = "2468";
    StartSim();
    const std::string wrong = work / "wrong", right = work / "right";
    std::ofstream(wrong) << "1357\n";
    std::ofstream(right) << " 2468\r\n";

    std::vector<std::string> args = Args("pelican");
    args.insert(args.end(), {"--codeplug-password-file", wrong});
    ToolRun r = Update(args, {work.Path()});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(sim->CodeplugFormat(), Bytes({5, 10}));
    EXPECT_EQ(sim->Report()["codeplug"]["downloads"], 0);

    r = Codeplug("upgrade", {"--codeplug-password-file", right}, {work.Path()});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Done."), std::string::npos) << r.out;
    const std::string held = work / "held.codeplug";
    const Bytes codeplug = sim->Codeplug();
    testsupport::WriteFile(held, std::string(codeplug.begin(), codeplug.end()));
    EXPECT_NE(Quenta({"codeplug", "info", held}).out.find("format:      5.10"), std::string::npos);

    // The codeplug as read and as converted are saved before the write.
    EXPECT_EQ(std::distance(fs::directory_iterator(dataHome / "quenta/backups"), {}), 2);
    const std::vector<JournalRow> rows = JournalRows("000123456789ABCD");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].kind, "upgrade");
    EXPECT_EQ(rows[0].formatBefore, "5.9");
    EXPECT_TRUE(rows[0].codeplugVerified);
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("XDG_STATE_HOME", StateHome().c_str(), 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
