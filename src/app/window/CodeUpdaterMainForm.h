#pragma once

#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/core/CodeUpdater.h"
#include "app/core/UpdaterView.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/qtplatform/QtPortComponent.h"
#include "app/window/ScaledDownloadClock.h"
#include "app/window/SupportReportAction.h"
#include "serial/SerialDevice.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolBar;
class QToolButton;
class QTreeWidget;
class PortComboBox;
class PortWatch;

// Where the window finds what it does not read from the package.
struct MainFormOptions {
    // The program file whose name gives the Name and Release labels (default: this program).
    std::string programFilePath;
    // Where images are extracted (default: the current working directory).
    std::filesystem::path workingDirectory;
    // Where codeplugs are saved before a write (default: the user's data directory).
    std::filesystem::path backupDirectory;
    // Divides the erase and restart waits (tests and screenshots; 1 in the program).
    int tickDivisor = 1;
    // Logical processors (default: what the system reports).
    std::function<int()> processorCount;
    // Serial devices by name, for the port list's tool tips (default: udev's), and the monitor
    // whose events make the list rescan when a device is plugged in or pulled out (default:
    // udev's; without one the list shows what the last scan found).
    std::shared_ptr<serial::SerialDeviceSource> serialDevices;
    std::shared_ptr<serial::SerialDeviceMonitor> serialMonitor;
    // The journal every update is recorded in (none: not recorded).
    UpdateRecorder* recorder = nullptr;
    // The COM number selected in the port list at start, 1 to 64.
    int comNumber = 1;
    // The journal the restore list reads the runs its backups came from (empty: none).
    std::filesystem::path journalPath;
    // Opens a folder in the desktop's file manager (default: QDesktopServices); tests record
    // the folder instead.
    std::function<void(const std::filesystem::path& folder)> openFolder;
};

// The main window: what the package is for, the COM port list, Start/Stop, the version pane
// and the status. The update logic is CodeUpdater's; the window draws and forwards its events.
class TCodeUpdaterMainDispForm : public QMainWindow, public UpdaterView {
    Q_OBJECT
  public:
    explicit TCodeUpdaterMainDispForm(const PackageResources& package, MainFormOptions options = {},
                                      QWidget* parent = nullptr);
    ~TCodeUpdaterMainDispForm() override;

    // --- UpdaterView ---
    void SetStatus(const std::string& text) override;
    void ShowStatusDetail(const std::string& detail) override;
    void ShowMessage(const std::string& title, MessageIcon icon, const std::string& text) override;
    bool AskYesNo(const std::string& title, const std::string& text) override;
    bool AskPassword(std::string& entered) override;
    bool AskCodeplugPassword(std::string& entered) override;
    ProgressBar& Progress() override;
    int ProgressPosition() const override;
    void ShowTimeLeft(int seconds) override;
    void ShowRun(const JournalRow& row) override;
    void ShowBusy(bool busy) override;
    void SetRetrieveEnabled(bool enabled) override;
    void FocusRetrieve() override;
    int SelectedPortIndex() const override;
    bool BootChecked() const override;
    void ShowVersionInfo(const VersionRecord& record, TargetKind kind) override;
    void PortsScanned() override;

    CodeUpdater& Updater() { return *updater_; }
    bool VersionInfoShown() const { return m_VersionInfoShown != 0; }
    // The window's width with the version pane cut off, and with it shown.
    int NarrowWidth() const;
    // The port list's tool tip of COM n.
    QString PortToolTipOf(int comNumber) const;
    // A signal that ends the program (SIGTERM, a closed terminal): Stop when an update runs,
    // every open dialog is cancelled and no new one is shown, and the window closes once the
    // logic has wound down (port released, images deleted). Closing at once would tear down
    // the event loops the running update waits in.
    void CloseAfterStop();

    // --- Controls ---
    QMenu* m_FileMenuItem = nullptr;
    QAction* m_FileRestoreMenuItem = nullptr;
    QAction* m_FileUpgradeMenuItem = nullptr;
    QAction* m_FileExitMenuItem = nullptr;
    QMenu* m_HelpMenuItem = nullptr;
    QAction* m_HelpAboutMenuItem = nullptr;
    QAction* m_HelpSupportReportMenuItem = nullptr;
    QToolBar* MenuToolBar = nullptr;
    QLabel* m_NameLabel = nullptr;
    QGroupBox* m_TargetInformationGroupBox = nullptr;
    QLabel* m_TargetRadioLabel = nullptr;
    QLabel* m_TargetSeriesLabel = nullptr;
    QLabel* m_TargetReleaseLabel = nullptr;
    QLabel* m_TargetUpgradeTypeLabel = nullptr;
    QLabel* PortableXPicture = nullptr;
    QLabel* PortableGPicture = nullptr;
    QLabel* MobileXPicture = nullptr;
    QLabel* MobileGPicture = nullptr;
    QGroupBox* m_CodeUpdateGroupBox = nullptr;
    PortComboBox* m_ComportComboBox = nullptr;
    QLabel* m_UpgradeTypeLabel = nullptr;
    QRadioButton* m_ApplicationRadioButton = nullptr;
    QRadioButton* m_BootRadioButton = nullptr;
    QLabel* m_StatusLabel = nullptr;
    QProgressBar* m_ProgressBar = nullptr;
    QPushButton* m_StartButton = nullptr;
    QGroupBox* m_TargetVersionInfoGroupBox = nullptr;
    QPushButton* m_RetrieveVersionInfoButton = nullptr;
    QLabel* FileVersionLabel = nullptr;
    QLabel* DSPVersionLabel = nullptr;
    QLabel* HWControllerVersionHeadingLabel = nullptr;
    QLabel* HWControllerVersionLabel = nullptr;
    QLabel* HWRevisionLabel = nullptr;
    QLabel* SerialNumberLabel = nullptr;
    QLabel* BootLoadVersionLabel = nullptr;
    QLabel* SEMVersionLabel = nullptr;
    QLabel* CordavoVersionLabel = nullptr;
    QLabel* KesmetVersionLabel = nullptr;
    QToolButton* m_ToggleVersionInfoSpeedButton = nullptr;
    // The run's details under the status, folded until the toggle opens them.
    QToolButton* m_DetailsToggleButton = nullptr;
    QWidget* m_DetailsArea = nullptr;
    QTreeWidget* m_DetailsList = nullptr;
    QPushButton* m_OpenBackupFolderButton = nullptr;

  signals:
    // The status line changed (what SetStatus showed).
    void statusChanged(const QString& text);
    // The port list was scanned again (at start, before a port is opened, on hot-plug).
    void portsScanned();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    class WidgetProgressBar;

    void BuildMenus();
    void BuildControls();
    void FitClient();
    QGroupBox* BuildTargetGroup(QWidget* parent);
    QGroupBox* BuildTransferGroup(QWidget* parent);
    QGroupBox* BuildVersionGroup(QWidget* parent);
    void FillPortList();
    void SetNameAndRelease(const std::string& programFilePath);
    void ShowPackageLabels(const PackageResources& package);
    void ShowPicture();
    void ToggleVersionPane();
    QWidget* BuildDetailsArea(QWidget* parent);
    int ShowModal(QDialog& dialog);
    // Start and Retrieve run the logic to its end inside their handler; a close asked for by a
    // signal waits until the last of them has returned.
    class HandlerScope;

    // --- Event handlers ---
    void m_FileRestoreMenuItemClick();
    void m_FileUpgradeMenuItemClick();
    // Restore and Upgrade hold the port: Start, Retrieve and the two items wait.
    void EnableRecoveryItems(bool enabled);
    void m_FileExitMenuItemClick();
    void m_HelpAboutMenuItemClick();
    void m_HelpSupportReportMenuItemClick();
    void m_ToggleVersionInfoSpeedButtonClick();
    void m_DetailsToggleButtonClick();
    void m_OpenBackupFolderButtonClick();
    void m_ComportComboBoxChange(int index);
    void m_ApplicationRadioButtonClick();
    void m_BootRadioButtonClick();
    void m_StartButtonClick();
    void m_RetrieveVersionInfoButtonClick();

    QWidget* client_ = nullptr;        // holds every control; the window's edge cuts the pane off
    WindowReportSource reportSource_;  // what Help > Save Support Report... adds to the traces
    std::filesystem::path journalPath_;
    std::uint8_t m_VersionInfoShown = 1;
    int runningHandlers_ = 0;
    bool closeRequested_ = false;
    std::filesystem::path backupFolder_;  // where the last run's backups are (empty: none)
    std::function<void(const std::filesystem::path&)> openFolder_;

    // The platform the update logic runs on.
    QtMessagePump pump_;
    QtIntervalTimer m_CommTimer;
    QtIntervalTimer ProgressBarTimer;
    QtPortComponent ApdComPort;
    ComponentDownloadClock componentClock_;
    ScaledDownloadClock clock_;
    std::unique_ptr<WidgetProgressBar> progress_;
    std::unique_ptr<UpdaterPlatform> platform_;
    std::unique_ptr<CodeUpdater> updater_;
    PortWatch* portWatch_ = nullptr;
};
