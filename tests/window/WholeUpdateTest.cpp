#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <csignal>
#include <filesystem>
#include <map>
#include <memory>

#include "WindowTestSupport.h"
#include "app/journal/Journal.h"
#include "app/qtplatform/StopSignal.h"
#include "app/window/CodeUpdaterMainForm.h"
#include "app/window/PortList.h"
#include "app/window/RestoreCodeplugDlg.h"
#include "convert/CodeplugImage.h"
#include "convert/CodeplugVersion.h"

using namespace windowtest;

namespace {

constexpr int kSimCom = 7;

// The codeplug format of an image as the radio holds it (every word high byte first).
int FormatIndexOf(const std::string& hex) {
    CodeplugImage image;
    for (std::size_t i = 0; i + 3 < hex.size() && i / 4 < CodeplugImage::kWords; i += 4)
        image.words[i / 4] = static_cast<std::uint16_t>(std::stoul(hex.substr(i, 4), nullptr, 16));
    return codeplugVersionIndex(image);
}

// A safety net only: a signal reaches the loop at its next turn.
constexpr int kSignalWaitMs = 30000;

void ProcessEventsUntilHidden(QWidget& window) {
    QTimer watchdog;
    watchdog.start(kSignalWaitMs);
    bool expired = false;
    QObject::connect(&watchdog, &QTimer::timeout, [&expired] { expired = true; });
    while (window.isVisible() && !expired)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// The program's own package, updating a radio on COM kSimCom.
class WholeUpdate : public WindowTest {
  protected:
    const std::unique_ptr<PackageResources> package = MakeEmbeddedPackage();
    ResourceAttributes attributes;

    void SetUp() override { ASSERT_TRUE(ReadPackageAttributes(*package, attributes)); }
};

}  // namespace

// The program's own package, start to end through the window's widgets: pick the port, click
// Start, type the password; the radio is flashed and its 5.9 codeplug converted to 5.10 and
// written back. A close answered No in the restart wait keeps the update running. A second
// Start (no password now) is stopped once the application's first block has gone.
TEST_F(WholeUpdate, ThroughTheWidgetsThenStopDuringTheCodeDownload) {
    ASSERT_EQ(attributes.UpgradeType, kUpgradeApplication) << "the demo package updates code";
    StartSim(kSimCom, RadioWithBootOf(attributes, true));
    MainFormOptions options = FormOptions();
    std::vector<std::filesystem::path> opened;
    options.openFolder = [&opened](const std::filesystem::path& folder) {
        opened.push_back(folder);
    };
    TCodeUpdaterMainDispForm form(*package, options);
    form.show();
    ChoosePort(form, kSimCom);
    ASSERT_EQ(form.m_ComportComboBox->currentIndex(), kSimCom - 1);
    const QSize folded = form.size();
    EXPECT_FALSE(form.m_DetailsArea->isVisible());

    DialogDriver dialogs;
    bool closeAsked = false;
    QObject::connect(&form, &TCodeUpdaterMainDispForm::statusChanged, &form,
                     [&](const QString& text) {
                         if (closeAsked || text != QStringLiteral("Resetting radio..."))
                             return;
                         closeAsked = true;
                         QMetaObject::invokeMethod(
                             &form, [&form] { form.close(); }, Qt::QueuedConnection);
                     });
    dialogs.answer = QMessageBox::No;
    form.m_StartButton->click();
    EXPECT_EQ(form.m_StatusLabel->text().toStdString(), "Done.");
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].title, QStringLiteral("Confirm"));
    EXPECT_EQ(dialogs.shown[1].text,
              QStringLiteral("Update in progress.  Are you sure you want to quit?"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.m_StartButton->text(), QStringLiteral("Start"));
    EXPECT_TRUE(std::filesystem::exists(form.Updater().LastBackup()));
    EXPECT_TRUE(std::filesystem::is_empty(work / "cwd")) << "the images are deleted";

    // The details, folded all along, list what the run did; the button opens the backups'
    // folder through the seam.
    EXPECT_EQ(form.size(), folded);
    form.m_DetailsToggleButton->click();
    EXPECT_TRUE(form.m_DetailsArea->isVisible());
    EXPECT_GT(form.height(), folded.height());
    std::map<QString, QString> details;
    for (int i = 0; i < form.m_DetailsList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = form.m_DetailsList->topLevelItem(i);
        details[item->text(0)] = item->text(1);
    }
    EXPECT_TRUE(
        details[QStringLiteral("Image application")].contains(QStringLiteral(" bytes in ")));
    EXPECT_TRUE(details[QStringLiteral("Image loader")].contains(QStringLiteral("kbit/s")));
    EXPECT_EQ(details[QStringLiteral("Codeplug format")], QStringLiteral("5.9 -> 5.10"));
    EXPECT_TRUE(details[QStringLiteral("Read-back")].startsWith(QStringLiteral("verified")));
    EXPECT_TRUE(details[QStringLiteral("Backup as read")].startsWith(
        QString::fromStdString(form.Updater().LastBackup().string())));
    EXPECT_TRUE(details.count(QStringLiteral("Backup converted")));
    EXPECT_TRUE(details.count(QStringLiteral("Codeplug write")));
    form.m_OpenBackupFolderButton->click();
    EXPECT_EQ(opened,
              (std::vector<std::filesystem::path>{form.Updater().LastBackup().parent_path()}));
    form.m_DetailsToggleButton->click();
    EXPECT_EQ(form.size(), folded);

    bool stopped = false;
    QObject::connect(form.m_ProgressBar, &QProgressBar::valueChanged, &form, [&](int value) {
        if (stopped || value <= 0 ||
            !form.m_StatusLabel->text().startsWith(QStringLiteral("Downloading Application")))
            return;
        stopped = true;
        QMetaObject::invokeMethod(
            form.m_StartButton, [&form] { form.m_StartButton->click(); }, Qt::QueuedConnection);
    });
    dialogs.answer = QMessageBox::Ok;
    form.m_StartButton->click();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(dialogs.shown.size(), 2u) << "no password and no message the second time";
    EXPECT_EQ(form.m_StatusLabel->text().toStdString(),
              "Code download timed out or canceled by user.");
    EXPECT_EQ(form.m_StartButton->text(), QStringLiteral("Start"));
    EXPECT_TRUE(form.m_ComportComboBox->isEnabled());
    EXPECT_TRUE(form.m_RetrieveVersionInfoButton->isEnabled());

    const nlohmann::json report = sim.Stop();
    EXPECT_EQ(FormatIndexOf(report["codeplug"].value("written", std::string())), 5)
        << "the radio holds a 5.10 codeplug";
}

// SIGTERM, as the program wires it, in the middle of the application download: Stop is pressed,
// the update winds down and only then does the window close: the images are deleted and the
// port is free again. When idle, the signal closes the window at once.
TEST_F(WholeUpdate, TerminatedWhileDownloadingWindsDownThenCloses) {
    StartSim(kSimCom, RadioWithBootOf(attributes, false));
    const MainFormOptions options = FormOptions();
    {
        TCodeUpdaterMainDispForm form(*package, options);
        form.show();
        ChoosePort(form, kSimCom);
        const StopSignal stop([&form] { form.CloseAfterStop(); });
        DialogDriver dialogs;
        bool raised = false;
        bool visibleAfterStop = false;
        QObject::connect(form.m_ProgressBar, &QProgressBar::valueChanged, &form, [&](int value) {
            if (raised || value <= 0 ||
                !form.m_StatusLabel->text().startsWith(QStringLiteral("Downloading Application")))
                return;
            raised = true;
            std::raise(SIGTERM);
        });
        QObject::connect(&form, &TCodeUpdaterMainDispForm::statusChanged, &form,
                         [&](const QString&) { visibleAfterStop = raised && form.isVisible(); });
        form.m_StartButton->click();
        ASSERT_TRUE(raised);
        EXPECT_TRUE(visibleAfterStop) << "the window stays while the update winds down";
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.m_StatusLabel->text().toStdString(),
                  "Code download timed out or canceled by user.");
        EXPECT_FALSE(form.Updater().UpdateInProgress());
        EXPECT_EQ(form.Updater().LastOutcome(), UpdateOutcome::kStopped);
        EXPECT_TRUE(std::filesystem::is_empty(work / "cwd")) << "the images are deleted";
        form.Updater().ScanPorts();
        EXPECT_TRUE(form.Updater().PortPresent(kSimCom - 1)) << "the port is released";
    }

    TCodeUpdaterMainDispForm idle(*package, options);
    idle.show();
    const StopSignal stop([&idle] { idle.CloseAfterStop(); });
    std::raise(SIGHUP);
    ProcessEventsUntilHidden(idle);
    EXPECT_FALSE(idle.isVisible());
}

namespace {

// The restore list as it is shown: each line, whether it can be chosen, which one is chosen.
class RestoreListSpy : public QObject {
  public:
    struct Line {
        QString text;
        bool choosable;
    };
    std::vector<Line> lines;
    int current = -1;

    RestoreListSpy() { qApp->installEventFilter(this); }
    ~RestoreListSpy() override { qApp->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* dialog = qobject_cast<RestoreCodeplugDlg*>(object);
        if (dialog != nullptr && event->type() == QEvent::Show) {
            for (int i = 0; i < dialog->m_BackupList->count(); ++i) {
                const QListWidgetItem* item = dialog->m_BackupList->item(i);
                lines.push_back({item->text(), (item->flags() & Qt::ItemIsSelectable) != 0});
            }
            current = dialog->m_BackupList->currentRow();
        }
        return QObject::eventFilter(object, event);
    }
};

}  // namespace

// A radio that runs firmware wanting 5.10 but holds a 5.9 codeplug: File > Upgrade Codeplug...
// converts it; File > Restore Codeplug... then lists the two codeplugs the upgrade saved, newest
// first with the run they came from (the 5.9 one cannot be chosen), and writes the chosen one
// back, verified.
TEST_F(WholeUpdate, UpgradeThenRestoreFromTheFileMenu) {
    StartSim(kSimCom, {{"fileFormat", {5, 10}}, {"codeplug", {{"generateFormat", 4}}}});
    JournalRecorder journal(work / "journal.sqlite3", nullptr);
    MainFormOptions options = FormOptions();
    options.recorder = &journal;
    options.journalPath = work / "journal.sqlite3";
    TCodeUpdaterMainDispForm form(*package, options);
    form.show();
    ChoosePort(form, kSimCom);
    DialogDriver dialogs;

    form.m_FileUpgradeMenuItem->trigger();
    EXPECT_EQ(form.m_StatusLabel->text().toStdString(), "Done.");
    EXPECT_EQ(form.Updater().LastCodeplugResult(), CodeplugResult::kConverted);

    RestoreListSpy list;
    form.m_FileRestoreMenuItem->trigger();
    ASSERT_EQ(list.lines.size(), 2u);
    EXPECT_TRUE(
        list.lines[0].text.contains(QStringLiteral("format 5.10, converted by upgrade 1 (done)")))
        << list.lines[0].text.toStdString();
    EXPECT_TRUE(list.lines[0].choosable);
    EXPECT_TRUE(list.lines[1].text.contains(QStringLiteral("format 5.9, as read by upgrade 1")))
        << list.lines[1].text.toStdString();
    EXPECT_FALSE(list.lines[1].choosable);
    EXPECT_EQ(list.current, 0);
    EXPECT_EQ(form.m_StatusLabel->text().toStdString(), "Done.");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("read back and verified")))
        << dialogs.shown.back().text.toStdString();
    EXPECT_TRUE(form.m_StartButton->isEnabled());

    const nlohmann::json report = sim.Stop();
    EXPECT_EQ(report["codeplug"]["completedDownloads"], 2);
    EXPECT_EQ(FormatIndexOf(report["codeplug"].value("written", std::string())), 5);
}
