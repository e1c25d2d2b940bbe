#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/core/RadioCodeplug.h"
#include "app/journal/JournalRow.h"

// Putting a saved codeplug back into a radio: which radio is on the port, which of its backups
// fit it, and the write itself, verified and journalled. Shared by `quenta codeplug restore`
// and the window's Restore Codeplug.

// The radio's serial number and the codeplug format its firmware expects, on a port the
// updater has opened (OpenSelectedPort(true)).
struct RadioIdentity {
    bool ok = false;
    std::string error;  // one line for the user when not ok
    std::string serial;
    std::uint8_t format[2] = {0, 0};
    std::string FormatText() const;
};
RadioIdentity ReadRadioIdentity(CodeUpdater& updater);

// One saved codeplug of a radio and the run that saved it.
struct CodeplugBackupEntry {
    std::filesystem::path path;
    std::string saved;   // when, in UTC as the journal writes times
    std::string format;  // "5.10"
    // The journal row of the update (or upgrade) that saved it; id 0 when the journal does not
    // know the file.
    JournalRow run;
    // The run's converted codeplug, the one it wrote or meant to write (else: as read).
    bool converted = false;
    // The run did not end with a verified codeplug, and no later run on this radio did.
    bool unfinished = false;
    // "2026-12-08T08:15:00Z, format 5.10, converted by update 12 (failed, unfinished)".
    std::string Describe() const;
};

// The backups of serial in folder, newest first, matched with rows of the journal. A folder an
// older run left open to others is narrowed to the owner on the way (NarrowBackupFolder).
std::vector<CodeplugBackupEntry> ListCodeplugBackups(const std::filesystem::path& folder,
                                                     const std::string& serial,
                                                     const std::vector<JournalRow>& rows);
// The same with the rows of the journal at journal (none when it cannot be read).
std::vector<CodeplugBackupEntry> ListCodeplugBackups(const std::filesystem::path& folder,
                                                     const std::string& serial,
                                                     const std::filesystem::path& journal);
// The newest entry in format (entries newest first), or nullptr.
const CodeplugBackupEntry* NewestBackupInFormat(const std::vector<CodeplugBackupEntry>& entries,
                                                const std::string& format);

// WriteRadioCodeplug with progress, as a journal run of its own: the row (kind, the file and
// its SHA-256) goes in before the port is opened and is completed with the outcome; the port is
// closed again at the end. recorder may be null (not journalled).
RadioCodeplugResult JournalledCodeplugWrite(CodeUpdater& updater, UpdaterView& view,
                                            UpdateRecorder* recorder, const char* kind,
                                            const std::filesystem::path& file,
                                            const std::vector<std::uint8_t>& codeplug,
                                            bool showProgress = true,
                                            const std::string& expectedSerial = {});
