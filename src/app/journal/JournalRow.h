#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One run in the update journal: an update, a codeplug write or a restore. Times are UTC in
// ISO 8601 ("2026-12-08T08:55:01Z"); empty text is an unknown value.
struct JournalRow {
    std::int64_t id = 0;  // 0 until the row is in the journal
    std::string kind;     // "update", "codeplug-write", "restore"
    std::string started;
    std::string ended;
    std::string state = "pending";  // "pending", "done", "failed", "stopped"
    std::string phase;              // the last phase the run reached
    std::string port;
    std::string device;
    std::string serial;
    std::string formatBefore;  // the codeplug's format as read from the radio
    std::string formatAfter;   // the format the radio expects (and was written)
    std::string program;
    std::string release;
    std::string status;  // the last status line
    int linkResult = -1;
    int codeplugResult = -1;
    std::string backupRead;
    std::string backupReadSha256;
    std::string backupConverted;
    std::string backupConvertedSha256;
    bool codeplugVerified = false;
    int codeplugWrites = 0;  // writes of the codeplug this run made (each one read back)
    // JSON list: {"image", "bytes", "seconds", "baud"} per image sent, its data bytes and the
    // time from its first command to its last.
    std::string images;
    // JSON list: {"phase", "seconds"} per phase in the order reached; the last one's time
    // runs until the row is recorded again.
    std::string phases;
};

// Where the update logic hands its row whenever it changes: at the start, at each phase and
// at the end. A journal that cannot be written never stops the run that records in it.
class UpdateRecorder {
  public:
    virtual ~UpdateRecorder() = default;
    // Inserts the row (id 0, and sets its id) or updates it.
    virtual void Record(JournalRow& row) = 0;
    // The rows of the radio with this serial number, newest first, so that a run can find
    // what an earlier one left unfinished; false when the journal cannot be read.
    virtual bool RowsOf(const std::string& /*serial*/, std::vector<JournalRow>& rows) {
        rows.clear();
        return false;
    }
};

// The current time as the journal writes it.
std::string JournalTimeNow();
