#pragma once

// quenta update --port COMn|DEVICE [--port-dir DIR] [--boot] [--trace FILE]
//               [--password-file F] [--yes] [--package DIR]
//
// Runs the update of the carried firmware package on one radio, as the window's Start does.
int runUpdateCommand(int argc, char** argv);

// Exit statuses of quenta update.
constexpr int kUpdateExitDone = 0;     // "Done.", a finished boot or DSP download, boot current
constexpr int kUpdateExitFailed = 1;   // the update failed; the last status line says why
constexpr int kUpdateExitUsage = 2;    // wrong arguments
constexpr int kUpdateExitStopped = 3;  // Ctrl-C (Stop)
constexpr int kUpdateExitNotRun = 4;   // password wrong or not given: nothing was done
