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

class JournalRecorder;
class RadioSession;

// Finds the port, starts the session with the arguments' view (--yes answers its questions)
// and opens the trace; false when one of them failed (session.Failure() is the exit status).
bool StartCodeplugSession(RadioSession& session, const CodeplugRadioArgs& args);
// The program and release the journal's rows name.
void SetUpJournal(JournalRecorder& journal);

// quenta codeplug restore and quenta codeplug upgrade; the arguments are checked for usage.
int runCodeplugRestore(const CodeplugRadioArgs& args);
int runCodeplugUpgrade(const CodeplugRadioArgs& args);
