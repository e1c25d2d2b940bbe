// quenta-radiosim: a simulated radio on a pseudo-terminal.
//
//   quenta-radiosim [--scenario FILE] [--port-dir DIR] [--com N] [--report FILE]
//                   [--line-rate] [--turnaround-us N] [--state FILE]
//
// Prints "COM<N> <slave device>" (or just the device without --port-dir) once the line is
// ready, serves until SIGINT or SIGTERM, then writes the JSON report (to FILE or stdout).
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "RadioSim.h"
#include "SimState.h"
#include "common/ProgramVersion.h"
#include "common/ReplacementFile.h"

namespace {

constexpr const char* kUsage =
    "usage: quenta-radiosim [--scenario FILE] [--port-dir DIR] [--com N] [--report FILE]\n"
    "                       [--line-rate] [--turnaround-us N] [--state FILE]\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// The report is written when the radio stops, so a folder that is not there, or a target that
// is not a regular file, is said at once.
bool ReportTargetUsable(const std::string& path, std::string& error) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(path, ec).parent_path();
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        error = "--report " + path + ": the folder " + folder.string() + " does not exist";
        return false;
    }
    if (!MayReplace(path)) {
        error = "--report " + path + ": it exists and is not a regular file";
        return false;
    }
    return true;
}

// Writes the report whole or not at all: a private file beside it, renamed over it when
// complete.
bool WriteReport(const std::string& path, const std::string& report, std::string& error) {
    int cause = 0;
    const ReplaceResult result =
        ReplaceFileContents(path, report.data(), report.size(), kSharedFileMode, cause);
    if (result == ReplaceResult::kOk)
        return true;
    error = "cannot write the report " + path + ": " +
            (result == ReplaceResult::kTargetNotRegular
                 ? std::string("it exists and is not a regular file")
                 : std::strerror(cause));
    return false;
}

int Help() {
    std::fputs(kUsage, stdout);
    std::fputs(
        "\nA simulated radio on a pseudo-terminal. Prints \"COM<N> <device>\" (or the device\n"
        "alone without --port-dir) when ready, serves until SIGINT or SIGTERM, then writes its\n"
        "JSON report to FILE or standard output.\n\n"
        "  --scenario FILE     who the radio is and how it misbehaves (JSON)\n"
        "  --port-dir DIR      make DIR/COM<N> a link to the pseudo-terminal\n"
        "  --com N             the COM number of that link, 1..64 (default 1)\n"
        "  --report FILE       where to write the report\n"
        "  --line-rate         every byte takes its 10 bit times at the line's rate\n"
        "  --turnaround-us N   with --line-rate: the radio's own time to answer (default 0)\n"
        "  --state FILE        start from the codeplug, format, boot version and flashed\n"
        "                      images kept in FILE (when it exists); keep them there at exit\n"
        "  --version, --help\n",
        stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenarioPath, portDir, reportPath, statePath;
    int com = 1;
    bool lineRate = false;
    int turnaroundUs = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help") {
            return Help();
        } else if (a == "--version") {
            std::printf("quenta-radiosim %s\n", quenta::kVersion);
            return 0;
        } else if (a == "--line-rate") {
            lineRate = true;
        } else if (a == "--turnaround-us" && hasValue) {
            char* end = nullptr;
            const long us = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || end == argv[i] || us < 0 || us > 10000000)
                return Usage();
            turnaroundUs = static_cast<int>(us);
        } else if (a == "--scenario" && hasValue) {
            scenarioPath = argv[++i];
        } else if (a == "--port-dir" && hasValue) {
            portDir = argv[++i];
        } else if (a == "--com" && hasValue) {
            com = std::atoi(argv[++i]);
            if (com < 1 || com > 64)
                return Usage();
        } else if (a == "--report" && hasValue) {
            reportPath = argv[++i];
        } else if (a == "--state" && hasValue) {
            statePath = argv[++i];
        } else {
            return Usage();
        }
    }
    Scenario scenario;
    std::string error;
    if (!reportPath.empty() && !ReportTargetUsable(reportPath, error)) {
        std::fprintf(stderr, "quenta-radiosim: %s\n", error.c_str());
        return 1;
    }
    if (!scenarioPath.empty() && !Scenario::FromFile(scenarioPath, scenario, error)) {
        std::fprintf(stderr, "quenta-radiosim: %s\n", error.c_str());
        return 1;
    }
    SimState state;
    bool stateExists = false;
    if (!statePath.empty() && !LoadSimState(statePath, state, stateExists, error)) {
        std::fprintf(stderr, "quenta-radiosim: %s\n", error.c_str());
        return 1;
    }
    if (stateExists)
        ApplySimState(state, scenario);
    scenario.lineRate = scenario.lineRate || lineRate;
    if (turnaroundUs >= 0)
        scenario.turnaroundUs = turnaroundUs;

    // The serving thread inherits the blocked signals; only sigwait below receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    RadioSim sim(scenario);
    if (!sim.Open(error, portDir, com)) {
        std::fprintf(stderr, "quenta-radiosim: %s\n", error.c_str());
        return 1;
    }
    sim.Start();
    if (portDir.empty()) {
        std::printf("%s\n", sim.SlavePath().c_str());
    } else {
        std::printf("COM%d %s\n", com, sim.SlavePath().c_str());
    }
    std::fflush(stdout);

    int sig = 0;
    sigwait(&signals, &sig);
    sim.Stop();
    if (!statePath.empty() && !SaveSimState(statePath, CaptureSimState(sim, state), error))
        std::fprintf(stderr, "quenta-radiosim: %s\n", error.c_str());
    const std::string report = sim.Report().dump(2) + "\n";
    if (reportPath.empty()) {
        std::fputs(report.c_str(), stdout);
    } else if (!WriteReport(reportPath, report, error)) {
        std::fprintf(stderr, "quenta-radiosim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
