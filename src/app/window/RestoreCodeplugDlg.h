#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "app/core/CodeplugRestore.h"

class QListWidget;
class QPushButton;
class CodeUpdater;
class UpdaterView;
class UpdateRecorder;

// File > Restore Codeplug...: the backups of the connected radio, newest first, with when they
// were saved, their format and the run they came from (the one of an unfinished update marked).
// Only those in the format the radio expects can be chosen; the newest of them is preselected.
class RestoreCodeplugDlg : public QDialog {
    Q_OBJECT

  public:
    RestoreCodeplugDlg(const RadioIdentity& radio, std::vector<CodeplugBackupEntry> entries,
                       QWidget* parent = nullptr);

    // The entry chosen (nullptr when none can be).
    const CodeplugBackupEntry* Chosen() const;

    QListWidget* m_BackupList = nullptr;
    QPushButton* m_RestoreButton = nullptr;
    QPushButton* m_CancelButton = nullptr;

  private:
    std::vector<CodeplugBackupEntry> entries_;
};

// What the window's recovery items need of it.
struct CodeplugRecoverySource {
    CodeUpdater* updater = nullptr;
    UpdaterView* view = nullptr;
    UpdateRecorder* recorder = nullptr;  // may be null: not journalled
    std::filesystem::path backupDirectory;
    std::filesystem::path journal;  // to name the runs the backups came from (may be empty)
    // Shows a dialog modally the way the window shows its own (QDialog::Accepted when chosen).
    std::function<int(QDialog&)> showModal;
};

// Reads the connected radio's serial number and format, lets the user choose one of its backups
// and writes it, with progress, read back and verified. Messages through the view.
void RestoreCodeplugFromWindow(QWidget* parent, const CodeplugRecoverySource& source);
