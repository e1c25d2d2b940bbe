#include "app/journal/JournalText.h"

#include "app/journal/Journal.h"

namespace {

std::vector<std::string> BackupPaths(const JournalRow& row) {
    std::vector<std::string> paths;
    for (const std::string* path : {&row.backupRead, &row.backupConverted}) {
        if (!path->empty())
            paths.push_back(*path);
    }
    return paths;
}

std::string OneLine(const nlohmann::json& object) {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// A spreadsheet reads a cell that begins with = + - @ as a formula. Such text (a serial the
// radio sent, a folder's name) keeps a leading apostrophe so that it stays text; a negative
// number stays a number.
bool ReadAsFormula(const std::string& text) {
    if (text.empty())
        return false;
    if (text[0] == '-')
        return text.size() == 1 || text.find_first_not_of("0123456789.", 1) != std::string::npos;
    return std::string("=+@\t\r").find(text[0]) != std::string::npos;
}

std::string CsvField(const std::string& cell) {
    const std::string text = ReadAsFormula(cell) ? "'" + cell : cell;
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvRecord(const std::vector<std::string>& fields) {
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i)
        record += (i == 0 ? "" : ",") + CsvField(fields[i]);
    return record + "\r\n";
}

}  // namespace

nlohmann::json JournalRowJson(const JournalRow& row) {
    // The images are kept as a JSON list; one that does not parse is shown as none.
    nlohmann::json images = nlohmann::json::parse(row.images, nullptr, false);
    if (!images.is_array())
        images = nlohmann::json::array();
    nlohmann::json phases = nlohmann::json::parse(row.phases, nullptr, false);
    if (!phases.is_array())
        phases = nlohmann::json::array();
    return {
        {"id", row.id},
        {"kind", row.kind},
        {"serial", row.serial},
        {"started", row.started},
        {"ended", row.ended},
        {"state", row.state},
        {"phase", row.phase},
        {"status", row.status},
        {"port", row.port},
        {"device", row.device},
        {"formatBefore", row.formatBefore},
        {"formatAfter", row.formatAfter},
        {"program", row.program},
        {"release", row.release},
        {"linkResult", row.linkResult},
        {"codeplugResult", row.codeplugResult},
        {"backups", BackupPaths(row)},
        {"backupRead", row.backupRead},
        {"backupReadSha256", row.backupReadSha256},
        {"backupConverted", row.backupConverted},
        {"backupConvertedSha256", row.backupConvertedSha256},
        {"codeplugVerified", row.codeplugVerified},
        {"codeplugWrites", row.codeplugWrites},
        {"images", images},
        {"phases", phases},
    };
}

std::string JournalJsonLine(const JournalRow& row) {
    return OneLine(JournalRowJson(row));
}

std::string JournalCsvHeader() {
    return CsvRecord({"serial", "started", "ended", "kind", "state", "phase", "port",
                      "formatBefore", "formatAfter", "program", "release", "codeplugVerified",
                      "status", "backupRead", "backupConverted"});
}

std::string JournalCsvRecord(const JournalRow& row) {
    return CsvRecord({row.serial, row.started, row.ended, row.kind, row.state, row.phase, row.port,
                      row.formatBefore, row.formatAfter, row.program, row.release,
                      row.codeplugVerified ? "yes" : "no", row.status, row.backupRead,
                      row.backupConverted});
}

std::string JournalJsonLines(const std::filesystem::path& path) {
    Journal journal;
    std::string error;
    std::vector<JournalRow> rows;
    switch (journal.OpenExisting(path, error)) {
        case JournalOpen::kMissing:
            return {};
        case JournalOpen::kOpen:
            if (journal.Rows("", rows, error))
                break;
            [[fallthrough]];
        case JournalOpen::kFailed:
            return OneLine({{"error", error}});
    }
    std::string lines;
    for (const JournalRow& row : rows)
        lines += JournalJsonLine(row);
    return lines;
}
