#include "HistoryCommand.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <string>
#include <vector>

#include "OutputWritten.h"
#include "app/cli/ExitStatus.h"
#include "app/journal/Journal.h"
#include "app/journal/JournalText.h"

namespace {

enum class Output { kTable, kJson, kCsv };

int Usage(std::ostream& err, ExitStatus status) {
    err << "usage: quenta history [--serial S] [--json | --csv]\n"
           "  Lists the runs in the update journal, newest first: updates, codeplug writes\n"
           "  and restores, with their radio, state, last phase, status and backups. The\n"
           "  journal is $XDG_STATE_HOME/quenta/journal.sqlite3 (default\n"
           "  ~/.local/state/quenta/journal.sqlite3).\n"
           "  --serial S  only the runs of the radio with serial number S\n"
           "  --json      one JSON object per run and line (serial, started, ended, state,\n"
           "              phase, status, backups, codeplugVerified and the row's other fields)\n"
           "  --csv       a header and one record per run, for a spreadsheet (RFC 4180)\n"
           "exit status:\n"
           "  0  the runs were listed (none when nothing was recorded yet)\n"
           "  1  the journal cannot be read\n"
           "  2  wrong arguments\n";
    return ToInt(status);
}

std::string Or(const std::string& text, const char* unknown) {
    return text.empty() ? unknown : text;
}

std::string Codeplug(const JournalRow& row) {
    if (row.formatBefore.empty() && row.formatAfter.empty())
        return "-";
    std::string text = Or(row.formatBefore, "?");
    if (row.formatAfter != row.formatBefore)
        text += " -> " + Or(row.formatAfter, "?");
    return row.codeplugVerified ? text + " verified" : text;
}

// One line per run in aligned columns, its status and backups indented below it.
void PrintTable(const std::vector<JournalRow>& rows) {
    constexpr std::size_t kColumns = 7;
    using Line = std::array<std::string, kColumns>;
    std::vector<Line> lines = {{"STARTED", "KIND", "STATE", "PHASE", "SERIAL", "CODEPLUG", "PORT"}};
    for (const JournalRow& row : rows)
        lines.push_back({row.started, row.kind, row.state, Or(row.phase, "-"), Or(row.serial, "-"),
                         Codeplug(row), Or(row.port, "-")});
    std::array<std::size_t, kColumns> widths{};
    for (const Line& line : lines) {
        for (std::size_t i = 0; i < kColumns; ++i)
            widths[i] = std::max(widths[i], line[i].size());
    }
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::string text;
        for (std::size_t i = 0; i < kColumns; ++i) {
            text += lines[n][i];
            if (i + 1 < kColumns)
                text += std::string(widths[i] - lines[n][i].size() + 2, ' ');
        }
        std::cout << text << "\n";
        if (n == 0)
            continue;
        const JournalRow& row = rows[n - 1];
        if (!row.status.empty())
            std::cout << "    " << row.status << "\n";
        if (!row.backupRead.empty())
            std::cout << "    backup as read: " << row.backupRead << "\n";
        if (!row.backupConverted.empty())
            std::cout << "    backup converted: " << row.backupConverted << "\n";
    }
}

}  // namespace

int runHistoryCommand(int argc, char** argv) {
    std::string serial;
    Output output = Output::kTable;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--serial" && i + 1 < argc && argv[i + 1][0] != '\0') {
            serial = argv[++i];
        } else if ((a == "--json" || a == "--csv") && output == Output::kTable) {
            output = a == "--json" ? Output::kJson : Output::kCsv;
        } else if (a == "--help") {
            return Usage(std::cout, ExitStatus::kDone);
        } else {
            std::cerr << "quenta history: unexpected argument " << a << "\n";
            return Usage(std::cerr, ExitStatus::kUsage);
        }
    }

    const std::filesystem::path path = Journal::DefaultPath();
    Journal journal;
    std::string error;
    std::vector<JournalRow> rows;
    switch (journal.OpenExisting(path, error)) {
        case JournalOpen::kFailed:
            std::cerr << "quenta history: the update journal cannot be read: " << error << "\n";
            return ToInt(ExitStatus::kFailed);
        case JournalOpen::kOpen:
            if (!journal.Rows(serial, rows, error)) {
                std::cerr << "quenta history: the update journal cannot be read: " << error << "\n";
                return ToInt(ExitStatus::kFailed);
            }
            break;
        case JournalOpen::kMissing:
            break;
    }

    switch (output) {
        case Output::kJson:
            for (const JournalRow& row : rows)
                std::cout << JournalJsonLine(row);
            break;
        case Output::kCsv:
            std::cout << JournalCsvHeader();
            for (const JournalRow& row : rows)
                std::cout << JournalCsvRecord(row);
            break;
        case Output::kTable:
            if (rows.empty())
                std::cout << (serial.empty() ? "No runs recorded yet"
                                             : "No runs recorded yet for serial " + serial)
                          << " (" << path.string() << ").\n";
            else
                PrintTable(rows);
            break;
    }
    return ToInt(OutputWritten("history") ? ExitStatus::kDone : ExitStatus::kFailed);
}
