#pragma once

// A cell of the matrix run by the real `quenta update` in a child process against the
// simulated radio on a pseudo-terminal reached through a port folder, with no scaled clock
// (a whole update takes half a minute): the faults that hit the process rather than the line,
// a hang-up signal (a closed terminal) and an output whose reader has gone (`| head`), each
// as its phase begins.
#include "CellRun.h"
#include "FaultCells.h"

namespace faultmatrix {

bool IsProgramFault(Fault fault);
RunResult RunProgramCell(const Cell& cell);

}  // namespace faultmatrix
