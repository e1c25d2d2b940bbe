// The update journal as several processes use it: each writes its rows while the others do.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>

#include <set>

#include "TempDir.h"
#include "app/journal/Journal.h"
#include "app/journal/Sha256.h"

namespace {

constexpr int kRowsPerProcess = 40;

// Inserts kRowsPerProcess rows for serial and completes each; 0 when all went in.
int WriteRows(const std::string& path, const std::string& serial) {
    Journal journal;
    std::string error;
    if (!journal.Open(path, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (int i = 0; i < kRowsPerProcess; ++i) {
        JournalRow row;
        row.kind = "update";
        row.started = JournalTimeNow();
        row.serial = serial;
        if (!journal.Insert(row, error))
            return 2;
        row.state = "done";
        row.phase = "verify";
        if (!journal.Update(row, error))
            return 3;
    }
    return 0;
}

TEST(Journal, TwoProcessesWriteRowsAtOnce) {
    TempDir folder;
    const std::string path = folder / "state/quenta/journal.sqlite3";
    // Both children wait on the same pipe and start together once the parent closes it.
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    for (const char* serial : {"AAAA", "BBBB"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(go[1]);
            char c;
            [[maybe_unused]] const ssize_t n = ::read(go[0], &c, 1);
            ::_exit(WriteRows(path, serial));
        }
        children.push_back(pid);
    }
    ::close(go[0]);
    ::close(go[1]);
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    Journal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(path, error)) << error;
    std::vector<JournalRow> rows;
    ASSERT_TRUE(journal.Rows("", rows, error)) << error;
    EXPECT_EQ(rows.size(), 2u * kRowsPerProcess);
    std::set<std::int64_t> ids;
    for (const JournalRow& row : rows) {
        ids.insert(row.id);
        EXPECT_EQ(row.state, "done");
    }
    EXPECT_EQ(ids.size(), rows.size());
    ASSERT_TRUE(journal.Rows("BBBB", rows, error)) << error;
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(kRowsPerProcess));
    // Newest first.
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_GT(rows[i - 1].id, rows[i].id);
}

// A journal an earlier version made (no codeplug_writes, no phases) takes the rows of this one,
// and the rows of a radio come back through the recorder.
TEST(Journal, AnEarlierVersionsJournalGainsTheNewColumns) {
    TempDir folder;
    const std::string path = folder / "journal.sqlite3";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "CREATE TABLE runs (id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT "
                     "NULL, started TEXT NOT NULL, ended TEXT NOT NULL DEFAULT '', state "
                     "TEXT NOT NULL, phase TEXT NOT NULL DEFAULT '', port TEXT NOT NULL "
                     "DEFAULT '', device TEXT NOT NULL DEFAULT '', serial TEXT NOT NULL "
                     "DEFAULT '', format_before TEXT NOT NULL DEFAULT '', format_after TEXT "
                     "NOT NULL DEFAULT '', program TEXT NOT NULL DEFAULT '', release TEXT NOT "
                     "NULL DEFAULT '', status TEXT NOT NULL DEFAULT '', link_result INTEGER "
                     "NOT NULL DEFAULT -1, codeplug_result INTEGER NOT NULL DEFAULT -1, "
                     "backup_read TEXT NOT NULL DEFAULT '', backup_read_sha256 TEXT NOT NULL "
                     "DEFAULT '', backup_converted TEXT NOT NULL DEFAULT '', "
                     "backup_converted_sha256 TEXT NOT NULL DEFAULT '', codeplug_verified "
                     "INTEGER NOT NULL DEFAULT 0, images TEXT NOT NULL DEFAULT '[]');"
                     "INSERT INTO runs (kind, started, state, serial) VALUES ('update', "
                     "'2026-12-08T08:55:01Z', 'failed', 'AAAA');"
                     "PRAGMA user_version = 1;",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);

    std::vector<std::string> problems;
    JournalRecorder recorder(path, [&](const std::string& line) { problems.push_back(line); });
    JournalRow row;
    row.kind = "update";
    row.started = "2026-12-09T08:00:00Z";
    row.serial = "AAAA";
    row.codeplugWrites = 2;
    row.phases = R"([{"phase":"start","seconds":0.5}])";
    recorder.Record(row);
    std::vector<JournalRow> rows;
    ASSERT_TRUE(recorder.RowsOf("AAAA", rows));
    EXPECT_TRUE(problems.empty()) << problems.front();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].codeplugWrites, 2);
    EXPECT_EQ(rows[1].state, "failed");
    EXPECT_EQ(rows[1].codeplugWrites, 0);
    EXPECT_EQ(rows[0].phases, row.phases);
    EXPECT_EQ(rows[1].phases, "[]");
}

TEST(Journal, Sha256KnownAnswers) {
    const std::string abc = "abc";
    EXPECT_EQ(Sha256Hex(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the padding spills into a second block.
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha256Hex(reinterpret_cast<const std::uint8_t*>(two.data()), two.size()),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(nullptr, 0),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
