// Two windows, each a program of its own as a technician would open them, updating two radios
// at the same time from one working folder: their images meet in that folder and neither run
// takes the other's.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "ChildProgram.h"
#include "WindowTestSupport.h"
#include "app/journal/Journal.h"
#include "app/window/CodeUpdaterMainForm.h"
#include "serial/PosixSerialOs.h"

namespace fs = std::filesystem;
using namespace windowtest;

namespace {

// A safety net only: the other window's mark comes within its own update's first seconds.
constexpr int kMeetingWaitMs = 60000;

// The window of one radio (window_tests --one-window PORTS COM MARKS JOURNAL, COM 7 or 8): the
// update through the widgets, in the current folder. Once its images are extracted it leaves a mark
// and waits for the other window's, so that both runs' images are in the folder together.
int RunOneWindow(char** argv) {
    serial::SystemSerialOs().Resolver().SetPortDirectory(argv[2]);
    const int com = std::stoi(argv[3]);
    const fs::path marks = argv[4];
    JournalRecorder journal(argv[5], [](const std::string& line) { std::cerr << line << "\n"; });
    const std::unique_ptr<PackageResources> package = MakeEmbeddedPackage();
    MainFormOptions options;
    options.backupDirectory = marks / ("backups" + std::to_string(com));
    options.tickDivisor = kTickDivisor;
    options.processorCount = [] { return 1; };
    options.recorder = &journal;
    options.comNumber = com;
    TCodeUpdaterMainDispForm form(*package, options);
    form.show();
    DialogDriver dialogs;
    bool met = false;
    QObject::connect(
        &form, &TCodeUpdaterMainDispForm::statusChanged, &form, [&](const QString& text) {
            std::cout << text.toStdString() << std::endl;
            if (met || !text.startsWith(QStringLiteral("Checking target radio")))
                return;
            met = true;
            std::ofstream(marks / std::to_string(com));
            QTimer watchdog;  // single-shot: a repeating timer stays active and never ends the wait
            watchdog.setSingleShot(true);
            watchdog.start(kMeetingWaitMs);
            auto both = [&marks] { return fs::exists(marks / "7") && fs::exists(marks / "8"); };
            while (watchdog.isActive() && !both())
                QCoreApplication::processEvents(
                    QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        });
    form.m_StartButton->click();
    return form.m_StatusLabel->text() == QStringLiteral("Done.") ? 0 : 1;
}

using TwoWindows = WindowTest;

TEST_F(TwoWindows, UpdateTwoRadiosAtOnceFromOneFolder) {
    const std::unique_ptr<PackageResources> package = MakeEmbeddedPackage();
    ResourceAttributes attributes;
    ASSERT_TRUE(ReadPackageAttributes(*package, attributes));
    const nlohmann::json scenario = RadioWithBootOf(attributes, true);
    SimProcess radios[2];
    const int coms[2] = {7, 8};
    for (int i = 0; i < 2; ++i) {
        fs::create_directories(work / std::to_string(i));
        std::string error;
        ASSERT_TRUE(
            radios[i].Start(ports.Path(), coms[i], scenario, work / std::to_string(i), error))
            << error;
    }
    fs::create_directories(work / "cwd");
    fs::create_directories(work / "marks");
    const std::string journal = work / "journal.sqlite3";
    std::vector<std::unique_ptr<testsupport::ChildProgram>> windows;
    for (const int com : coms) {
        windows.push_back(std::make_unique<testsupport::ChildProgram>(
            std::vector<std::string>{"/proc/self/exe", "--one-window", ports.Path(),
                                     std::to_string(com), work / "marks", journal},
            testsupport::RunOptions{work / "cwd"}));
    }
    for (auto& window : windows) {
        const testsupport::RunResult r = window->Finish();
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("Done.\n"), std::string::npos) << r.out;
    }
    EXPECT_TRUE(fs::is_empty(work / "cwd")) << "every image is deleted";
    for (SimProcess& radio : radios) {
        const nlohmann::json report = radio.Stop();
        EXPECT_EQ(report["flash"]["images"].size(), 2u);
        EXPECT_EQ(report["codeplug"].value("completedDownloads", 0), 1);
    }
    Journal rows;
    std::string error;
    ASSERT_TRUE(rows.Open(journal, error)) << error;
    std::vector<JournalRow> runs;
    ASSERT_TRUE(rows.Rows("", runs, error)) << error;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].state, "done");
    EXPECT_EQ(runs[1].state, "done");
    EXPECT_NE(runs[0].port, runs[1].port);
}

}  // namespace

int RunOneWindowIfAsked(int argc, char** argv) {
    if (argc != 6 || std::string(argv[1]) != "--one-window")
        return -1;
    return RunOneWindow(argv);
}
