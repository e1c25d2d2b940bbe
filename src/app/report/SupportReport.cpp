#include "app/report/SupportReport.h"

#include <sys/utsname.h>

#include <QtGlobal>
#include <algorithm>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "DoctorCommand.h"
#include "InfoCommand.h"
#include "PortsCommand.h"
#include "app/journal/JournalText.h"
#include "app/report/KeptTraces.h"
#include "app/report/TarGzWriter.h"
#include "common/ProgramVersion.h"
#include "serial/PosixSerialOs.h"
#include "serial/SerialDevice.h"

namespace report {

namespace {

// Every entry sits under one folder, so that unpacking the report makes no mess.
constexpr const char* kTop = "quenta-report/";

std::string OsRelease() {
    std::ifstream in("/etc/os-release");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) != 0)
            continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return "unknown";
}

std::string LocalStamp(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

std::vector<std::filesystem::path> BackupFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_regular_file(ec))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// What was put in and what was left out, so that the reader knows what to ask for.
std::string Contents(const ReportRequest& request, bool journal, std::size_t traces,
                     std::size_t backups) {
    std::string text = "Support report written " + LocalStamp("%Y-%m-%d %H:%M:%S %z") + " by " +
                       request.program + "\n";
    text += "versions.txt  program, Qt, kernel and system\n";
    text += "package.txt   the firmware package the program carries (quenta info)\n";
    text += "ports.jsonl   the COM ports and the devices behind them (quenta ports --json)\n";
    text += "doctor.txt    what stands between this machine and a radio (quenta doctor)\n";
    if (journal)
        text += "journal.jsonl the update journal's rows (quenta history --json)\n";
    else
        text += "The update journal holds no run.\n";
    text += "traces/       the wire traces of the last " + std::to_string(traces) +
            " runs (password digits masked) from " + request.traceFolder.string() + "\n";
    if (request.withBackups)
        text += "backups/      " + std::to_string(backups) + " codeplug backups from " +
                request.backupFolder.string() + "\n";
    else
        text += "Codeplug backups are not included (quenta report --with-backups adds them).\n";
    return text;
}

}  // namespace

std::string VersionsText(const std::string& program) {
    std::string text = "Program: " + program + " " + quenta::kVersion + "\n";
    text += std::string("Qt: ") + qVersion() + " (built with " + QT_VERSION_STR + ")\n";
    utsname u{};
    if (::uname(&u) == 0)
        text += std::string("Kernel: ") + u.sysname + " " + u.release + " " + u.version + " " +
                u.machine + "\n";
    text += "System: " + OsRelease() + "\n";
    return text;
}

std::string PortsJsonLines() {
    serial::PosixSerialOs& os = serial::SystemSerialOs();
    const std::vector<serial::SerialDevice> devices = serial::SystemSerialDevices()->Devices();
    std::string lines;
    for (const serial::ComPortEntry& entry : serial::ListComPorts(
             [&os](int n) { return os.Check("COM" + std::to_string(n)); }, devices))
        lines += PortJson(entry).dump() + "\n";
    return lines;
}

std::string DoctorText() {
    // The doctor prints on standard output; the report takes what it would have printed.
    std::ostringstream text;
    std::streambuf* const saved = std::cout.rdbuf(text.rdbuf());
    char name[] = "doctor";
    char* argv[] = {name, nullptr};
    const int status = runDoctorCommand(0, argv);
    std::cout.rdbuf(saved);
    return text.str() + "(exit status " + std::to_string(status) + ")\n";
}

bool WriteSupportReport(const ReportRequest& request, std::string& error) {
    std::string package;
    if (request.package == nullptr)
        package = "No package.\n";
    else
        FormatPackageInfo(*request.package, request.programName, package);
    const std::string journal =
        request.journalPath.empty() ? std::string() : JournalJsonLines(request.journalPath);
    const std::vector<std::filesystem::path> traces = KeptTraceFiles(request.traceFolder);
    const std::vector<std::filesystem::path> backups = request.withBackups
                                                           ? BackupFiles(request.backupFolder)
                                                           : std::vector<std::filesystem::path>();

    TarGzWriter archive;
    const std::string top = kTop;
    if (!archive.Open(request.out, error) ||
        !archive.Add(top + "README.txt",
                     Contents(request, !journal.empty(), traces.size(), backups.size()), error) ||
        !archive.Add(top + "versions.txt", VersionsText(request.program), error) ||
        !archive.Add(top + "package.txt", package, error) ||
        !archive.Add(top + "ports.jsonl", PortsJsonLines(), error) ||
        !archive.Add(top + "doctor.txt", DoctorText(), error))
        return false;
    if (!journal.empty() && !archive.Add(top + "journal.jsonl", journal, error))
        return false;
    for (const std::filesystem::path& trace : traces) {
        if (!archive.AddFile(top + "traces/" + trace.filename().string(), trace, error))
            return false;
    }
    for (const std::filesystem::path& backup : backups) {
        if (!archive.AddFile(top + "backups/" + backup.filename().string(), backup, error))
            return false;
    }
    return archive.Finish(error);
}

std::string DefaultReportName() {
    return "quenta-report-" + LocalStamp("%Y%m%d-%H%M%S") + ".tar.gz";
}

}  // namespace report
