#pragma once

#include <string>

#include "app/cli/TerminalView.h"

// The arguments every codeplug command that talks to a radio takes.
struct CodeplugRadioArgs {
    std::string verb;
    std::string port;
    std::string portDir;
    std::string traceFile;
    std::string file;  // restore: empty picks the newest backup
    bool yes = false;  // restore: write without asking
    TerminalView::Options view;
};

// quenta codeplug restore and quenta codeplug upgrade; the arguments are checked for usage.
int runCodeplugRestore(const CodeplugRadioArgs& args);
int runCodeplugUpgrade(const CodeplugRadioArgs& args);
