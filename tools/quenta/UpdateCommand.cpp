#include "UpdateCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "ImageThroughput.h"
#include "QtUpdaterPlatform.h"
#include "StopSignal.h"
#include "TerminalView.h"
#include "app/core/CodeUpdater.h"
#include "app/package/LocalPackages.h"
#include "serial/ComPortResolver.h"

namespace {

int Usage(std::ostream& err, int status) {
    err << "usage: quenta update --port COMn|DEVICE [--port-dir DIR] [--boot] [--trace FILE]\n"
           "                     [--password-file FILE] [--yes] [--package DIR]\n"
           "  Updates the radio on the port with the firmware this program carries, as the\n"
           "  window's Start does: password, identification, download, codeplug conversion.\n"
           "  --port           COM1..COM64 or a device path\n"
           "  --port-dir       folder of COMn links to look in first (default "
        << serial::ComPortResolver::DefaultPortDirectory()
        << ")\n"
           "  --boot           Application/Boot packages that choose by hand: update the boot\n"
           "                   code (default: the application)\n"
           "  --trace FILE     write every frame to FILE\n"
           "  --password-file  read the password from the first line of FILE instead of\n"
           "                   asking on the terminal\n"
           "  --yes            do not wait for Enter when the radio must be put back into\n"
           "                   bootload mode\n"
           "  --package DIR    a package folder as the package builder writes it, in place of\n"
           "                   the carried one\n"
           "  Codeplugs are saved before they are written back, under\n"
           "  $XDG_DATA_HOME/quenta/backups (default ~/.local/share/quenta/backups).\n"
           "  Ctrl-C stops the update as the Stop button does.\n"
           "exit status:\n"
           "  0  done: \"Done.\", a finished boot or DSP download, or a boot that is current\n"
           "  1  the update failed (the last status line and the messages say why)\n"
           "  2  wrong arguments\n"
           "  3  stopped with Ctrl-C\n"
           "  4  nothing was done: the password was wrong or not given\n";
    return status;
}

bool ReadPasswordFile(const std::string& path, std::string& password) {
    std::ifstream in(path);
    if (!in)
        return false;
    std::getline(in, password);
    return true;
}

int ExitStatusOf(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::kSucceeded:
            return kUpdateExitDone;
        case UpdateOutcome::kStopped:
            return kUpdateExitStopped;
        case UpdateOutcome::kNotRun:
            return kUpdateExitNotRun;
        default:
            return kUpdateExitFailed;
    }
}

}  // namespace

int runUpdateCommand(int argc, char** argv) {
    std::string port, portDir, traceFile, passwordFile, packageDir;
    TerminalView::Options viewOptions;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--port" && hasValue) {
            port = argv[++i];
        } else if (a == "--port-dir" && hasValue) {
            portDir = argv[++i];
        } else if (a == "--trace" && hasValue) {
            traceFile = argv[++i];
        } else if (a == "--password-file" && hasValue) {
            passwordFile = argv[++i];
        } else if (a == "--package" && hasValue) {
            packageDir = argv[++i];
        } else if (a == "--boot") {
            viewOptions.boot = true;
        } else if (a == "--yes") {
            viewOptions.assumeYes = true;
        } else if (a == "--help" || a == "-h") {
            return Usage(std::cout, 0);
        } else {
            return Usage(std::cerr, kUpdateExitUsage);
        }
    }
    if (port.empty())
        return Usage(std::cerr, kUpdateExitUsage);
    if (!passwordFile.empty()) {
        if (!ReadPasswordFile(passwordFile, viewOptions.password)) {
            std::cerr << "quenta update: cannot read " << passwordFile << "\n";
            return kUpdateExitUsage;
        }
        viewOptions.passwordGiven = true;
    }

    PortArgument portArgument;
    std::string error;
    bool usage = false;
    if (!portArgument.Resolve(port, portDir, error, usage)) {
        std::cerr << "quenta update: " << error << "\n";
        return usage ? kUpdateExitUsage : kUpdateExitFailed;
    }
    viewOptions.comNumber = portArgument.ComNumber();

    std::unique_ptr<PackageResources> package;
    if (!packageDir.empty())
        package = std::make_unique<DirectoryPackage>(packageDir);
    else
        package = MakeEmbeddedPackage();
    ResourceAttributes attributes;
    if (!package || !ReadPackageAttributes(*package, attributes)) {
        std::cerr << "quenta update: "
                  << (packageDir.empty() ? std::string("this program carries no firmware package")
                                         : packageDir + " holds no package attributes")
                  << "\n";
        return kUpdateExitFailed;
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> trace(nullptr, &std::fclose);
    if (!traceFile.empty()) {
        trace.reset(std::fopen(traceFile.c_str(), "w"));
        if (!trace) {
            std::cerr << "quenta update: cannot write " << traceFile << "\n";
            return kUpdateExitUsage;
        }
    }

    int qtArgc = 1;
    char name[] = "quenta";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    QtUpdaterPlatform qt;
    TerminalView view(viewOptions, std::cout, std::cerr);
    CodeUpdater updater(view, qt.platform, *package);
    updater.Initialise();
    if (viewOptions.boot && !updater.ShowsUpgradeChoice()) {
        std::cerr << "quenta update: --boot is for Application/Boot packages that choose by "
                     "hand; this one is "
                  << UpgradeTypeName(updater.Attributes().UpgradeType)
                  << (updater.AutoBootUpdate() ? " and updates the boot code by itself" : "")
                  << "\n";
        return kUpdateExitUsage;
    }
    // Every frame to the trace file, if asked for, and after each image how fast it crossed.
    const RadioLink::TraceSink fileTrace =
        trace ? FrameTraceWriter(qt.pump, trace.get()) : RadioLink::TraceSink();
    ImageThroughput throughput([&view](const std::string& line) { view.Note(line); });
    updater.Link().SetTraceSink(
        [&](char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
            throughput.OnFrame(direction, bytes, count, ms);
            if (fileTrace)
                fileTrace(direction, bytes, count, ms);
        });

    StopSignal stop([&] {
        std::cerr << "Stopping..." << std::endl;
        view.Interrupt();
        if (updater.UpdateInProgress())
            updater.m_StartButtonClick();  // Start is Stop while the update runs
    });
    updater.m_StartButtonClick();
    if (stop.Raised() && updater.LastOutcome() != UpdateOutcome::kSucceeded)
        return kUpdateExitStopped;
    return ExitStatusOf(updater.LastOutcome());
}
