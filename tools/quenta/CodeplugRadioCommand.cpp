#include "CodeplugRadioCommand.h"

#include <iostream>

#include "CodeplugRecovery.h"
#include "app/cli/ExitStatus.h"
#include "app/cli/FileIo.h"
#include "app/cli/PasswordFile.h"
#include "app/cli/RadioSession.h"
#include "app/cli/ReadCodeplugFile.h"
#include "app/core/CodeUpdater.h"
#include "app/core/CodeplugRestore.h"
#include "app/journal/Journal.h"
#include "common/ReplacementFile.h"
#include "convert/RadioCodeplugConversion.h"
#include "transfer/TransferMessages.h"

namespace {

int Usage(const std::string& verb, const std::string& problem) {
    std::cerr << "quenta codeplug " << verb << ": " << problem << "\n"
              << "usage: quenta codeplug " << verb
              << " --port COMn|DEVICE [--port-dir DIR] [--trace FILE]\n"
                 "       [--codeplug-password-file FILE]"
              << (verb == "read"      ? " OUT"
                  : verb == "write"   ? " IN"
                  : verb == "restore" ? " [--yes] [IN]"
                                      : " [--yes]")
              << "\n";
    return ToInt(ExitStatus::kUsage);
}

}  // namespace

int runCodeplugRadioCommand(const std::string& verb, const std::vector<std::string>& args) {
    CodeplugRadioArgs parsed;
    parsed.verb = verb;
    std::string passwordFile;
    const bool recovery = verb == "restore" || verb == "upgrade";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size() && !parsed.port.empty()) {
            std::cerr << "quenta codeplug " << verb
                      << ": --port given twice: a codeplug command talks to one radio\n";
            return ToInt(ExitStatus::kUsage);
        } else if (args[i] == "--port" && i + 1 < args.size())
            parsed.port = args[++i];
        else if (args[i] == "--port-dir" && i + 1 < args.size())
            parsed.portDir = args[++i];
        else if (args[i] == "--trace" && i + 1 < args.size())
            parsed.traceFile = args[++i];
        else if (args[i] == "--codeplug-password-file" && i + 1 < args.size())
            passwordFile = args[++i];
        else if (args[i] == "--yes" && recovery)
            parsed.yes = true;
        else if (parsed.file.empty() && verb != "upgrade" && !args[i].empty() && args[i][0] != '-')
            parsed.file = args[i];
        else
            return Usage(verb, "unexpected argument " + args[i]);
    }
    if (parsed.port.empty())
        return Usage(verb, "expected --port");
    if (parsed.file.empty() && !recovery)
        return Usage(verb, "expected --port and a file");
    parsed.view.titledMessages = false;
    std::string error;
    if (!passwordFile.empty() && !UseCodeplugPasswordFile(passwordFile, parsed.view, error)) {
        std::cerr << "quenta codeplug " << verb << ": --codeplug-password-file: " << error << "\n";
        return ToInt(ExitStatus::kUsage);
    }
    if (verb == "restore")
        return runCodeplugRestore(parsed);
    if (verb == "upgrade")
        return runCodeplugUpgrade(parsed);
    const std::string& file = parsed.file;

    RadioSession session("codeplug " + verb);
    // The file a read goes to is looked at before the radio is: a device or a pipe there would
    // only be refused after the whole transfer.
    if (verb == "read" && !MayReplace(file)) {
        session.Say(ReplaceFailureText(ReplaceResult::kTargetNotRegular, 0, file));
        return ToInt(ExitStatus::kUsage);
    }
    std::vector<std::uint8_t> codeplug;
    if (verb == "write" && !ReadCodeplugFile(file, codeplug, error)) {
        session.Say(error);
        return ToInt(ExitStatus::kFailed);
    }
    if (!StartCodeplugSession(session, parsed))
        return ToInt(session.Failure());
    // Ctrl-C and a closed terminal do not cut a transfer off halfway: it ends as it would have
    // (a second signal ends the program at once).
    session.StopOnSignals({});
    CodeUpdater& updater = session.Updater();

    // A write is journalled as a run of its own, its row in before anything is sent.
    JournalRecorder journal(Journal::DefaultPath(),
                            [&session](const std::string& line) { session.Say(line); });
    SetUpJournal(journal);
    RadioCodeplugResult r;
    bool opened = true;
    if (verb == "write") {
        r = JournalledCodeplugWrite(updater, session.View(), &journal, "codeplug-write", file,
                                    codeplug, false);
    } else {
        opened = updater.OpenSelectedPort(true);
        if (opened)
            r = ReadRadioCodeplug(updater, session.View(), codeplug);
        updater.ClosePort();
    }
    session.Finish();
    // The port's own message has said why it could not be opened.
    if (!opened || r.portNotOpened)
        return ToInt(ExitStatus::kFailed);
    if (!r.ok) {
        session.Say(verb == "write" ? r.error + "; the codeplug is in " + file : r.error);
        return ToInt(ExitStatus::kFailed);
    }
    if (verb == "read") {
        if (!writeFileAtomically(file, codeplug.data(), codeplug.size(), error)) {
            session.Say(error);
            return ToInt(ExitStatus::kFailed);
        }
        std::cout << "Read " << codeplug.size() << " bytes, codeplug format "
                  << versionText(r.codeplugIndex) << " (the radio expects " << int{r.radioFormat[0]}
                  << "." << int{r.radioFormat[1]} << "), into " << file << "\n";
    } else {
        std::cout << "Wrote " << codeplug.size() << " bytes, codeplug format "
                  << versionText(r.codeplugIndex) << ", from " << file
                  << "; read back and verified\n";
    }
    return ToInt(ExitStatus::kDone);
}
