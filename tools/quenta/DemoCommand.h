#pragma once

// quenta demo [--window]
//
// Updates a simulated radio, start to end: the installed quenta-radiosim on a private port
// folder, with a radio that fits the carried package and keeps to the line's pace, and
// quenta update in the terminal (or the window with that port selected).
int runDemoCommand(int argc, char** argv);
