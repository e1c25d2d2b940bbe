#pragma once

// quenta update --port COMn|DEVICE [--port-dir DIR] [--boot] [--trace FILE]
//               [--password-file F] [--yes] [--package DIR]
//
// Runs the update of the carried firmware package on one radio, as the window's Start does.
int runUpdateCommand(int argc, char** argv);
