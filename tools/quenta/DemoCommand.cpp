#include "DemoCommand.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/cli/ExitStatus.h"
#include "app/demo/Demo.h"
#include "app/demo/DemoRadio.h"
#include "app/package/EmbeddedPackage.h"
#include "common/FileBytes.h"

namespace {

// A radio description is a small JSON file; the simulated radio refuses more than this.
constexpr std::size_t kDescriptionMaxBytes = 1 << 20;

int Usage(std::ostream& to, ExitStatus status) {
    to << "usage: quenta demo [--window]\n"
          "  Updates a simulated radio, start to end: starts quenta-radiosim with a radio that\n"
          "  fits the firmware this program carries, keeping to the line's pace, on a private\n"
          "  port folder that is removed at the end, and runs quenta update on it (password\n"
          "  \"pelican\", about a minute). The codeplug backups go where an update puts them.\n"
          "  --window  open the window with the radio's port selected instead: press Start,\n"
          "            type the password, close the window once the status reads \"Done.\"\n"
          "  Ctrl-C stops the update and the radio. The exit status is the update's (see\n"
          "  quenta update --help); in the window, 0 when the status read \"Done.\".\n";
    return ToInt(status);
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The folder of this program's file.
std::string ProgramDir() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

}  // namespace

int runDemoCommand(int argc, char** argv) {
    demo::DemoPlan plan;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--window") {
            plan.window = true;
        } else if (a == "--unpaced") {
            // Not in the usage: the test suite's quick run, whose figures are not the line's.
            plan.paced = false;
        } else if (a == "--help" || a == "-h") {
            return Usage(std::cout, ExitStatus::kDone);
        } else {
            return Usage(std::cerr, ExitStatus::kUsage);
        }
    }
    const std::string programDir = ProgramDir();
    plan.quentaProgram = programDir + "/quenta";
    if (::access(plan.quentaProgram.c_str(), X_OK) != 0)
        plan.quentaProgram = "/proc/self/exe";

    const std::unique_ptr<PackageResources> package = MakeEmbeddedPackage();
    ResourceAttributes attributes;
    if (!package || !ReadPackageAttributes(*package, attributes)) {
        std::cerr << "quenta demo: this program carries no firmware package\n";
        return ToInt(ExitStatus::kFailed);
    }

    const std::vector<std::string> folders =
        demo::RadioDescriptionFolders(programDir, Env("XDG_DATA_DIRS"));
    plan.radioSource = demo::FindInFolders(folders, demo::kDemoRadioName);
    if (plan.radioSource.empty()) {
        std::cerr << "quenta demo: no radio description " << demo::kDemoRadioName << " in any of:";
        for (const std::string& folder : folders)
            std::cerr << " " << folder;
        std::cerr << "\n";
        return ToInt(ExitStatus::kFailed);
    }
    std::string text, error;
    int cause = 0;
    const ReadFileResult read =
        ReadRegularFile(plan.radioSource, kDescriptionMaxBytes, text, cause);
    if (read != ReadFileResult::kOk) {
        std::cerr << "quenta demo: "
                  << ReadFileFailureText(read, cause, plan.radioSource, kDescriptionMaxBytes)
                  << "\n";
        return ToInt(ExitStatus::kFailed);
    }
    if (!demo::FitRadioDescription(text, attributes, plan.radioDescription, error)) {
        std::cerr << "quenta demo: " << plan.radioSource << ": " << error << "\n";
        return ToInt(ExitStatus::kFailed);
    }

    plan.radiosimProgram = demo::FindCompanionProgram("quenta-radiosim", programDir, Env("PATH"));
    if (plan.radiosimProgram.empty()) {
        std::cerr << "quenta demo: the simulated radio quenta-radiosim is neither beside "
                  << programDir << " nor in PATH\n";
        return ToInt(ExitStatus::kFailed);
    }
    if (plan.window) {
        plan.windowProgram = demo::FindCompanionProgram("quenta-updater", programDir, Env("PATH"));
        if (plan.windowProgram.empty()) {
            std::cerr << "quenta demo: the window program quenta-updater is neither beside "
                      << programDir << " nor in PATH\n";
            return ToInt(ExitStatus::kFailed);
        }
    }
    return demo::RunDemo(plan, std::cout, std::cerr);
}
