#pragma once

// One whole update, as the window runs it, over a real pseudo-terminal against the simulated
// radio, with the erase and restart waits on a clock scaled down a hundredfold. Run in a
// process of its own: it makes its own Qt application and temporary folders.
#include <string>
#include <vector>

#include "FaultCells.h"

namespace faultmatrix {

struct RunResult {
    bool passed = false;
    std::string end;                    // the status the update ended with
    std::vector<std::string> problems;  // every check that failed, one line each
    std::vector<LoggedFrame> frames;    // what the radio took
    int codeplugReports = 0;            // block-sum reports the radio sent
    // The run after the fault: a clean run of what the tool offers, on the radio as the fault
    // left it. Recovered when it ends "Done." with the radio holding the new firmware and the
    // converted codeplug.
    std::string secondEnd;
    bool recovered = false;
    bool falseDone = false;  // a run said "Done." while the radio held something else

    void FalselyDone(const std::string& why) {
        falseDone = true;
        problems.push_back(why);
    }
};

// A fault-free run (cell.fault is ignored when clean is set).
RunResult RunUpdate(const Cell& cell, bool clean);

}  // namespace faultmatrix
