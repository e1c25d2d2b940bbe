#include "WindowTestSupport.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <fstream>

#include "app/window/CodeDownPassDlg.h"
#include "app/window/PortList.h"

namespace windowtest {

bool DialogDriver::eventFilter(QObject* object, QEvent* event) {
    if (event->type() == QEvent::Show) {
        if (auto* dialog = qobject_cast<QDialog*>(object)) {
            QPointer<QDialog> guarded(dialog);
            // Queued: it runs inside the dialog's own modal loop.
            QMetaObject::invokeMethod(
                this, [this, guarded] { Answer(guarded); }, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(object, event);
}

void DialogDriver::Answer(QPointer<QDialog> dialog) {
    if (dialog.isNull())
        return;
    if (auto* pass = qobject_cast<TCodeDownPassDispDlg*>(dialog.data())) {
        shown.push_back({pass->windowTitle(), QString()});
        pass->m_PasswordEdit->setText(QString::fromStdString(password));
        (cancelPassword ? pass->BitBtn2 : pass->BitBtn1)->click();
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(dialog.data())) {
        shown.push_back({box->windowTitle(), box->text()});
        QAbstractButton* button = box->button(answer);
        if (button == nullptr)
            button = box->button(QMessageBox::Ok);
        if (button != nullptr)
            button->click();
        else
            box->reject();
        return;
    }
    shown.push_back({dialog->windowTitle(), QString()});
    dialog->accept();
}

namespace {
// A safety net only: the radio is ready in milliseconds.
constexpr int kSimStartMs = 30000;
}  // namespace

SimProcess::~SimProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(kSimStartMs);
    }
}

bool SimProcess::Start(const std::filesystem::path& portDirectory, int comNumber,
                       const nlohmann::json& scenario, const std::filesystem::path& folder,
                       std::string& error) {
    const std::filesystem::path scenarioFile = folder / "scenario.json";
    std::ofstream(scenarioFile) << scenario.dump();
    report_ = folder / "report.json";
    process_.start(QStringLiteral(QUENTA_RADIOSIM_PATH),
                   {QStringLiteral("--port-dir"), QString::fromStdString(portDirectory.string()),
                    QStringLiteral("--com"), QString::number(comNumber),
                    QStringLiteral("--scenario"), QString::fromStdString(scenarioFile.string()),
                    QStringLiteral("--report"), QString::fromStdString(report_.string())});
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(kSimStartMs)) {
            error = "the simulated radio did not start: " +
                    process_.readAllStandardError().toStdString();
            return false;
        }
    }
    const QString line = QString::fromLocal8Bit(process_.readLine()).trimmed();
    if (!line.startsWith(QStringLiteral("COM"))) {
        error = "unexpected first line of the simulated radio: " + line.toStdString();
        return false;
    }
    return true;
}

nlohmann::json SimProcess::Stop() {
    process_.terminate();
    process_.waitForFinished(kSimStartMs);
    std::ifstream in(report_);
    nlohmann::json report = nlohmann::json::parse(in, nullptr, false);
    return report.is_discarded() ? nlohmann::json::object() : report;
}

nlohmann::json RadioWithBootOf(const ResourceAttributes& package, bool convertCodeplug) {
    nlohmann::json radio = {
        {"boot", {{"present", true}, {"version", {package.Series, package.BootMinor}}}}};
    if (convertCodeplug)
        radio["codeplug"] = {{"generateFormat", 4}, {"formatAfterUpdate", {5, 10}}};
    return radio;
}

void ChoosePort(TCodeUpdaterMainDispForm& form, int comNumber) {
    form.m_ComportComboBox->setCurrentIndex(comNumber - 1);
    emit form.m_ComportComboBox->activated(comNumber - 1);
}

int DarkestLevel(const QImage& image) {
    int darkest = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
    return darkest;
}

MainFormOptions WindowTest::FormOptions() {
    std::filesystem::create_directories(work / "cwd");
    MainFormOptions options;
    options.workingDirectory = work / "cwd";
    options.backupDirectory = work / "backups";
    options.tickDivisor = kTickDivisor;
    options.processorCount = [] { return 1; };
    return options;
}

void WindowTest::StartSim(int comNumber, const nlohmann::json& scenario) {
    OnlyPort(ports.Path(), comNumber);
    std::string error;
    ASSERT_TRUE(sim.Start(ports.Path(), comNumber, scenario, work.Path(), error)) << error;
}

void OnlyPort(const std::filesystem::path& portDirectory, int except) {
    for (int n = 1; n <= 64; ++n) {
        if (n != except)
            std::filesystem::create_symlink(portDirectory / "nowhere",
                                            portDirectory / ("COM" + std::to_string(n)));
    }
}

}  // namespace windowtest
