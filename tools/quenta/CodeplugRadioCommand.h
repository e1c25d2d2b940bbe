#pragma once

#include <string>
#include <vector>

// quenta codeplug read --port P [--port-dir DIR] [--trace FILE] OUT: the radio's codeplug into a
// file. quenta codeplug write --port P [--port-dir DIR] [--trace FILE] IN: a saved codeplug back
// into the radio, only when it is well formed and in the format the radio reports. Exit status: 0
// done, 1 failed or refused (one line on stderr says why), 2 wrong usage.
int runCodeplugRadioCommand(const std::string& verb, const std::vector<std::string>& args);
