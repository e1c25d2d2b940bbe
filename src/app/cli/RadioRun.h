#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// What the several-radio update knows of one port's run, from the JSON lines of its child.
struct RadioRun {
    std::string port;
    std::string serial;
    std::string phase;
    std::string status;
    std::string question;  // the question the run waits on (empty: none)
    bool yesNo = false;    // it is answered y or n (else any line is its OK)
    std::string failure;   // the last error message, else the last line on stderr
    int percent = -1;      // of the step under way; -1 before the first
    std::uint64_t rate = 0;
    nlohmann::json result;  // the run's result object (null until it came)
    int exitStatus = -1;    // -1 while it runs
    double seconds = 0;     // from start to end
};

// Applies one line of the child's stdout. Returns what changed in words for a log (the new
// status, a tenth of progress, the question), empty when nothing worth a line changed.
std::string ApplyEvent(RadioRun& run, const std::string& line);

// The port's line on a terminal: port, serial once known, phase, percentage, rate, and the
// question or status.
std::string LiveLine(const RadioRun& run);
// "COM5 (serial 1234): what": one line of a log.
std::string LogLine(const RadioRun& run, const std::string& what);

// The result in a word: done, failed, stopped, not run, not converted.
std::string ResultWord(const RadioRun& run);
// Why a run that did not end done ended as it did.
std::string Why(const RadioRun& run);
// The table at the end: port, serial, formats before and after, result, time, backups; then
// a line for every run that did not end done, saying why.
std::string SummaryTable(const std::vector<RadioRun>& runs);

// The exit status of several runs: 0 when every one is 0, else the worst of them (failed,
// wrong arguments, not converted, not run, stopped, in that order).
int WorstStatus(const std::vector<int>& statuses);
