#pragma once

#include <QString>
#include <filesystem>
#include <string>

class PackageResources;
class QWidget;

// Help > Save Support Report...: what the window hands the report besides the traces.
struct WindowReportSource {
    const PackageResources* package = nullptr;
    std::string programFilePath;  // the program whose name the package was built for
    std::filesystem::path backupDirectory;
};

// Writes the support report to path (no codeplug backups: those take `quenta report
// --with-backups`). Empty on success, else the line to show.
QString SaveSupportReport(const WindowReportSource& source, const QString& path);

// Asks where to save (a file dialog in the home folder) and saves there, saying how it went.
void AskAndSaveSupportReport(QWidget* parent, const WindowReportSource& source);
