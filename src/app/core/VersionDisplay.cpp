// Retrieve (the version pane) and the check that the connected radio is the one the package
// is for.
#include "app/core/CodeUpdater.h"
#include "app/core/TargetKindFromRadio.h"
#include "app/core/UpdaterTexts.h"
#include "link/TargetKinds.h"
#include "link/VersionRecord.h"

namespace {

// A major boot version of 7 stands for any series.
constexpr std::uint8_t kAnySeriesMajor = 7;

}  // namespace

TargetKind TargetKindFromRadio(std::uint8_t family, std::uint8_t major, std::uint8_t minor) {
    if (family == 0) {
        if (major == 4 || major == 7)
            return 6;
        if (major == 6)
            return 0;
        return 4;
    }
    if (family == 1) {
        if (major == 4)
            return 7;
        if (major == 6)
            return 8;
        if (major > 1 || (major == 1 && minor > 8))
            return 5;
        return 1;
    }
    return 0;
}

void CodeUpdater::m_RetrieveVersionInfoButtonClick() {
    if (m_UpdateInProgress != 0 || sequenceActive_)
        return;
    if (OpenSelectedPort(true)) {
        view_.SetRetrieveEnabled(false);
        VersionRecord record;
        const LinkResult result = m_Link.RetrieveVersionRecord(m_TargetKind, record, true);
        if (version_text::IsShowable(result)) {
            view_.ShowVersionInfo(record, m_TargetKind);
        } else {
            view_.ShowMessage(updater_text::kTitleCommunication, MessageIcon::kError,
                              updater_text::kRetrieveFailed);
        }
        view_.SetRetrieveEnabled(true);
    }
    ClosePort();
}

void CodeUpdater::ReportSeriesMismatch(std::uint8_t family, std::uint8_t major) {
    const std::string text = std::string(updater_text::kSeriesMismatch) + "Radio requires a " +
                             RadioFamilyName(family) + "_Series_" + std::to_string(major) +
                             " version of Quenta Code Updater.";
    view_.ShowMessage(updater_text::kTitleUpdater, MessageIcon::kError, text);
}

bool CodeUpdater::CheckTargetRadio() {
    if (TargetKindInfo(m_TargetKind).skipsTargetCheck)
        return true;
    std::uint8_t boot[2] = {0, 0};
    const LinkResult result = m_Link.ReadBootVersion(m_TargetKind, boot);
    if (result == LinkResult::kSuccess) {
        const TargetKind radioKind =
            TargetKindFromRadio(m_Attributes.RadioFamily, boot[0], boot[1]);
        const bool seriesMatches =
            boot[0] == static_cast<std::uint8_t>(m_Attributes.Series) || boot[0] == kAnySeriesMajor;
        if (radioKind == m_TargetKind && seriesMatches)
            return true;
        ReportSeriesMismatch(m_Attributes.RadioFamily, boot[0]);
        SetStatus(updater_text::kIdle);
        progress_.SetPosition(0);
        return false;
    }
    if (result == LinkResult::kNoBootInfo) {
        SetStatus(updater_text::kNoBootInfo);
        return true;
    }
    SetStatus(updater_text::kTargetReadError);
    return false;
}
