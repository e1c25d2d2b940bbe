#pragma once

#include <filesystem>
#include <string>

class PackageResources;

// The support report: one .tar.gz a technician sends with a bug, written by `quenta report`
// and by the window's Help menu. It holds the last wire traces (password digits are masked
// before a frame reaches any trace), the update journal's rows, the port check and the port
// doctor's findings, the package the program carries and the versions of the program, Qt and
// the kernel; codeplug backups only when asked for.
namespace report {

struct ReportRequest {
    std::filesystem::path out;  // the .tar.gz to write (replaced whole)
    std::string program;        // who writes it: "quenta" or the window's program name
    const PackageResources* package = nullptr;  // the carried package (none: said so)
    std::string programName;                    // the program name the package was built for
    std::filesystem::path traceFolder;          // the kept traces (DefaultTraceFolder())
    std::filesystem::path backupFolder;         // the codeplug backups (DefaultBackupDirectory())
    bool withBackups = false;
    // The update journal (Journal::DefaultPath()): its rows as `quenta history --json` prints
    // them go into journal.jsonl; none when it holds no run.
    std::filesystem::path journalPath;
};

// What the report says about this machine and build, one "Label: value" line each.
std::string VersionsText(const std::string& program);
// The COM entries as `quenta ports --json` prints them, one JSON object per line.
std::string PortsJsonLines();
// What `quenta doctor` prints (no loopback: nothing is sent on any port).
std::string DoctorText();

// Gathers everything and writes request.out (0600). False with a line for the user.
bool WriteSupportReport(const ReportRequest& request, std::string& error);

// The default name in the working folder: quenta-report-YYYYMMDD-HHMMSS.tar.gz (local time).
std::string DefaultReportName();

}  // namespace report
