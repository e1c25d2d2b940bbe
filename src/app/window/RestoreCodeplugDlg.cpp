#include "app/window/RestoreCodeplugDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/core/CodeUpdater.h"
#include "app/core/UpdaterTexts.h"
#include "common/FileBytes.h"
#include "transfer/TransferMessages.h"

namespace {

constexpr int kListWidth = 620;
constexpr int kListHeight = 220;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

RestoreCodeplugDlg::RestoreCodeplugDlg(const RadioIdentity& radio,
                                       std::vector<CodeplugBackupEntry> entries, QWidget* parent)
    : QDialog(parent), entries_(std::move(entries)) {
    setObjectName(QStringLiteral("RestoreCodeplugDlg"));
    setWindowTitle(QStringLiteral("Restore Codeplug"));
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(
        Q("Backups of the radio " + radio.serial +
          ", newest first. Its firmware expects codeplug format " + radio.FormatText() + "."),
        this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_BackupList = new QListWidget(this);
    m_BackupList->setObjectName(QStringLiteral("m_BackupList"));
    m_BackupList->setMinimumSize(kListWidth, kListHeight);
    layout->addWidget(m_BackupList);
    auto* buttons = new QDialogButtonBox(this);
    m_RestoreButton = buttons->addButton(QStringLiteral("&Restore"), QDialogButtonBox::AcceptRole);
    m_CancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    const CodeplugBackupEntry* newest = NewestBackupInFormat(entries_, radio.FormatText());
    for (const CodeplugBackupEntry& e : entries_) {
        auto* item = new QListWidgetItem(
            Q((e.unfinished ? "* " : "") + e.Describe() + "   " + e.path.filename().string()),
            m_BackupList);
        item->setToolTip(Q(e.path.string()));
        if (e.format != radio.FormatText())
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        if (&e == newest)
            m_BackupList->setCurrentItem(item);
    }
    m_RestoreButton->setEnabled(newest != nullptr);
    connect(m_BackupList, &QListWidget::itemDoubleClicked, this, [this] {
        if (Chosen() != nullptr)
            accept();
    });
}

const CodeplugBackupEntry* RestoreCodeplugDlg::Chosen() const {
    const int row = m_BackupList->currentRow();
    if (row < 0 || row >= static_cast<int>(entries_.size()) ||
        !(m_BackupList->item(row)->flags() & Qt::ItemIsSelectable))
        return nullptr;
    return &entries_[static_cast<std::size_t>(row)];
}

void RestoreCodeplugFromWindow(QWidget* parent, const CodeplugRecoverySource& source) {
    CodeUpdater& updater = *source.updater;
    UpdaterView& view = *source.view;
    const char* title = updater_text::kTitleUpdater;
    // The port is held only while the radio is read and written, not while the list is shown.
    if (!updater.OpenSelectedPort(true))
        return;
    const RadioIdentity radio = ReadRadioIdentity(updater);
    updater.ClosePort();
    if (!radio.ok) {
        view.ShowMessage(title, MessageIcon::kError,
                         "The radio's codeplug cannot be restored: " + radio.error + ".");
        return;
    }
    std::vector<CodeplugBackupEntry> entries =
        ListCodeplugBackups(source.backupDirectory, radio.serial, source.journal);
    if (entries.empty()) {
        view.ShowMessage(title, MessageIcon::kInformation,
                         "No codeplug of the radio " + radio.serial + " is saved in\n" +
                             source.backupDirectory.string());
        return;
    }
    RestoreCodeplugDlg dialog(radio, std::move(entries), parent);
    if (source.showModal(dialog) != QDialog::Accepted || dialog.Chosen() == nullptr)
        return;
    const CodeplugBackupEntry chosen = *dialog.Chosen();

    std::string bytes;
    int error = 0;
    const ReadFileResult read =
        ReadRegularFile(chosen.path.string(), kTransferImageBytes, bytes, error);
    if (read != ReadFileResult::kOk) {
        view.ShowMessage(
            title, MessageIcon::kError,
            ReadFileFailureText(read, error, chosen.path.string(), kTransferImageBytes));
        return;
    }
    const std::vector<std::uint8_t> codeplug(bytes.begin(), bytes.end());
    view.ShowBusy(true);
    const RadioCodeplugResult r = JournalledCodeplugWrite(
        updater, view, source.recorder, "restore", chosen.path, codeplug, true, radio.serial);
    view.ShowBusy(false);
    view.Progress().SetPosition(0);
    if (r.ok) {
        updater.SetStatus(updater_text::kDone);
        view.ShowMessage(title, MessageIcon::kInformation,
                         "The radio " + radio.serial + " holds the codeplug of\n" +
                             chosen.path.string() + "\nwritten, read back and verified.");
        return;
    }
    if (r.portNotOpened)
        return;  // the port's own message said why
    updater.SetStatus("The codeplug was not restored.");
    view.ShowMessage(title, MessageIcon::kError,
                     "The codeplug was not restored: " + r.error + ".\n\nThe codeplug is in\n" +
                         chosen.path.string());
}
