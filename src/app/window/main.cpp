// Quenta Code Updater: the main window over the firmware package this program carries.
//
//   quenta-updater [--port-dir DIR] [--port COMn]
//   quenta-updater --version | --help
//
// --port-dir names a folder of COMn links looked at before ~/.config/quenta/ports (a simulated
// radio's pseudo-terminal, for instance); --port selects COMn in the port list. When the window
// closes, the last status and the codeplug backup of this run are printed (a script that ran an
// update reads them).
// SIGTERM, SIGHUP (a closed terminal), Ctrl-C and Ctrl-\ press Stop and close the window once
// the update has wound down; a second one ends the program at once.
// Every frame of the run is kept in a trace under $XDG_STATE_HOME/quenta/traces for a support
// report.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "app/journal/Journal.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/ProgramName.h"
#include "app/qtplatform/StopSignal.h"
#include "app/report/KeptTraces.h"
#include "app/window/CodeUpdaterMainForm.h"
#include "app/window/LinkLog.h"
#include "common/ProgramVersion.h"
#include "serial/ComPortResolver.h"
#include "serial/PosixSerialOs.h"

namespace {

const char kTitle[] = "Quenta Code Updater";

void Usage(std::FILE* to) {
    std::fputs(
        "usage: quenta-updater [--port-dir DIR] [--port COMn]\n"
        "       quenta-updater --version | --help\n\n"
        "Opens the Quenta Code Updater window. --port-dir DIR: look for COMn links in DIR\n"
        "before ~/.config/quenta/ports (a simulated radio's pseudo-terminal, for instance).\n"
        "--port COMn: the port selected in the list (COM1 to COM64; default COM1).\n",
        to);
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// Whether Qt can be given a display. Without one QApplication aborts the process with a core
// dump, which tells a technician in an ssh session nothing, so it is checked before. A
// platform plugin named in QT_QPA_PLATFORM (offscreen, vnc, ...) brings its own display; xcb
// and wayland still need the server that DISPLAY or WAYLAND_DISPLAY names.
bool DisplayFound() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && platform[0] != '\0') {
        if (std::strncmp(platform, "xcb", 3) == 0)
            return IsSet("DISPLAY");
        if (std::strncmp(platform, "wayland", 7) == 0)
            return IsSet("WAYLAND_DISPLAY");
        return true;
    }
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    // Options first, so that --help and --version need no display.
    std::string portDirectory;
    int comNumber = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            Usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quenta-updater %s (%s)\n", quenta::kVersion,
                        EmbeddedProgramName().c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--port-dir") == 0 && i + 1 < argc) {
            portDirectory = argv[++i];
        } else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc &&
                   serial::ComPortResolver::ParseComName(argv[i + 1]) >= 1 &&
                   serial::ComPortResolver::ParseComName(argv[i + 1]) <= 64) {
            comNumber = serial::ComPortResolver::ParseComName(argv[++i]);
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (!portDirectory.empty())
        serial::SystemSerialOs().Resolver().SetPortDirectory(portDirectory);

    if (!DisplayFound()) {
        std::fputs(
            "quenta-updater: no display was found (DISPLAY and WAYLAND_DISPLAY are not "
            "set), so the window cannot open.\n"
            "To update a radio from a terminal, run: quenta update --port COMn\n",
            stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kTitle));
    QApplication::setApplicationDisplayName(QString::fromLatin1(kTitle));
    try {
        const std::unique_ptr<PackageResources> package = MakeEmbeddedPackage();
        // Declared before the window, so that it outlives the link that writes into it.
        report::KeptTrace kept(report::DefaultTraceFolder(), "window");
        // Every update is journalled; a journal that cannot be written is said once on
        // standard error and never stops the update.
        JournalRecorder journal(Journal::DefaultPath(), [](const std::string& line) {
            std::fprintf(stderr, "quenta-updater: %s\n", line.c_str());
        });
        journal.SetProgram(EmbeddedProgramName(), ReadProgramName(EmbeddedProgramName()).release);
        MainFormOptions options;
        options.recorder = &journal;
        options.comNumber = comNumber;
        options.journalPath = Journal::DefaultPath();
        TCodeUpdaterMainDispForm form(*package, options);
        KeepLinkFrames(form.Updater().Link(), kept);
        QString lastStatus = form.m_StatusLabel->text();
        QObject::connect(&form, &TCodeUpdaterMainDispForm::statusChanged,
                         [&lastStatus](const QString& text) { lastStatus = text; });
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        form.move(screen.center() - form.rect().center());
        form.show();
        const StopSignal stop([&form] { form.CloseAfterStop(); });
        const int loop = app.exec();
        std::printf("Last status: %s\n", lastStatus.toLocal8Bit().constData());
        if (!form.Updater().LastBackup().empty())
            std::printf("Codeplug backup: %s\n", form.Updater().LastBackup().c_str());
        return loop;
    } catch (const std::exception& e) {
        // Start-up failed: say so and end with a failure status.
        QMessageBox::critical(nullptr, QString::fromLatin1(kTitle),
                              QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
