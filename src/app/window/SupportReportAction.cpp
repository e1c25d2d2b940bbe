#include "app/window/SupportReportAction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "app/journal/Journal.h"
#include "app/report/KeptTraces.h"
#include "app/report/SupportReport.h"

namespace {

const char kTitle[] = "Save Support Report";

}  // namespace

QString SaveSupportReport(const WindowReportSource& source, const QString& path) {
    report::ReportRequest request;
    request.out = path.toStdString();
    request.program = std::filesystem::path(source.programFilePath).filename().string();
    request.package = source.package;
    request.programName = request.program;
    request.traceFolder = report::DefaultTraceFolder();
    request.journalPath = Journal::DefaultPath();
    request.backupFolder = source.backupDirectory;
    std::string error;
    if (report::WriteSupportReport(request, error))
        return QString();
    return QString::fromStdString(error);
}

void AskAndSaveSupportReport(QWidget* parent, const WindowReportSource& source) {
    const QString suggested =
        QDir::home().filePath(QString::fromStdString(report::DefaultReportName()));
    const QString path =
        QFileDialog::getSaveFileName(parent, QString::fromLatin1(kTitle), suggested,
                                     QStringLiteral("Support reports (*.tar.gz)"));
    if (path.isEmpty())
        return;
    const QString error = SaveSupportReport(source, path);
    if (error.isEmpty())
        QMessageBox::information(parent, QString::fromLatin1(kTitle),
                                 QStringLiteral("The support report was saved to %1.\n"
                                                "Send it with your description of the problem.")
                                     .arg(path));
    else
        QMessageBox::critical(
            parent, QString::fromLatin1(kTitle),
            QStringLiteral("The support report could not be saved: %1").arg(error));
}
