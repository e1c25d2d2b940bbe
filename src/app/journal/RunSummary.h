#pragma once

#include <string>
#include <vector>

#include "app/journal/JournalRow.h"

// What a run did, line by line, read from its journal row alone: the window's details, the
// summary `quenta update` ends with and the journal say the same because they are the same row.
struct SummaryLine {
    std::string label;
    std::string value;
};

// The radio's serial, each phase with its time, each image with its bytes and rate, the
// codeplug's format before and after, the read-back, the backups and the total time; only
// what the row knows so far.
std::vector<SummaryLine> RunSummary(const JournalRow& row);

// A phase's name as the summary shows it ("codeplug-write" is "Codeplug write").
std::string PhaseLabel(const std::string& phase);

// "0.4 s", "12.3 s", "2 min 05 s".
std::string DurationText(double seconds);
