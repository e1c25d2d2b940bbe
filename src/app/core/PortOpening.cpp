// Opening and releasing the selected COM port: the direct serial device, or for the mobile
// family the interface-box probe and the port component in RS-485 mode.
#include <unistd.h>

#include "app/core/CodeUpdater.h"
#include "app/core/UpdaterTexts.h"
#include "link/TargetKinds.h"
#include "serial/PortAvailability.h"

namespace {

constexpr int kIdentifyBaud = 19200;
constexpr int kDownloadBaud = 115200;
constexpr std::uint8_t kMobileFamily = 1;

bool Series1Connection(TargetKind kind) {
    return TargetKindInfo(kind).series1Connection;
}

std::string SerialLayerCheck(int comNumber) {
    const serial::OpenFailure check = serial::CheckComPort(comNumber);
    if (serial::IsAvailable(check))
        return {};
    std::string line = serial::DescribeOpenFailure(check);
    return line.empty() ? std::string("not available") : line;
}

}  // namespace

void CodeUpdater::ScanPorts() {
    for (int n = 1; n <= 64; ++n) {
        std::string why = platform_.checkPort ? platform_.checkPort(n) : SerialLayerCheck(n);
        const int state = why.empty() ? 2 : 0;
        m_PortPresent[static_cast<std::size_t>(n - 1)] = state;
        m_PortState[static_cast<std::size_t>(n)] = state;
        portDetail_[static_cast<std::size_t>(n - 1)] = std::move(why);
    }
    view_.PortsScanned();
}

bool CodeUpdater::IsMultiProcessor() const {
    const long processors =
        platform_.processorCount ? platform_.processorCount() : ::sysconf(_SC_NPROCESSORS_ONLN);
    return processors > 1;
}

std::string CodeUpdater::PortName() const {
    return "COM" + std::to_string(view_.SelectedPortIndex() + 1);
}

void CodeUpdater::ShowOpenFailure(int n, const std::string& errorText, const std::string& detail) {
    m_PortState[static_cast<std::size_t>(n)] = 2;
    m_Link.Close();
    std::string text = errorText;
    if (!detail.empty())
        text += "\n\n" + detail;
    view_.ShowMessage(updater_text::kTitleComPort, MessageIcon::kError, text);
}

bool CodeUpdater::OpenSelectedPort(bool retrieveOnly) {
    ScanPorts();
    const int n = view_.SelectedPortIndex() + 1;
    if (n < 1 || n > 64 || m_PortState[static_cast<std::size_t>(n)] != 2) {
        std::string text = updater_text::kPortNotAvailable;
        const std::string detail = PortDetail(n - 1);
        if (!detail.empty())
            text += "\n\n" + detail;
        view_.ShowMessage(updater_text::kTitleComPort, MessageIcon::kError, text);
        return false;
    }
    m_PortState[static_cast<std::size_t>(n)] = 1;
    if (m_Attributes.RadioFamily != kMobileFamily)
        return OpenDirect(n, retrieveOnly);
    switch (ProbeConnection(n)) {
        case Route::kDirectLine:
            m_Link.SetFramed(true);
            m_Link.SetEnabled(true);
            if (!retrieveOnly && !Series1Connection(m_TargetKind))
                m_Link.ChangeBaud(kDownloadBaud);
            return true;
        case Route::kPortComponent:
            if (IsMultiProcessor()) {
                view_.ShowMessage(updater_text::kTitleComPort, MessageIcon::kError,
                                  updater_text::kMultiCore);
                return false;
            }
            if (!Series1Connection(m_TargetKind))
                m_Link.Close();
            return OpenThroughPortComponent(n, retrieveOnly);
        case Route::kNone:
            break;
    }
    return false;
}

void CodeUpdater::ClosePort() {
    m_Link.Close();
    const int n = view_.SelectedPortIndex() + 1;
    if (n >= 1 && n <= 64)
        m_PortState[static_cast<std::size_t>(n)] = 2;
}

bool CodeUpdater::OpenDirect(int n, bool retrieveOnly) {
    std::string errorText;
    if (!m_Link.OpenDevice(n, kIdentifyBaud, false, errorText)) {
        ShowOpenFailure(n, errorText, m_Link.OpenErrorDetail());
        return false;
    }
    m_Link.SetFramed(true);
    m_Link.SetEnabled(true);
    if (!retrieveOnly)
        m_Link.ChangeBaud(kDownloadBaud);
    return true;
}

CodeUpdater::Route CodeUpdater::ProbeConnection(int n) {
    if (Series1Connection(m_TargetKind) && !IsMultiProcessor())
        return Route::kPortComponent;
    std::string errorText;
    if (!m_Link.OpenDevice(n, kIdentifyBaud, false, errorText)) {
        ShowOpenFailure(n, errorText, m_Link.OpenErrorDetail());
        return Route::kNone;
    }
    m_Link.SetFramed(true);
    m_Link.SetEnabled(true);
    m_Link.PrepareTimeout(kProbeTimeoutMs);
    if (Series1Connection(m_TargetKind)) {
        m_MultiCoreDirect = 1;
        return Route::kDirectLine;
    }
    if (m_Link.ProbeInterfaceBox())
        return Route::kDirectLine;
    // A line that died during the probe says nothing of a port component behind it: the run
    // ends here, and the status line says that the port went away.
    return m_Link.PortWentAway() ? Route::kNone : Route::kPortComponent;
}

bool CodeUpdater::OpenThroughPortComponent(int n, bool retrieveOnly) {
    PortComponent& component = platform_.component;
    component.SetComNumber(n);
    component.SetRS485Mode(true);
    std::string errorText;
    if (!m_Link.OpenComponent(component, errorText)) {
        ShowOpenFailure(n, errorText, component.LastErrorText());
        return false;
    }
    m_Link.SetEnabled(true);
    m_Link.SetFramed(true);
    m_Link.SetLocalBaud(kIdentifyBaud);
    if (Series1Connection(m_TargetKind))
        m_Link.ChangeBaud(kIdentifyBaud);
    else if (!retrieveOnly)
        m_Link.ChangeBaud(kDownloadBaud);
    return true;
}
