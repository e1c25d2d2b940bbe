#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/journal/JournalRow.h"

// A journal row as the outputs show it: one JSON object (the fields of the row in camelCase,
// `backups` the list of the backups' paths, `images` and `phases` lists), or one CSV record for
// a spreadsheet. `quenta history`, the support report and every `--json` result use these.

nlohmann::json JournalRowJson(const JournalRow& row);
// The object on one line, with its newline; text that is not UTF-8 is replaced, never thrown on.
std::string JournalJsonLine(const JournalRow& row);

// CSV after RFC 4180: a header record, then one record per row; a field with a comma, a quote
// or a line break is quoted with its quotes doubled; records end with CRLF.
std::string JournalCsvHeader();
std::string JournalCsvRecord(const JournalRow& row);

// Every row of the journal at path, newest first, as JSON lines: empty when there is no
// journal, one line {"error": ...} when it cannot be read.
std::string JournalJsonLines(const std::filesystem::path& path);
