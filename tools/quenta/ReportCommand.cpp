#include "ReportCommand.h"

#include <iostream>
#include <string>
#include <system_error>

#include "app/cli/ExitStatus.h"
#include "app/core/CodeplugBackup.h"
#include "app/journal/Journal.h"
#include "app/package/EmbeddedPackage.h"
#include "app/report/KeptTraces.h"
#include "app/report/SupportReport.h"
#include "serial/PosixSerialOs.h"

namespace {

int Usage(std::ostream& err, ExitStatus status) {
    err << "usage: quenta report [--out FILE] [--with-backups] [--port-dir DIR]\n"
           "  Writes a support report to send with a bug: one .tar.gz holding the wire traces\n"
           "  of the last "
        << report::kKeptRuns
        << " runs that talked to a radio (password digits masked), the\n"
           "  update journal's rows (quenta history --json), the port check (quenta ports\n"
           "  --json), the carried package (quenta info) and the versions of this program,\n"
           "  Qt and the kernel. The traces are kept in\n"
           "  $XDG_STATE_HOME/quenta/traces (default ~/.local/state/quenta/traces).\n"
           "  --out FILE      the report to write (default quenta-report-DATE-TIME.tar.gz\n"
           "                  in the working folder); it is private to you (0600)\n"
           "  --with-backups  add the codeplug backups (they hold the radios' configuration)\n"
           "  --port-dir DIR  folder of COMn links the port check looks in first\n"
           "exit status:\n"
           "  0  the report was written; its name is printed\n"
           "  1  it could not be written\n"
           "  2  wrong arguments\n";
    return ToInt(status);
}

}  // namespace

int runReportCommand(int argc, char** argv) {
    report::ReportRequest request;
    request.program = "quenta";
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--out" && i + 1 < argc) {
            request.out = argv[++i];
        } else if (a == "--with-backups") {
            request.withBackups = true;
        } else if (a == "--port-dir" && i + 1 < argc) {
            serial::SystemSerialOs().Resolver().SetPortDirectory(argv[++i]);
        } else if (a == "--help") {
            return Usage(std::cout, ExitStatus::kDone);
        } else {
            std::cerr << "quenta report: unexpected argument " << a << "\n";
            return Usage(std::cerr, ExitStatus::kUsage);
        }
    }
    if (request.out.empty())
        request.out = report::DefaultReportName();
    std::error_code ec;
    if (std::filesystem::is_directory(request.out, ec)) {
        std::cerr << "quenta report: " << request.out.string()
                  << " is a folder: --out names the file to write\n";
        return ToInt(ExitStatus::kUsage);
    }
    const std::unique_ptr<PackageResources> package = MakeEmbeddedPackage();
    request.package = package.get();
    request.programName = EmbeddedProgramName();
    request.traceFolder = report::DefaultTraceFolder();
    request.journalPath = Journal::DefaultPath();
    request.backupFolder = DefaultBackupDirectory();
    std::string error;
    if (!report::WriteSupportReport(request, error)) {
        std::cerr << "quenta report: " << error << "\n";
        return ToInt(ExitStatus::kFailed);
    }
    std::cout << "Support report written to " << request.out.string() << "\n";
    return ToInt(ExitStatus::kDone);
}
