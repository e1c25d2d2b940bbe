#pragma once

// Helpers of the window tests: a package from a map, a driver that answers the window's modal
// dialogs from inside their own event loops, and a fixture with a simulated radio.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "SimPortDirectory.h"
#include "TempDir.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageAttributes.h"
#include "app/window/CodeUpdaterMainForm.h"

namespace windowtest {

// The erase and restart waits run 200 times faster; replies keep their real time-outs.
constexpr int kTickDivisor = 200;

inline ResourceAttributes Attributes(std::uint8_t family, std::int8_t series,
                                     std::uint8_t upgradeType) {
    ResourceAttributes a;
    a.RadioFamily = family;
    a.KindBySeries = 1;
    a.Series = series;
    a.UpgradeType = upgradeType;
    std::snprintf(a.CordavoVersion, sizeof a.CordavoVersion, "2.8.2");
    std::snprintf(a.KesmetVersion, sizeof a.KesmetVersion, "3.0.9");
    return a;
}

// Answers every modal dialog the window shows, once the dialog runs its own loop: the password
// dialog gets `password` and OK (or Cancel when `cancelPassword`), a message box the button
// `answer` (OK when the box has no such button). Records what was shown.
class DialogDriver : public QObject {
  public:
    struct Shown {
        QString title;
        QString text;
    };

    std::string password = "pelican";
    bool cancelPassword = false;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::vector<Shown> shown;

    DialogDriver() { qApp->installEventFilter(this); }
    ~DialogDriver() override { qApp->removeEventFilter(this); }

    int Count(const QString& title) const {
        int n = 0;
        for (const Shown& s : shown)
            n += s.title == title ? 1 : 0;
        return n;
    }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override;

  private:
    void Answer(QPointer<QDialog> dialog);
};

// The simulated radio as a process of its own (as a technician runs it): it holds its
// pseudo-terminal's slave open, which a radio in this very process would make the port scan
// report as held by this program. COMn links to it in portDirectory.
class SimProcess {
  public:
    ~SimProcess();
    bool Start(const std::filesystem::path& portDirectory, int comNumber,
               const nlohmann::json& scenario, const std::filesystem::path& folder,
               std::string& error);
    // Ends the radio (SIGTERM) and returns its report.
    nlohmann::json Stop();

  private:
    QProcess process_;
    std::filesystem::path report_;
};

// Fills portDirectory with links to nowhere for every COM number but `except`, so that no
// device of the machine running the tests is ever in the list.
void OnlyPort(const std::filesystem::path& portDirectory, int except);

// A package that holds only its attributes record.
inline std::unique_ptr<MemoryPackage> AttributesOnly(const ResourceAttributes& attributes) {
    auto package = std::make_unique<MemoryPackage>();
    package->PutAttributes(attributes);
    return package;
}

// A radio whose boot is the package's, so that only the application is flashed; with
// convertCodeplug its 5.9 codeplug is one the new firmware wants as 5.10.
nlohmann::json RadioWithBootOf(const ResourceAttributes& package, bool convertCodeplug);

// The user picks COM n in the list.
void ChoosePort(TCodeUpdaterMainDispForm& form, int comNumber);

// Darkest grey level of an image: a drawing has ink on it, a failed decode does not.
int DarkestLevel(const QImage& image);

// A test's folder, its own port folder, and a simulated radio.
class WindowTest : public ::testing::Test {
  protected:
    TempDir work;
    simtest::SimPortDirectory ports;
    SimProcess sim;

    // Images extracted to work/cwd (made here), backups in work/backups, the waits scaled.
    MainFormOptions FormOptions();
    // The simulated radio on COM comNumber, the only port in the list.
    void StartSim(int comNumber, const nlohmann::json& scenario);
};

}  // namespace windowtest
