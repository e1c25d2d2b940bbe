// Whole updates through the update logic on the Qt platform, over a real pseudo-terminal
// against the simulated radio. The erase and restart waits run on a clock scaled down a
// hundredfold, and the radio's erase and restart times are set to fit.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <fstream>
#include <iterator>
#include <sstream>

#include "CodeplugGenerator.h"
#include "ExamplePackage.h"
#include "FirmwareGen.h"
#include "RadioSim.h"
#include "ScaledClock.h"
#include "SimPortDirectory.h"
#include "UpdaterTestSupport.h"
#include "app/core/UpdaterTexts.h"
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

constexpr int kSimCom = 5;
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
        if (sim) {
            sim->Stop();
            if (HasFailure()) {
                nlohmann::json report = sim->Report();
                report["frames"] = report["frames"].size();
                std::cerr << report.dump(1).substr(0, 8000) << "\n";
            }
        }
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
        Bytes held;
        for (int i = 0; i < 200 && sim->Report()["codeplug"]["completedDownloads"] == 0; ++i)
            pump.Pause(5);
        held = sim->Codeplug();
        if (held.size() > length)
            held.resize(length);
        return held;
    }
};

// An application update: the radio's codeplug is read after the restart, converted from 5.9
// to 5.10, saved and written back.
TEST_F(UpdateSim, ApplicationUpdateWritesTheConvertedCodeplugBack) {
    UsePackage(kUpgradeApplication);
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
    const auto flashed = sim->FlashedImages();
    ASSERT_EQ(flashed.size(), 2u);
    EXPECT_EQ(flashed[1].data.size(), 8192u);
    EXPECT_TRUE(sim->Violations().empty()) << sim->Violations().front();
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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
