// The kept wire traces and the support report made from them, read back with libarchive.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "FileText.h"
#include "LinkTestSupport.h"
#include "TempDir.h"
#include "app/journal/Journal.h"
#include "app/report/KeptTraces.h"
#include "app/report/SupportReport.h"
#include "link/RadioLink.h"

namespace fs = std::filesystem;
using namespace linktest;

namespace {

struct Entry {
    std::string bytes;
    mode_t perm = 0;
};

// Every regular entry of a .tar.gz by name; empty when it cannot be read.
std::map<std::string, Entry> ReadArchive(const fs::path& path) {
    std::map<std::string, Entry> entries;
    archive* a = archive_read_new();
    archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    if (archive_read_open_filename(a, path.c_str(), 16384) == ARCHIVE_OK) {
        archive_entry* header = nullptr;
        while (archive_read_next_header(a, &header) == ARCHIVE_OK) {
            Entry& e = entries[archive_entry_pathname(header)];
            e.perm = archive_entry_perm(header);
            char block[4096];
            la_ssize_t n;
            while ((n = archive_read_data(a, block, sizeof block)) > 0)
                e.bytes.append(block, static_cast<std::size_t>(n));
        }
    }
    archive_read_free(a);
    return entries;
}

mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

class SupportReport : public ::testing::Test {
  protected:
    TempDir state;
    fs::path traces = fs::path(state.Path()) / "quenta" / "traces";
    fs::path backups = fs::path(state.Path()) / "backups";
    fs::path out = fs::path(state.Path()) / "report.tar.gz";
    fs::path journal = fs::path(state.Path()) / "quenta" / "journal.sqlite3";

    report::ReportRequest Request(bool withBackups) {
        report::ReportRequest request;
        request.out = out;
        request.program = "quenta";
        request.traceFolder = traces;
        request.backupFolder = backups;
        request.journalPath = journal;
        request.withBackups = withBackups;
        return request;
    }
};

// A run that answers the radio's codeplug password request keeps a trace of it without the
// digits, and the report carries that trace, the journal's rows, the facts of the machine, and
// backups on demand.
TEST_F(SupportReport, HoldsTheTracesWithoutPasswordDigitsAndBackupsOnlyWhenAsked) {
    {
        VirtualPump pump;
        FakeLine line;
        RadioLink link{pump, std::make_unique<FakeDeviceFactory>(line)};
        report::KeptTrace kept(traces, "codeplug read");
        link.SetTraceSink(kept.Sink());
        std::string error;
        ASSERT_TRUE(link.OpenDevice(3, 19200, false, error)) << error;
        link.SetFramed(true);
        link.SetEnabled(true);
        const std::uint8_t digits[] = {0x47, 0x11, 0x93, 0x58};
        ASSERT_GT(link.SendCode2(0x03, 0x0C, digits, 4), 0);
        link.Close();
        kept.Close();
        ASSERT_FALSE(kept.Path().empty());
        EXPECT_EQ(kept.Path().parent_path(), traces);
    }
    fs::create_directories(backups);
    std::ofstream(backups / "radio.codeplug", std::ios::binary) << "CODEPLUG";
    {
        Journal rows;
        std::string error;
        ASSERT_TRUE(rows.Open(journal, error)) << error;
        for (const char* serial : {"00AA", "00BB"}) {
            JournalRow row;
            row.kind = "update";
            row.started = JournalTimeNow();
            row.serial = serial;
            row.backupRead = (backups / "radio.codeplug").string();
            ASSERT_TRUE(rows.Insert(row, error)) << error;
        }
    }

    std::string error;
    ASSERT_TRUE(report::WriteSupportReport(Request(false), error)) << error;
    EXPECT_EQ(ModeOf(out), 0600u);
    std::map<std::string, Entry> entries = ReadArchive(out);
    for (const char* name : {"README.txt", "versions.txt", "package.txt", "ports.jsonl",
                             "doctor.txt", "journal.jsonl"})
        EXPECT_EQ(entries.count(std::string("quenta-report/") + name), 1u) << name;
    // Newest first, as quenta history --json prints them.
    const std::string& lines = entries["quenta-report/journal.jsonl"].bytes;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    EXPECT_LT(lines.find("\"serial\":\"00BB\""), lines.find("\"serial\":\"00AA\"")) << lines;
    EXPECT_NE(lines.find("\"backups\":[\"" + (backups / "radio.codeplug").string() + "\"]"),
              std::string::npos)
        << lines;
    const std::vector<fs::path> kept = report::KeptTraceFiles(traces);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_NE(kept[0].filename().string().find("-codeplug-read-"), std::string::npos);
    const std::string traceName = "quenta-report/traces/" + kept[0].filename().string();
    ASSERT_EQ(entries.count(traceName), 1u);
    EXPECT_EQ(entries[traceName].bytes, testsupport::ReadFile(kept[0]));
    EXPECT_NE(entries[traceName].bytes.find(" W "), std::string::npos);
    const std::string& versions = entries["quenta-report/versions.txt"].bytes;
    for (const char* label : {"Program: quenta ", "Qt: ", "Kernel: "})
        EXPECT_NE(versions.find(label), std::string::npos) << versions;
    for (const auto& [name, entry] : entries) {
        EXPECT_EQ(entry.perm, 0600u) << name;
        EXPECT_EQ(name.find("backups/"), std::string::npos) << name;
        for (const char* digits : {"47 11 93 58", "47 11", "93 58"})
            EXPECT_EQ(entry.bytes.find(digits), std::string::npos) << name << ": " << entry.bytes;
    }

    ASSERT_TRUE(report::WriteSupportReport(Request(true), error)) << error;
    entries = ReadArchive(out);
    EXPECT_EQ(entries["quenta-report/backups/radio.codeplug"].bytes, "CODEPLUG");
    // Nothing but the report and what it was made from is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(state.Path()), fs::directory_iterator()), 3);

    // A report that cannot be written says where and leaves nothing behind.
    report::ReportRequest lost = Request(false);
    lost.out = fs::path(state.Path()) / "missing" / "report.tar.gz";
    EXPECT_FALSE(report::WriteSupportReport(lost, error));
    EXPECT_NE(error.find(lost.out.string()), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(lost.out.parent_path()));
}

// Only the last runs' traces are kept, private to the user; a run that sent nothing keeps none.
TEST_F(SupportReport, KeepsTheLastRunsPrivately) {
    { report::KeptTrace silent(traces, "update"); }
    EXPECT_FALSE(fs::exists(traces));
    const std::uint8_t frame[] = {0x01, 0x02};
    const int runs = report::kKeptRuns + 2;
    for (int run = 1; run <= runs; ++run) {
        // Runs of one second sort by their names: run01 is the oldest.
        report::KeptTrace kept(traces,
                               "run" + std::string(run < 10 ? "0" : "") + std::to_string(run));
        kept.Write('W', frame, 2, 1000 + run);
        kept.Write('R', frame, 1, 1005 + run);
    }
    const std::vector<fs::path> kept = report::KeptTraceFiles(traces);
    ASSERT_EQ(kept.size(), static_cast<std::size_t>(report::kKeptRuns));
    EXPECT_NE(kept.front().filename().string().find("-run03-"), std::string::npos);
    EXPECT_NE(kept.back().filename().string().find("-run22-"), std::string::npos);
    EXPECT_EQ(ModeOf(traces), 0700u);
    EXPECT_EQ(ModeOf(traces.parent_path()), 0700u);
    EXPECT_EQ(ModeOf(kept.back()), 0600u);
    const std::string text = testsupport::ReadFile(kept.back());
    EXPECT_NE(text.find("\n       0 W 01 02\n       5 R 01\n"), std::string::npos) << text;
}

}  // namespace
