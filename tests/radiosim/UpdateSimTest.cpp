// Whole updates through the update logic on the Qt platform, over a real pseudo-terminal
// against the simulated radio. The erase and restart waits run on a clock scaled down a
// hundredfold, and the radio's erase and restart times are set to fit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTimer>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "AwaitRadio.h"
#include "CodeplugGenerator.h"
#include "ExamplePackage.h"
#include "FirmwareGen.h"
#include "RadioSim.h"
#include "ScaledClock.h"
#include "SimLinkFixture.h"
#include "SimPortDirectory.h"
#include "SimState.h"
#include "UpdaterTestSupport.h"
#include "app/core/UpdaterTexts.h"
#include "app/journal/Journal.h"
#include "app/journal/RunSummary.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/qtplatform/QtPortComponent.h"
#include "convert/CodeplugVersion.h"
#include "convert/RadioCodeplugConversion.h"
#include "transfer/TransferMessages.h"

namespace fs = std::filesystem;
namespace text = updater_text;
using firmwaregen::ImageKind;
using updatertest::Bytes;
using updatertest::RecordingView;

namespace {

using simtest::kSimCom;
constexpr int kClockDivisor = 100;

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class UpdateSim : public ::testing::Test {
  protected:
    simtest::SimPortDirectory ports;
    Scenario scenario;
    std::unique_ptr<RadioSim> sim;
    QtMessagePump pump;
    QtIntervalTimer commTimer;
    QtIntervalTimer progressTimer;
    QtPortComponent component;
    ScaledClock clock{pump, kClockDivisor};
    TempDir work;
    TempDir backups;
    UpdaterPlatform platform{pump,        commTimer,      progressTimer,
                             component,   clock,          [] { return 1; },
                             work.Path(), backups.Path(), {},
                             {}};
    ResourceAttributes attributes;
    MemoryPackage package;
    RecordingView view;
    std::unique_ptr<CodeUpdater> updater;

    void SetUp() override {
        view.selected = kSimCom - 1;
        scenario.fileFormat = {5, 9};
        scenario.boot = {4, 3};
        scenario.codeplug.generateFormat = 4;
        scenario.codeplug.formatAfterUpdate = {5, 10};
        scenario.flash.eraseMs = 150;    // the scaled 40-second wait is 400 ms
        scenario.flash.restartMs = 100;  // the scaled 360-tick wait is 198 ms
    }
    void TearDown() override {
        updater.reset();
        if (sim)
            simtest::StopAndReport(*sim, 8000);
    }
    // A second run in the same test: a new radio and a new updater.
    void Restart() {
        updater.reset();
        sim->Stop();
        sim.reset();
        view.Reset();
        view.selected = kSimCom - 1;
    }
    void UsePackage(std::uint8_t upgradeType) {
        attributes = testsupport::ExampleAttributes(upgradeType);
        testsupport::PutExamplePackage(package, attributes);
    }
    void Run() {
        sim = std::make_unique<RadioSim>(scenario);
        std::string error;
        ASSERT_TRUE(sim->Open(error, ports.Path(), kSimCom)) << error;
        sim->Start();
        updater = std::make_unique<CodeUpdater>(view, platform, package);
        updater->Initialise();
        view.passwords.push_back(std::string("pelican"));
        updater->m_StartButtonClick();
    }
    std::vector<fs::path> Backups() const {
        std::vector<fs::path> out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(backups.Path(), ec))
            out.push_back(e.path());
        return out;
    }
    bool WorkEmpty() const { return fs::is_empty(work.Path()); }
    // The radio reads the line on its own thread: what it holds once it has taken the end.
    Bytes HeldCodeplug(std::size_t length) {
        EXPECT_TRUE(simtest::AwaitRadio(
            *sim, pump, [this] { return sim->Report()["codeplug"]["completedDownloads"] != 0; }));
        Bytes held = sim->Codeplug();
        if (held.size() > length)
            held.resize(length);
        return held;
    }
};

// An application update: the radio's codeplug is read after the restart, converted from 5.9
// to 5.10, saved and written back.
TEST_F(UpdateSim, ApplicationUpdateWritesTheConvertedCodeplugBack) {
    UsePackage(kUpgradeApplication);
    TempDir stateHome;
    const fs::path journalPath = fs::path(stateHome.Path()) / "quenta" / "journal.sqlite3";
    JournalRecorder recorder(journalPath, [](const std::string& line) { FAIL() << line; });
    platform.recorder = &recorder;
    std::size_t backupsAtWrite = 0;
    view.onStatus = [&](const std::string& s) {
        if (s == text::kDownloading)
            backupsAtWrite = Backups().size();
    };
    Run();
    ASSERT_EQ(view.Status(), text::kDone);
    EXPECT_EQ(backupsAtWrite, 2u);
    EXPECT_TRUE(WorkEmpty());

    Bytes converted = ReadFile(updater->LastBackup());
    const std::size_t readLength = converted.size();
    converted.resize(kTransferImageBytes);
    const CodeplugConversion c = convertRadioCodeplug(converted.data(), readLength, 5, 10);
    ASSERT_EQ(c.result, CodeplugConversionResult::Converted) << c.reason;
    converted.resize(c.newLength);
    EXPECT_EQ(HeldCodeplug(c.newLength), converted);
    EXPECT_TRUE(view.HasStatus(text::kVerifying));
    EXPECT_EQ(sim->Report()["codeplug"]["uploads"], 2);
    const auto flashed = sim->FlashedImages();
    ASSERT_EQ(flashed.size(), 2u);
    EXPECT_EQ(flashed[1].data.size(), 8192u);
    EXPECT_TRUE(sim->Violations().empty()) << sim->Violations().front();

    // Switched off and on again, the radio starts from what this run left.
    const fs::path stateFile = fs::path(work.Path()) / "radio.state";
    std::string error;
    ASSERT_TRUE(SaveSimState(stateFile, CaptureSimState(*sim, SimState{}), error)) << error;
    EXPECT_EQ(fs::status(stateFile).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    SimState state;
    bool exists = false;
    ASSERT_TRUE(LoadSimState(stateFile, state, exists, error)) << error;
    ASSERT_TRUE(exists);
    Scenario next;
    ApplySimState(state, next);
    RadioSim again(next);
    EXPECT_EQ(again.CodeplugFormat(), (Bytes{5, 10}));
    Bytes held = again.Codeplug();
    held.resize(std::min(held.size(), converted.size()));
    EXPECT_EQ(held, converted);
    EXPECT_EQ(state.flashed.size(), 2u);
    fs::remove(stateFile);

    // The journal's row of the run, private to its owner.
    Journal journal;
    ASSERT_TRUE(journal.Open(journalPath, error)) << error;
    std::vector<JournalRow> rows;
    ASSERT_TRUE(journal.Rows("000123456789ABCD", rows, error)) << error;
    ASSERT_EQ(rows.size(), 1u);
    const JournalRow& row = rows[0];
    EXPECT_EQ(row.state, "done");
    EXPECT_EQ(row.phase, "verify");
    EXPECT_EQ(row.status, text::kDone);
    EXPECT_TRUE(row.codeplugVerified);
    EXPECT_EQ(row.formatBefore, "5.9");
    EXPECT_EQ(row.formatAfter, "5.10");
    EXPECT_EQ(row.backupRead, updater->LastBackup().string());
    EXPECT_EQ(row.backupReadSha256.size(), 64u);
    EXPECT_FALSE(row.backupConverted.empty());
    EXPECT_FALSE(row.ended.empty());
    // The view is shown the very row the journal keeps; the summary of both reads from it.
    EXPECT_EQ(view.run.phases, row.phases);
    EXPECT_EQ(view.run.images, row.images);
    std::vector<std::string> phases;
    for (const nlohmann::json& phase : nlohmann::json::parse(row.phases)) {
        phases.push_back(phase["phase"]);
        EXPECT_GE(phase["seconds"].get<double>(), 0) << row.phases;
    }
    EXPECT_EQ(phases, (std::vector<std::string>{"start", "extract", "target-check", "download",
                                                "restart-wait", "codeplug-read", "backup",
                                                "restart-wait", "codeplug-write", "verify"}))
        << row.phases;
    const nlohmann::json images = nlohmann::json::parse(row.images);
    ASSERT_EQ(images.size(), 2u) << row.images;
    EXPECT_EQ(images[0]["image"], "loader");
    EXPECT_EQ(images[1]["image"], "application");
    EXPECT_EQ(images[1]["bytes"], flashed[1].data.size()) << "the data bytes sent";
    std::map<std::string, std::string> summary;
    for (const SummaryLine& line : RunSummary(row))
        summary[line.label] = line.value;
    EXPECT_EQ(summary["Radio serial"], "000123456789ABCD");
    EXPECT_EQ(summary["Image application"].rfind("8192 bytes in ", 0), 0u)
        << summary["Image application"];
    EXPECT_EQ(summary["Codeplug format"], "5.9 -> 5.10");
    EXPECT_EQ(summary["Read-back"].rfind("verified", 0), 0u);
    EXPECT_NE(summary["Backup converted"].find(row.backupConverted + " (SHA-256 " +
                                               row.backupConvertedSha256 + ")"),
              std::string::npos);
    EXPECT_EQ(summary.count("Total time"), 1u);
    EXPECT_EQ(fs::status(journalPath).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

// The radio matters more than the record: a journal that cannot be opened is said once and
// the update runs to its end.
TEST_F(UpdateSim, AJournalThatCannotBeOpenedNeverStopsTheUpdate) {
    UsePackage(kUpgradeApplication);
    TempDir state;
    std::ofstream(state / "corrupt.sqlite3") << std::string(8192, 'x');
    std::ofstream(state / "file") << "a file where the folder would be";
    std::vector<fs::path> paths = {state / "corrupt.sqlite3",
                                   fs::path(state / "file") / "quenta" / "journal.sqlite3"};
    // A folder the user may not write (root may write any, so only for others).
    fs::create_directory(state / "read-only");
    fs::permissions(state / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0)
        paths.push_back(fs::path(state / "read-only") / "journal.sqlite3");
    for (const fs::path& path : paths) {
        std::vector<std::string> reports;
        JournalRecorder recorder(path, [&](const std::string& line) { reports.push_back(line); });
        platform.recorder = &recorder;
        Run();
        EXPECT_EQ(view.Status(), text::kDone) << path;
        ASSERT_EQ(reports.size(), 1u) << path;
        EXPECT_NE(reports[0].find("the update goes on without it"), std::string::npos);
        Restart();
    }
}

// A radio that keeps one written word wrong confirms every block sum; the read-back finds the
// word, and the update does not end in "Done." when the user declines to write it again. The
// read-back answers the radio's password challenge with the password the user gave for the
// write.
TEST_F(UpdateSim, AWordTheRadioStoresWronglyIsFoundByTheReadBack) {
    UsePackage(kUpgradeApplication);
    scenario.codeplug.wrongWordAt = 37;
    scenario.codeplug.password = "2468";
    view.codeplugPassword = "2468";
    view.answerYes = false;
    Run();
    EXPECT_EQ(view.questions, 1);
    EXPECT_EQ(view.Status().rfind(text::kNotHeld, 0), 0u) << view.Status();
    EXPECT_NE(view.Status().find("word 37 differs"), std::string::npos) << view.Status();
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kFailed);
    EXPECT_EQ(view.codeplugPasswordPrompts, 2);
    ASSERT_FALSE(view.messages.empty());
    const std::string& message = view.messages.back().text;
    EXPECT_NE(message.find(updater->LastBackup().string()), std::string::npos) << message;
    EXPECT_NE(message.find("quenta codeplug write --port"), std::string::npos) << message;
    EXPECT_EQ(sim->Report()["codeplug"]["completedDownloads"], 1);
}

TEST_F(UpdateSim, AutomaticUpdateWithTheBootCurrent) {
    UsePackage(kUpgradeApplicationBoot);
    Run();
    EXPECT_EQ(view.Status(), text::kDone);
    EXPECT_TRUE(view.Titled(text::kTitleUpdater).empty());  // no bootload-mode box
    EXPECT_EQ(sim->FlashedImages().size(), 2u);
    EXPECT_TRUE(WorkEmpty());
}

TEST_F(UpdateSim, AutomaticUpdateOfAnOutdatedBootFromTheSecondSet) {
    UsePackage(kUpgradeApplicationBoot);
    scenario.boot = {7, 1};
    scenario.flash.restartMs = 0;  // the technician has put the radio back into bootload mode
    Run();
    EXPECT_EQ(view.Status(), text::kDone);
    ASSERT_EQ(view.Titled(text::kTitleUpdater).size(), 1u);
    EXPECT_EQ(view.Titled(text::kTitleUpdater)[0].text, text::kBootUpdated);
    const auto flashed = sim->FlashedImages();
    ASSERT_EQ(flashed.size(), 4u);
    Bytes bootTwo = firmwaregen::Data(6, 2048);
    EXPECT_EQ(flashed[1].data, bootTwo);
    EXPECT_EQ(flashed[3].data.size(), 8192u);
    EXPECT_TRUE(WorkEmpty());
}

// With no one to press OK (--yes), the radio is asked until it is back from its restart
// before the rate change goes out: a rate change sent into the restart would be lost.
TEST_F(UpdateSim, BootloadBoxAnsweredAloneWaitsForTheRadio) {
    UsePackage(kUpgradeApplicationBoot);
    scenario.boot = {7, 1};
    scenario.flash.restartMs = 2000;
    view.answersAlone = true;
    Run();
    EXPECT_EQ(view.Status(), text::kDone);
    EXPECT_EQ(sim->FlashedImages().size(), 4u);
    EXPECT_TRUE(WorkEmpty());
}

TEST_F(UpdateSim, StopAfterTheTenthCodeBlock) {
    UsePackage(kUpgradeApplication);
    bool inCode = false;
    int positions = 0;
    view.onStatus = [&](const std::string& s) {
        inCode = s.rfind("Downloading Application", 0) == 0;
    };
    view.onPosition = [&](int) {
        if (inCode && ++positions == 10)
            QTimer::singleShot(0, [this] { updater->m_StartButtonClick(); });
    };
    Run();
    EXPECT_EQ(view.Status(), "Code download timed out or canceled by user.");
    EXPECT_EQ(view.busy.back(), false);
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kStopped);
    EXPECT_TRUE(WorkEmpty());
    EXPECT_FALSE(sim->FlashedImages().back().ended);
    EXPECT_EQ(sim->Report()["codeplug"]["uploads"], 0);
}

TEST_F(UpdateSim, NothingIsWrittenToARadioAtTheNewFormatOrAt57) {
    UsePackage(kUpgradeApplication);
    scenario.codeplug.generateFormat = 5;  // already 5.10
    Run();
    EXPECT_EQ(view.Status(), text::kDone);
    EXPECT_EQ(sim->Report()["codeplug"]["downloads"], 0);
    EXPECT_TRUE(Backups().empty());

    Restart();
    scenario.codeplug.generateFormat = 4;
    scenario.codeplug.formatAfterUpdate = {5, 7};
    Run();
    EXPECT_EQ(view.Status(), text::kDone);
    ASSERT_EQ(view.Titled(text::kTitleUpdater).size(), 1u);
    EXPECT_EQ(view.Titled(text::kTitleUpdater)[0].text, text::kNoConversion);
    EXPECT_EQ(sim->Report()["codeplug"]["downloads"], 0);
    EXPECT_EQ(updater->LastCodeplugResult(), CodeplugResult::kNotOffered);
    EXPECT_EQ(Backups().size(), 1u);
}

TEST_F(UpdateSim, ACodeplugOlderThan58IsSavedAsReadAndLeftAsItIs) {
    UsePackage(kUpgradeApplication);
    CodeplugImage img;
    CodeplugGeneratorOptions options;
    options.versionIndex = kVersion58;
    const int words = generateCodeplug(img, options);
    Bytes held(static_cast<std::size_t>(words) * 2);
    storeRadioBytes(img, held.data(), held.size());
    held[6] = 5;  // header word 3, the format stamp: 5.7
    held[7] = 7;
    scenario.codeplug.image = held;
    Run();
    EXPECT_EQ(view.Status(), text::kDone);
    ASSERT_EQ(view.Titled(text::kTitleUpdater).size(), 1u);
    EXPECT_EQ(view.Titled(text::kTitleUpdater)[0].text, text::kNoConversion);
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kSucceeded);
    EXPECT_EQ(updater->LastCodeplugResult(), CodeplugResult::kNotOffered);
    EXPECT_EQ(sim->Report()["codeplug"]["downloads"], 0);
    // The only copy of the radio's configuration is on disk, as read.
    const auto saved = Backups();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0], updater->LastBackup());
    EXPECT_NE(saved[0].filename().string().find("_5.7.codeplug"), std::string::npos) << saved[0];
    const Bytes file = ReadFile(saved[0]);
    ASSERT_FALSE(file.empty());
    ASSERT_LE(file.size(), held.size());
    EXPECT_EQ(file, Bytes(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(file.size())));
}

}  // namespace
