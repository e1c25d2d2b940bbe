#pragma once

// `quenta codeplug ...`: inspect, check, convert and generate codeplug files. A codeplug file
// holds the bytes as they travel from the radio, every word high byte first.
int runCodeplugCommand(int argc, char** argv);
