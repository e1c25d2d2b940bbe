#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/journal/JournalRow.h"

struct sqlite3;

enum class JournalOpen {
    kOpen,
    kMissing,  // no journal yet: no run was ever recorded there
    kFailed,   // unreadable, or not a journal
};

// The update journal: an SQLite database of one row per run. Several processes may write at
// once (write-ahead log, a busy timeout). The folder is made 0700 and the file 0600: the rows
// name radios, backups and their checksums.
class Journal {
  public:
    Journal() = default;
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // $XDG_STATE_HOME/quenta/journal.sqlite3, else ~/.local/state/quenta/journal.sqlite3.
    static std::filesystem::path DefaultPath();

    // Opens (and creates) the journal; false with a line for the user.
    bool Open(const std::filesystem::path& path, std::string& error);
    // Opens a journal that is there, to read its rows; never makes one.
    JournalOpen OpenExisting(const std::filesystem::path& path, std::string& error);
    bool IsOpen() const { return db_ != nullptr; }

    // Inserts row and sets its id.
    bool Insert(JournalRow& row, std::string& error);
    bool Update(const JournalRow& row, std::string& error);
    // The rows, newest first; only those of serial when it is not empty.
    bool Rows(const std::string& serial, std::vector<JournalRow>& rows, std::string& error);

  private:
    // The file as a database, read-write, never through a symbolic link, waiting a while for
    // another process's lock; false with the reason in error.
    bool OpenDatabase(const std::filesystem::path& path, std::string& error);
    bool Exec(const char* sql, std::string& error);
    // Brings a journal an older version of the program made up to this version's columns.
    bool Upgrade(std::string& error);

    sqlite3* db_ = nullptr;
    std::filesystem::path path_;
};

// Records into the journal at path, opened at the first row. When it cannot be opened or
// written, report is called once with the reason and the run goes on unrecorded.
class JournalRecorder : public UpdateRecorder {
  public:
    JournalRecorder(std::filesystem::path path, std::function<void(const std::string&)> report);
    // The package's program name and release, written into rows that have none.
    void SetProgram(std::string program, std::string release);
    void Record(JournalRow& row) override;
    bool RowsOf(const std::string& serial, std::vector<JournalRow>& rows) override;

  private:
    // Opens the journal at the first use; false (said once) when it cannot be.
    bool Opened();
    void Problem(const std::string& line);

    std::filesystem::path path_;
    Journal journal_;
    bool tried_ = false;
    bool reported_ = false;
    std::string program_;
    std::string release_;
    std::function<void(const std::string&)> report_;
};
