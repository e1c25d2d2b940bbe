#pragma once

// quenta retrieve --port COMn|DEVICE [--kind K] [--port-dir DIR] [--trace FILE]
//
// Reads the radio's version record as the window's Retrieve does and prints it. It never
// changes the radio.
int runRetrieveCommand(int argc, char** argv);
