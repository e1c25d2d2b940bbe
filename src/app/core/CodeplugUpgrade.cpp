// The codeplug stage run on its own, for a radio that already runs its new firmware.
#include "app/core/CodeUpdater.h"
#include "app/core/UpdaterTexts.h"

CodeplugResult CodeUpdater::UpgradeCodeplug() {
    if (sequenceActive_ || m_UpdateInProgress != 0)
        return CodeplugResult::kNotReached;
    lastBackup_.clear();
    lastConverted_.clear();
    BeginSequence("upgrade");
    BeginUpdate();
    CodeplugResult result = CodeplugResult::kNotReached;
    // The port is opened as for reading the version: the radio talks at its start-up rate.
    if (!OpenSelectedPort(true)) {
        SetStatus(updater_text::kIdle);
    } else {
        restartWaits_ = false;
        result = CodeplugStageOnRadio();
        restartWaits_ = true;
        ShowCodeplugResult(result);
    }
    if (m_UpdateInProgress != 0)
        EndUpdate(false);
    EndSequence();
    return result;
}
