#pragma once

#include <string>
#include <vector>

// The codeplug commands that talk to a radio, each on a RadioSession:
//   quenta codeplug read --port P OUT: the radio's codeplug into a file.
//   quenta codeplug write --port P IN: a saved codeplug back into the radio, only when it is well
//     formed and in the format the radio reports, read back and compared.
//   quenta codeplug restore --port P [IN] [--yes]: the newest backup of the radio in the format
//     it expects (or IN), after a question, written and verified.
//   quenta codeplug upgrade --port P: the update's codeplug stage on its own.
// Every one takes --port-dir DIR, --trace FILE and --codeplug-password-file FILE. Exit status:
// 0 done, 1 failed or refused (one line on stderr says why), 2 wrong usage, 3 stopped, 4 the
// restore was declined, 5 (upgrade) the codeplug is older than 5.8 and was not converted.
int runCodeplugRadioCommand(const std::string& verb, const std::vector<std::string>& args);
