#pragma once

// THE SHAPE OF THE UPDATE LOGIC, agreed between the window, `quenta update` and the tests.
// The public operations below are fixed; members, private helpers and the files behind them
// are the implementer's. Everything runs on one thread; the waits run the message pump.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/core/UpdaterView.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/PackageAttributes.h"
#include "download/DownloadClock.h"
#include "link/Platform.h"
#include "link/RadioLink.h"

// The platform the update logic runs on: the program gives the Qt event loop, timers and port
// component; tests give a virtual or scaled clock.
struct UpdaterPlatform {
    MessagePump& pump;
    IntervalTimer& commTimer;      // m_CommTimer: the link's reply timeout on the direct device
    IntervalTimer& progressTimer;  // ProgressBarTimer
    PortComponent& component;      // ApdComPort
    DownloadClock& clock;          // erase waits and the 360-tick restart waits
    // Logical processors of this computer (IsMultiProcessor).
    std::function<int()> processorCount;
    // Where images are extracted (the current working directory in the program).
    std::filesystem::path workingDirectory;
    // Where codeplugs are saved before anything is written back.
    std::filesystem::path backupDirectory;
};

// The logic of the main window TCodeUpdaterMainDispForm: its state and every operation that is
// not drawing. The window (or another view) owns one and forwards its events to it.
class CodeUpdater {
  public:
    CodeUpdater(UpdaterView& view, UpdaterPlatform& platform, const PackageResources& package);
    ~CodeUpdater();
    CodeUpdater(const CodeUpdater&) = delete;
    CodeUpdater& operator=(const CodeUpdater&) = delete;

    // The logic steps of the window's construction: link reset and timer, flags,
    // ReadPackageAttributes, m_TargetKind, m_AutoBootUpdate, ScanPorts.
    void Initialise();

    // --- Event handlers ---
    void m_StartButtonClick();  // Start, and Stop while busy
    void m_RetrieveVersionInfoButtonClick();
    bool FormCloseQuery();  // true when the window may close
    // The list position to select after the user chose index (SelectFirstAvailablePort).
    int m_ComportComboBoxChange(int index);
    void ApdComPortTriggerTimer(int handle);
    void m_OnCommTimerTimer();
    void ProgressBarTimerTimer();

    // --- State the window shows ---
    const ResourceAttributes& Attributes() const { return m_Attributes; }
    TargetKind TargetKindCode() const { return m_TargetKind; }
    bool AutoBootUpdate() const { return m_AutoBootUpdate != 0; }
    bool UpdateInProgress() const { return m_UpdateInProgress != 0; }
    // m_PortPresent of list position index (0..63) is 2.
    bool PortPresent(int index) const;
    // Upgrade type 3 without the automatic sequence: the Application/Boot choice is shown.
    bool ShowsUpgradeChoice() const;
    // The file the last codeplug backup was saved to (empty when none this run).
    const std::filesystem::path& LastBackup() const { return lastBackup_; }
    RadioLink& Link() { return m_Link; }

  private:
    UpdaterView& view_;
    UpdaterPlatform& platform_;
    const PackageResources& package_;
    RadioLink m_Link;
    ResourceAttributes m_Attributes;
    TargetKind m_TargetKind = 0;
    std::array<int, 64> m_PortPresent{};
    std::array<int, 65> m_PortState{};  // indexed by port number 1..64
    std::string m_LoaderFileName;
    std::string m_CodeFileName;
    std::uint8_t m_UpdateInProgress = 0;
    std::uint8_t m_PasswordAccepted = 0;
    std::uint8_t m_UseBootTwo = 0;
    std::uint8_t m_AutoBootUpdate = 0;
    std::uint8_t m_MultiCoreDirect = 0;
    std::filesystem::path lastBackup_;
};
