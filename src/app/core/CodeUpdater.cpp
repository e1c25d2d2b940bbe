#include "app/core/CodeUpdater.h"

#include <algorithm>
#include <system_error>

#include "app/core/UpdaterTexts.h"

namespace {

// EndUpdate lets the last bytes of a cancelled exchange drain before the images go.
constexpr int kEndUpdateSettleMs = 50;
constexpr int kProgressMaximum = 100;

std::unique_ptr<LinkDeviceFactory> DeviceFactoryOf(const UpdaterPlatform& platform) {
    return platform.makeDeviceFactory ? platform.makeDeviceFactory() : MakeSerialDeviceFactory();
}

}  // namespace

CodeUpdater::CodeUpdater(UpdaterView& view, UpdaterPlatform& platform,
                         const PackageResources& package)
    : view_(view),
      platform_(platform),
      package_(package),
      m_Link(platform.pump, DeviceFactoryOf(platform)),
      progress_(view, [&platform] { return platform.pump.NowMilliseconds(); }),
      meter_([this](const ImageCrossing& crossing) { JournalImageCrossed(crossing); }) {
    m_Link.SetFrameWatcher(
        [this](char direction, const std::uint8_t* bytes, int count, std::int64_t ms) {
            meter_.OnFrame(direction, bytes, count, ms);
        });
}

CodeUpdater::~CodeUpdater() {
    platform_.progressTimer.SetEnabled(false);
    platform_.progressTimer.SetOnTimer(nullptr);
    m_Link.SetFrameWatcher({});
    m_Link.Close();
}

void CodeUpdater::Initialise() {
    m_Link.SetEnabled(false);
    m_LoaderFileName.clear();
    m_CodeFileName.clear();
    m_UpdateInProgress = 0;
    m_PasswordAccepted = 0;
    m_MultiCoreDirect = 0;
    m_UseBootTwo = 0;
    ReadPackageAttributes(package_, m_Attributes);
    m_TargetKind = TargetKindFromPackage(m_Attributes.RadioFamily, m_Attributes.Series,
                                         m_Attributes.KindBySeries == 0);
    m_AutoBootUpdate = ((m_Attributes.Series == 4 || m_Attributes.Series == 6) &&
                        m_Attributes.UpgradeType == kUpgradeApplicationBoot)
                           ? 1
                           : 0;
    m_Link.AttachTimer(platform_.commTimer);
    // A radio that falls silent or stays busy ends the exchange rather than holding the update
    // until Stop.
    m_Link.SetQuietReceiveTimesOut(true);
    m_Link.SetBusyRepeatLimitMs(platform_.busyRepeatLimitMs);
    platform_.commTimer.SetEnabled(false);
    platform_.progressTimer.SetEnabled(false);
    platform_.progressTimer.SetOnTimer([this] { ProgressBarTimerTimer(); });
    ScanPorts();
}

bool CodeUpdater::PortPresent(int index) const {
    return index >= 0 && index < 64 && m_PortPresent[static_cast<std::size_t>(index)] == 2;
}

std::string CodeUpdater::PortDetail(int index) const {
    if (index < 0 || index >= 64)
        return {};
    return portDetail_[static_cast<std::size_t>(index)];
}

bool CodeUpdater::ShowsUpgradeChoice() const {
    return m_Attributes.UpgradeType == kUpgradeApplicationBoot && m_AutoBootUpdate == 0;
}

// --- Event handlers -------------------------------------------------------------------------

bool CodeUpdater::FormCloseQuery() {
    if (m_UpdateInProgress == 0)
        return true;
    if (!view_.AskYesNo(updater_text::kTitleConfirm, updater_text::kQuitWhileBusy))
        return false;
    stopRequested_ = true;
    EndUpdate(true);
    return true;
}

int CodeUpdater::m_ComportComboBoxChange(int index) {
    if (PortPresent(index))
        return index;
    for (int i = 0; i < 64; ++i) {
        if (PortPresent(i))
            return i;
    }
    return index;
}

void CodeUpdater::ApdComPortTriggerTimer(int handle) {
    m_Link.HandleTriggerTimer(handle);
}

void CodeUpdater::m_OnCommTimerTimer() {
    m_Link.HandleCommTimerTick();
}

void CodeUpdater::ProgressBarTimerTimer() {
    const int position = view_.ProgressPosition();
    if (position < kProgressMaximum)
        progress_.SetPosition(position + 1);
}

// --- Window operations ----------------------------------------------------------------------

void CodeUpdater::SetStatus(const std::string& text) {
    lastStatus_ = text;
    view_.SetStatus(text);
    if (m_Link.PortWentAway())
        view_.ShowStatusDetail(updater_text::kPortWentAway);
}

void CodeUpdater::BeginUpdate() {
    view_.ShowBusy(true);
    m_UpdateInProgress = 1;
}

void CodeUpdater::EndUpdate(bool deleteImages) {
    m_Link.SetEnabled(false);
    platform_.pump.Pause(kEndUpdateSettleMs);
    if (deleteImages)
        DeleteImages();
    view_.ShowBusy(false);
    m_UpdateInProgress = 0;
}

void CodeUpdater::DeleteImages() {
    std::error_code ignored;
    for (std::string* name : {&m_LoaderFileName, &m_CodeFileName}) {
        if (!name->empty())
            std::filesystem::remove(platform_.workingDirectory / *name, ignored);
        // Forgotten at once, so that a later Stop cannot delete a file of the same name that
        // another copy of the program has made since.
        name->clear();
    }
}

void CodeUpdater::StartProgressTimer(int intervalMs) {
    platform_.progressTimer.SetInterval(std::max(1, intervalMs));
    ProgressBar& bar = progress_;
    bar.SetMinimum(0);
    bar.SetMaximum(kProgressMaximum);
    bar.SetPosition(0);
    platform_.progressTimer.SetEnabled(true);
}

void CodeUpdater::StopProgressTimer() {
    platform_.progressTimer.SetEnabled(false);
    progress_.SetPosition(kProgressMaximum);
}
