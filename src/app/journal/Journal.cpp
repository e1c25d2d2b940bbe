#include "app/journal/Journal.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>

#include "common/HomeFolder.h"
#include "common/PrivateFolders.h"

namespace {

// Another process may hold the write lock for the length of one short transaction; waiting
// this long means something is wrong with it, not that it is busy.
constexpr int kBusyTimeoutMs = 5000;
// A set-up refused as locked is tried again this often, this long apart.
constexpr int kSetUpAttempts = 20;
constexpr int kSetUpRetryMs = 50;
// 2 added codeplug_writes, 3 phases; an older journal gains the columns when it is opened.
constexpr int kSchemaVersion = 3;

constexpr const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS runs ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL, started TEXT NOT NULL,"
    " ended TEXT NOT NULL DEFAULT '', state TEXT NOT NULL, phase TEXT NOT NULL DEFAULT '',"
    " port TEXT NOT NULL DEFAULT '', device TEXT NOT NULL DEFAULT '',"
    " serial TEXT NOT NULL DEFAULT '', format_before TEXT NOT NULL DEFAULT '',"
    " format_after TEXT NOT NULL DEFAULT '', program TEXT NOT NULL DEFAULT '',"
    " release TEXT NOT NULL DEFAULT '', status TEXT NOT NULL DEFAULT '',"
    " link_result INTEGER NOT NULL DEFAULT -1, codeplug_result INTEGER NOT NULL DEFAULT -1,"
    " backup_read TEXT NOT NULL DEFAULT '', backup_read_sha256 TEXT NOT NULL DEFAULT '',"
    " backup_converted TEXT NOT NULL DEFAULT '',"
    " backup_converted_sha256 TEXT NOT NULL DEFAULT '',"
    " codeplug_verified INTEGER NOT NULL DEFAULT 0, images TEXT NOT NULL DEFAULT '[]',"
    " codeplug_writes INTEGER NOT NULL DEFAULT 0, phases TEXT NOT NULL DEFAULT '[]');"
    "CREATE INDEX IF NOT EXISTS runs_serial ON runs(serial);";

// The columns after id, in the order the statements bind them.
constexpr const char kColumns[] =
    "kind, started, ended, state, phase, port, device, serial, format_before, format_after,"
    " program, release, status, link_result, codeplug_result, backup_read, backup_read_sha256,"
    " backup_converted, backup_converted_sha256, codeplug_verified, images, codeplug_writes,"
    " phases";
constexpr int kColumnCount = 23;

// The columns each version added, for a journal an earlier version made.
struct AddedColumn {
    int version;
    const char* sql;
};
constexpr AddedColumn kAddedColumns[] = {
    {2, "ALTER TABLE runs ADD COLUMN codeplug_writes INTEGER NOT NULL DEFAULT 0;"},
    {3, "ALTER TABLE runs ADD COLUMN phases TEXT NOT NULL DEFAULT '[]';"},
};

// A prepared statement, finalized when it goes.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }
    explicit operator bool() const { return stmt_ != nullptr; }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

void BindText(sqlite3_stmt* s, int i, const std::string& text) {
    sqlite3_bind_text(s, i, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void BindRow(sqlite3_stmt* s, const JournalRow& r) {
    int i = 1;
    for (const std::string* text :
         {&r.kind, &r.started, &r.ended, &r.state, &r.phase, &r.port, &r.device, &r.serial,
          &r.formatBefore, &r.formatAfter, &r.program, &r.release, &r.status})
        BindText(s, i++, *text);
    sqlite3_bind_int(s, i++, r.linkResult);
    sqlite3_bind_int(s, i++, r.codeplugResult);
    for (const std::string* text :
         {&r.backupRead, &r.backupReadSha256, &r.backupConverted, &r.backupConvertedSha256})
        BindText(s, i++, *text);
    sqlite3_bind_int(s, i++, r.codeplugVerified ? 1 : 0);
    BindText(s, i++, r.images);
    sqlite3_bind_int(s, i++, r.codeplugWrites);
    BindText(s, i++, r.phases);
}

std::string ColumnText(sqlite3_stmt* s, int i) {
    const unsigned char* text = sqlite3_column_text(s, i);
    return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
}

JournalRow ReadRow(sqlite3_stmt* s) {
    JournalRow r;
    r.id = sqlite3_column_int64(s, 0);
    int i = 1;
    for (std::string* text :
         {&r.kind, &r.started, &r.ended, &r.state, &r.phase, &r.port, &r.device, &r.serial,
          &r.formatBefore, &r.formatAfter, &r.program, &r.release, &r.status})
        *text = ColumnText(s, i++);
    r.linkResult = sqlite3_column_int(s, i++);
    r.codeplugResult = sqlite3_column_int(s, i++);
    for (std::string* text :
         {&r.backupRead, &r.backupReadSha256, &r.backupConverted, &r.backupConvertedSha256})
        *text = ColumnText(s, i++);
    r.codeplugVerified = sqlite3_column_int(s, i++) != 0;
    r.images = ColumnText(s, i++);
    r.codeplugWrites = sqlite3_column_int(s, i++);
    r.phases = ColumnText(s, i++);
    return r;
}

}  // namespace

std::string JournalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

Journal::~Journal() {
    sqlite3_close(db_);
}

std::filesystem::path Journal::DefaultPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::filesystem::path base;
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else {
        const std::string home = HomeFolder();
        base = std::filesystem::path(home.empty() ? "." : home) / ".local" / "state";
    }
    return base / "quenta" / "journal.sqlite3";
}

bool Journal::Exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = path_.string() + ": " + (message != nullptr ? message : sqlite3_errmsg(db_));
    sqlite3_free(message);
    return false;
}

bool Journal::Open(const std::filesystem::path& path, std::string& error) {
    path_ = path;
    if (!MakePrivateFolders(path.parent_path(), error))
        return false;
    // Created here rather than by SQLite, so that it is private from its first byte; the
    // log files SQLite adds beside it take its mode.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0) {
        error = path.string() + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    if (!OpenDatabase(path, error))
        return false;
    const std::string version = "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    // Two processes that set up a new journal at the same moment can both want the database
    // to themselves (the switch to the write-ahead log, the schema); SQLite then answers one of
    // them "locked" at once instead of waiting, so the set-up is tried again a few times.
    for (int attempt = 1;; ++attempt) {
        if (Exec("PRAGMA journal_mode = WAL;", error) && Exec(kSchema, error) && Upgrade(error) &&
            Exec(version.c_str(), error))
            return true;
        const int code = sqlite3_errcode(db_) & 0xff;
        if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || attempt == kSetUpAttempts)
            break;
        sqlite3_sleep(kSetUpRetryMs);
    }
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
}

bool Journal::OpenDatabase(const std::filesystem::path& path, std::string& error) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        error = path.string() + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "cannot open");
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    return true;
}

JournalOpen Journal::OpenExisting(const std::filesystem::path& path, std::string& error) {
    path_ = path;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return JournalOpen::kMissing;
    if (ec) {
        error = path.string() + ": " + ec.message();
        return JournalOpen::kFailed;
    }
    // A journal made by a run that was cut off before its first row is still empty.
    if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, ec) == 0 &&
        !ec)
        return JournalOpen::kMissing;
    // Read-write when it may (a reader of a write-ahead log takes part in its index), read-only
    // otherwise; never created.
    if (!OpenDatabase(path, error))
        return JournalOpen::kFailed;
    // Reading the schema is what finds a file that is not a database.
    if (!Exec("SELECT count(*) FROM runs;", error) || !Upgrade(error)) {
        sqlite3_close(db_);
        db_ = nullptr;
        return JournalOpen::kFailed;
    }
    return JournalOpen::kOpen;
}

bool Journal::Upgrade(std::string& error) {
    int version = kSchemaVersion;
    {
        Statement s(db_, "PRAGMA user_version;");
        if (s && sqlite3_step(s.get()) == SQLITE_ROW)
            version = sqlite3_column_int(s.get(), 0);
    }
    // 0 is a journal the schema above has just made whole.
    if (version < 1 || version >= kSchemaVersion)
        return true;
    for (const AddedColumn& added : kAddedColumns) {
        if (added.version <= version)
            continue;
        // Another process may have added the column since the version was read.
        std::string failure;
        if (!Exec(added.sql, failure) && failure.find("duplicate column") == std::string::npos) {
            error = failure;
            return false;
        }
    }
    const std::string current = "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    return Exec(current.c_str(), error);
}

bool Journal::Insert(JournalRow& row, std::string& error) {
    std::string marks = "?";
    for (int i = 1; i < kColumnCount; ++i)
        marks += ", ?";
    Statement s(db_, std::string("INSERT INTO runs (") + kColumns + ") VALUES (" + marks + ");");
    if (s) {
        BindRow(s.get(), row);
        if (sqlite3_step(s.get()) == SQLITE_DONE) {
            row.id = sqlite3_last_insert_rowid(db_);
            return true;
        }
    }
    error = path_.string() + ": " + sqlite3_errmsg(db_);
    return false;
}

bool Journal::Update(const JournalRow& row, std::string& error) {
    std::string sets;
    const std::string columns = kColumns;
    std::size_t from = 0;
    while (from < columns.size()) {
        std::size_t comma = columns.find(',', from);
        if (comma == std::string::npos)
            comma = columns.size();
        std::string name = columns.substr(from, comma - from);
        name.erase(0, name.find_first_not_of(' '));
        sets += (sets.empty() ? "" : ", ") + name + " = ?";
        from = comma + 1;
    }
    Statement s(db_, "UPDATE runs SET " + sets + " WHERE id = ?;");
    if (s) {
        BindRow(s.get(), row);
        sqlite3_bind_int64(s.get(), kColumnCount + 1, row.id);
        if (sqlite3_step(s.get()) == SQLITE_DONE)
            return true;
    }
    error = path_.string() + ": " + sqlite3_errmsg(db_);
    return false;
}

bool Journal::Rows(const std::string& serial, std::vector<JournalRow>& rows, std::string& error) {
    rows.clear();
    Statement s(db_, std::string("SELECT id, ") + kColumns + " FROM runs" +
                         (serial.empty() ? "" : " WHERE serial = ?") +
                         " ORDER BY started DESC, id DESC;");
    if (s) {
        if (!serial.empty())
            BindText(s.get(), 1, serial);
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(s.get())) == SQLITE_ROW)
            rows.push_back(ReadRow(s.get()));
        if (step == SQLITE_DONE)
            return true;
    }
    error = path_.string() + ": " + sqlite3_errmsg(db_);
    return false;
}

JournalRecorder::JournalRecorder(std::filesystem::path path,
                                 std::function<void(const std::string&)> report)
    : path_(std::move(path)), report_(std::move(report)) {}

void JournalRecorder::Problem(const std::string& line) {
    if (reported_)
        return;
    reported_ = true;
    if (report_)
        report_("The update journal cannot be written (" + line +
                "); the update goes on without it.");
}

void JournalRecorder::SetProgram(std::string program, std::string release) {
    program_ = std::move(program);
    release_ = std::move(release);
}

bool JournalRecorder::Opened() {
    if (!tried_) {
        tried_ = true;
        std::string error;
        if (!journal_.Open(path_, error))
            Problem(error);
    }
    return journal_.IsOpen();
}

void JournalRecorder::Record(JournalRow& row) {
    if (row.program.empty()) {
        row.program = program_;
        row.release = release_;
    }
    if (!Opened())
        return;
    std::string error;
    const bool ok = row.id == 0 ? journal_.Insert(row, error) : journal_.Update(row, error);
    if (!ok)
        Problem(error);
}

bool JournalRecorder::RowsOf(const std::string& serial, std::vector<JournalRow>& rows) {
    rows.clear();
    std::string error;
    if (serial.empty() || !Opened())
        return false;
    if (journal_.Rows(serial, rows, error))
        return true;
    Problem(error);
    return false;
}
