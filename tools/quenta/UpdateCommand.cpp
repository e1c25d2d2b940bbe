#include "UpdateCommand.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>

#include "SeveralRadios.h"
#include "app/cli/ExitStatus.h"
#include "app/cli/JsonLinesView.h"
#include "app/cli/PasswordFile.h"
#include "app/cli/PasswordPipe.h"
#include "app/cli/RadioSession.h"
#include "app/core/CodeUpdater.h"
#include "app/journal/Journal.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageFolderCheck.h"
#include "app/package/PackageNames.h"
#include "app/package/ProgramName.h"
#include "serial/ComPortResolver.h"

namespace {

int Usage(std::ostream& err, ExitStatus status) {
    err << "usage: quenta update --port COMn|DEVICE [--port COMn|DEVICE ...] [--port-dir DIR]\n"
           "                     [--boot] [--trace FILE] [--password-file FILE]\n"
           "                     [--codeplug-password-file FILE] [--yes] [--json]\n"
           "                     [--package DIR]\n"
           "  Updates the radio on the port with the firmware this program carries, as the\n"
           "  window's Start does: password, identification, download, codeplug conversion.\n"
           "  --port           COM1..COM64 or a device path; given several times, the radios\n"
           "                   on all of them are updated at once, each by a process of its\n"
           "                   own, with one line per port and a summary table at the end\n"
           "  --port-dir       folder of COMn links to look in first (default "
        << serial::ComPortResolver::DefaultPortDirectory()
        << ")\n"
           "  --boot           Application/Boot packages that choose by hand: update the boot\n"
           "                   code (default: the application)\n"
           "  --trace FILE     write every frame to FILE, which is replaced when the run ends\n"
           "  --password-file  read the password from the first line of FILE instead of\n"
           "                   asking on the terminal\n"
           "  --codeplug-password-file\n"
           "                   answer the radio's codeplug password with the first line of\n"
           "                   FILE (a run without a terminal cannot be asked)\n"
           "  --yes            do not wait for Enter when the radio must be put back into\n"
           "                   bootload mode (the radio is asked until it answers again\n"
           "                   after its restart, up to a minute); answer Yes when writing\n"
           "                   the saved codeplug again is offered (without a terminal the\n"
           "                   answer is No)\n"
           "  --json           one JSON object per line on stdout instead of text: status,\n"
           "                   phase, progress, message and question events, and a final\n"
           "                   result with the journal row (see the manual page)\n"
           "  --password-fd N  read the password from descriptor N (for programs that run\n"
           "                   quenta; the several-radio update hands it to each radio so)\n"
           "  --package DIR    a package folder as the package builder writes it, in place of\n"
           "                   the carried one\n"
           "  Codeplugs are saved before they are written back, under\n"
           "  $XDG_DATA_HOME/quenta/backups (default ~/.local/share/quenta/backups), and\n"
           "  read back after the write: \"Done.\" only when the radio holds what was written.\n"
           "  Every run is recorded in $XDG_STATE_HOME/quenta/journal.sqlite3 (default\n"
           "  ~/.local/state/quenta/); see quenta history.\n"
           "  Ctrl-C stops the update as the Stop button does (every radio's, with several).\n"
           "exit status:\n"
           "  0  done: \"Done.\", a finished boot or DSP download, or a boot that is current\n"
           "     (with several ports: every radio done; otherwise the worst of theirs)\n"
           "  1  the update failed (the last status line and the messages say why)\n"
           "  2  wrong arguments, or a file or folder they name cannot be used, or a port\n"
           "     given twice (also by two names for one device)\n"
           "  3  stopped with Ctrl-C\n"
           "  4  nothing was done: the password was wrong or not given\n"
           "  5  the firmware is updated but the codeplug is older than 5.8 and was not\n"
           "     converted: the radio cannot use it (the codeplug as read is saved)\n";
    return ToInt(status);
}

ExitStatus ExitStatusOf(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::kSucceeded:
            return ExitStatus::kDone;
        case UpdateOutcome::kStopped:
            return ExitStatus::kStopped;
        case UpdateOutcome::kNotRun:
            return ExitStatus::kNotRun;
        default:
            return ExitStatus::kFailed;
    }
}

}  // namespace

int runUpdateCommand(int argc, char** argv) {
    std::string portDir, traceFile, passwordFile, codeplugPasswordFile, packageDir;
    std::vector<std::string> ports;
    int passwordFd = -1;
    bool json = false;
    TerminalView::Options viewOptions;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--port" && hasValue) {
            ports.push_back(argv[++i]);
        } else if (a == "--port-dir" && hasValue) {
            portDir = argv[++i];
        } else if (a == "--trace" && hasValue) {
            traceFile = argv[++i];
        } else if (a == "--password-file" && hasValue) {
            passwordFile = argv[++i];
        } else if (a == "--codeplug-password-file" && hasValue) {
            codeplugPasswordFile = argv[++i];
        } else if (a == "--package" && hasValue) {
            packageDir = argv[++i];
        } else if (a == "--password-fd" && hasValue) {
            if (!ParseDescriptor(argv[++i], passwordFd))
                return Usage(std::cerr, ExitStatus::kUsage);
        } else if (a == "--json") {
            json = true;
        } else if (a == "--boot") {
            viewOptions.boot = true;
        } else if (a == "--yes") {
            viewOptions.assumeYes = true;
        } else if (a == "--help" || a == "-h") {
            return Usage(std::cout, ExitStatus::kDone);
        } else {
            return Usage(std::cerr, ExitStatus::kUsage);
        }
    }
    if (ports.empty())
        return Usage(std::cerr, ExitStatus::kUsage);
    std::string error;
    if (passwordFd >= 0) {
        if (!ReadPasswordFromDescriptor(passwordFd, viewOptions.password, error)) {
            std::cerr << "quenta update: " << error << "\n";
            return ToInt(ExitStatus::kUsage);
        }
        viewOptions.passwordGiven = true;
    } else if (!passwordFile.empty()) {
        if (!ReadPasswordFile(passwordFile, viewOptions.password, error)) {
            std::cerr << "quenta update: --password-file: " << error << "\n";
            return ToInt(ExitStatus::kUsage);
        }
        viewOptions.passwordGiven = true;
    }
    if (!codeplugPasswordFile.empty() &&
        !UseCodeplugPasswordFile(codeplugPasswordFile, viewOptions, error)) {
        std::cerr << "quenta update: --codeplug-password-file: " << error << "\n";
        return ToInt(ExitStatus::kUsage);
    }

    if (ports.size() > 1) {
        if (!traceFile.empty() || passwordFd >= 0) {
            std::cerr << "quenta update: --trace and --password-fd take one port\n";
            return ToInt(ExitStatus::kUsage);
        }
        SeveralRadiosOptions several;
        several.ports = ports;
        several.portDir = portDir;
        several.password = viewOptions.password;
        several.passwordGiven = viewOptions.passwordGiven;
        several.packageDir = packageDir;
        several.codeplugPasswordFile = codeplugPasswordFile;
        several.boot = viewOptions.boot;
        several.assumeYes = viewOptions.assumeYes;
        several.json = json;
        return UpdateSeveralRadios(several);
    }
    // The package outlives the session whose updater reads it.
    std::unique_ptr<PackageResources> package;
    ResourceAttributes attributes;
    RadioSession session("update");
    if (!session.ResolvePort(ports.front(), portDir))
        return ToInt(session.Failure());

    if (!packageDir.empty()) {
        if (!CheckPackageFolder(packageDir, attributes, error)) {
            std::cerr << "quenta update: " << error << "\n";
            return ToInt(ExitStatus::kUsage);
        }
        package = std::make_unique<DirectoryPackage>(packageDir);
    } else {
        package = MakeEmbeddedPackage();
        if (!package || !ReadPackageAttributes(*package, attributes)) {
            std::cerr << "quenta update: this program carries no firmware package\n";
            return ToInt(ExitStatus::kFailed);
        }
    }

    JsonLinesView* jsonView = nullptr;
    if (json) {
        session.Start(
            [&](int comNumber) {
                viewOptions.comNumber = comNumber;
                auto view = std::make_unique<JsonLinesView>(viewOptions, std::cout, STDIN_FILENO);
                jsonView = view.get();
                return view;
            },
            *package);
    } else {
        session.Start(viewOptions, *package);
    }
    CodeUpdater& updater = session.Updater();
    // The run is journalled; a journal that cannot be written is said once and never stops
    // the update.
    JournalRecorder journal(Journal::DefaultPath(),
                            [&session](const std::string& line) { session.Say(line); });
    const std::string program = packageDir.empty()
                                    ? EmbeddedProgramName()
                                    : std::filesystem::path(packageDir).filename().string();
    journal.SetProgram(program, ReadProgramName(program).release);
    // A JSON view follows the row as it is recorded: its phases and the final result.
    WatchedRecorder watched(&journal, [jsonView](const JournalRow& row) {
        if (jsonView != nullptr)
            jsonView->RowRecorded(row);
    });
    session.Platform().platform.recorder = &watched;
    if (viewOptions.boot && !updater.ShowsUpgradeChoice()) {
        session.Say("--boot is for Application/Boot packages that choose by hand; this one is " +
                    UpgradeTypeName(updater.Attributes().UpgradeType) +
                    (updater.AutoBootUpdate() ? " and updates the boot code by itself" : ""));
        return ToInt(ExitStatus::kUsage);
    }
    // Opened once every argument has passed, so that a wrong one never touches the file.
    if (!traceFile.empty() && !session.OpenTrace(traceFile))
        return ToInt(session.Failure());
    // The rate the JSON lines report, from the bytes sent.
    if (jsonView != nullptr) {
        session.WatchFrames(
            [jsonView](char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
                jsonView->OnFrame(direction, bytes, count, ms);
            });
    }
    session.StopOnSignals([&updater] {
        if (updater.UpdateInProgress())
            updater.m_StartButtonClick();  // Start is Stop while the update runs
    });
    updater.m_StartButtonClick();
    // What the run did, from the row the journal keeps, after the last status line.
    session.View().PrintSummary();
    // The trace is a technician's aid: losing it is said, but the exit status stays the
    // radio's.
    session.Finish();
    if (updater.LastOutcome() == UpdateOutcome::kNotRun && session.View().PasswordEntered())
        session.Say("the password is wrong; nothing was sent to the radio");
    ExitStatus status = ExitStatusOf(updater.LastOutcome());
    if (session.Stopped() && updater.LastOutcome() != UpdateOutcome::kSucceeded)
        status = ExitStatus::kStopped;
    else if (updater.LastOutcome() == UpdateOutcome::kSucceeded &&
             updater.LastCodeplugResult() == CodeplugResult::kNotOffered)
        status = ExitStatus::kCodeplugNotConverted;
    if (jsonView != nullptr)
        jsonView->Result(ToInt(status));
    return ToInt(status);
}
