#pragma once

// quenta history [--serial S] [--json | --csv]
//
// The update journal's rows, newest first: a table, one JSON object per line, or CSV for a
// spreadsheet.
int runHistoryCommand(int argc, char** argv);
