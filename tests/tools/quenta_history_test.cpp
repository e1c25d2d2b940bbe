// quenta history as a program: the journal's rows newest first as a table, JSON lines and CSV,
// from a journal in a folder of the test's own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "ChildProgram.h"
#include "TempDir.h"
#include "app/journal/Journal.h"

namespace fs = std::filesystem;

namespace {

testsupport::RunResult History(const std::string& args) {
    testsupport::RunOptions options;
    options.separateErr = true;
    return testsupport::RunProgram(QUENTA_BIN, "history " + args, options);
}

class QuentaHistory : public ::testing::Test {
  protected:
    TempDir state;
    fs::path journal = fs::path(state.Path()) / "quenta" / "journal.sqlite3";

    void SetUp() override { ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1); }

    void Put(const std::string& serial, const std::string& started, const std::string& status) {
        Journal rows;
        std::string error;
        ASSERT_TRUE(rows.Open(journal, error)) << error;
        JournalRow row;
        row.kind = "update";
        row.started = started;
        row.ended = started;
        row.state = "done";
        row.phase = "verify";
        row.port = "COM7";
        row.serial = serial;
        row.formatBefore = "5.9";
        row.formatAfter = "5.10";
        row.status = status;
        row.codeplugVerified = true;
        row.backupRead = "/b/" + serial + "_5.9.codeplug";
        row.backupConverted = "/b/" + serial + "_5.10.codeplug";
        row.images = R"([{"image":"application","bytes":8192,"seconds":1.5}])";
        ASSERT_TRUE(rows.Insert(row, error)) << error;
    }
};

TEST_F(QuentaHistory, ListsTheRunsNewestFirstAsATableJsonAndCsv) {
    testsupport::RunResult r = History("");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("No runs recorded yet"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(journal));  // reading never makes one
    EXPECT_EQ(History("--json").out, "");

    // Inserted out of order: the start time decides.
    Put("00BB", "2026-12-08T09:00:00Z", "Done.");
    Put("00AA", "2026-12-08T08:00:00Z", "Done.");
    Put("00CC", "2026-12-08T10:00:00Z", "Stopped, \"by hand\"\nat 50%");
    Put("", "2026-12-08T07:00:00Z", "");  // cut off before the serial was read

    r = History("");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::size_t cc = r.out.find("00CC"), bb = r.out.find("00BB"), aa = r.out.find("00AA");
    EXPECT_TRUE(cc < bb && bb < aa && aa != std::string::npos) << r.out;
    EXPECT_NE(r.out.find("5.9 -> 5.10 verified"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/b/00AA_5.10.codeplug"), std::string::npos) << r.out;

    r = History("--json");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = testsupport::Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    std::vector<std::string> serials;
    for (const std::string& line : lines) {
        const nlohmann::json row = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(row.is_object()) << line;
        for (const char* field : {"serial", "started", "ended", "state", "phase", "status",
                                  "backups", "codeplugVerified", "formatBefore", "formatAfter",
                                  "backupReadSha256", "images", "port"})
            EXPECT_TRUE(row.contains(field)) << field << " in " << line;
        serials.push_back(row.value("serial", ""));
        EXPECT_EQ(row["backups"].size(), 2u) << line;
        EXPECT_EQ(row["codeplugVerified"], true);
        EXPECT_EQ(row["images"][0]["bytes"], 8192) << line;
    }
    EXPECT_EQ(serials, (std::vector<std::string>{"00CC", "00BB", "00AA", ""}));
    EXPECT_EQ(nlohmann::json::parse(lines[0])["status"], "Stopped, \"by hand\"\nat 50%");

    r = History("--serial 00BB --json");
    EXPECT_EQ(testsupport::Lines(r.out).size(), 1u) << r.out;
    EXPECT_NE(r.out.find("\"serial\":\"00BB\""), std::string::npos) << r.out;

    // RFC 4180: CRLF after each record, a field with a comma, quote or line break quoted and
    // its quotes doubled.
    r = History("--csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("serial,started,ended,", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\r\n00CC,2026-12-08T10:00:00Z,2026-12-08T10:00:00Z,update,done,verify,"
                         "COM7,5.9,5.10,,,yes,\"Stopped, \"\"by hand\"\"\nat 50%\","
                         "/b/00CC_5.9.codeplug,/b/00CC_5.10.codeplug\r\n00BB,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\r\n,2026-12-08T07:00:00Z,"), std::string::npos) << r.out;
    // Text a spreadsheet would run as a formula stays text.
    Put("=HYPERLINK(\"x\")", "2026-12-08T11:00:00Z", "-1 block");
    r = History("--csv");
    EXPECT_NE(r.out.find("\r\n\"'=HYPERLINK(\"\"x\"\")\",2026-12-08T11:00:00Z,"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(",'-1 block,"), std::string::npos) << r.out;
    EXPECT_EQ(History("--json --csv").status, 2);
}

TEST_F(QuentaHistory, AJournalThatCannotBeReadIsAnError) {
    fs::create_directories(journal.parent_path());
    std::ofstream(journal) << std::string(4096, 'x');
    for (const char* args : {"", "--json"}) {
        const testsupport::RunResult r = History(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.err.find("the update journal cannot be read: " + journal.string()),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
