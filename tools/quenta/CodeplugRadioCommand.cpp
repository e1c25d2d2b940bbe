#include "CodeplugRadioCommand.h"

#include <iostream>
#include <memory>

#include "app/cli/CarriedPackage.h"
#include "app/cli/ExitStatus.h"
#include "app/cli/FileIo.h"
#include "app/cli/RadioSession.h"
#include "app/core/CodeUpdater.h"
#include "app/core/RadioCodeplug.h"
#include "app/journal/Journal.h"
#include "app/journal/Sha256.h"
#include "app/package/ProgramName.h"
#include "common/ReplacementFile.h"
#include "convert/CodeplugCheck.h"
#include "convert/RadioCodeplugConversion.h"
#include "serial/PosixSerialOs.h"
#include "transfer/TransferMessages.h"

namespace {

int Usage(const std::string& verb, const std::string& problem) {
    std::cerr << "quenta codeplug " << verb << ": " << problem << "\n"
              << "usage: quenta codeplug " << verb
              << " --port COMn|DEVICE [--port-dir DIR] [--trace FILE] "
              << (verb == "read" ? "OUT" : "IN") << "\n";
    return ToInt(ExitStatus::kUsage);
}

// A file that is no codeplug is refused before the port is opened, not after: the reason, or
// empty when codeplug is well formed.
std::string CodeplugProblem(const std::string& file, const std::vector<std::uint8_t>& codeplug) {
    if (codeplug.empty())
        return file + " is empty";
    if (codeplug.size() % 2 != 0)
        return file + " has an odd length; a codeplug is a whole number of 16-bit words";
    auto img = std::make_unique<CodeplugImage>();
    loadRadioBytes(*img, codeplug.data(), codeplug.size());
    const CodeplugCheck check = checkCodeplug(*img);
    if (!check.ok)
        return file + ": not a well-formed codeplug: " + check.reason;
    return {};
}

}  // namespace

int runCodeplugRadioCommand(const std::string& verb, const std::vector<std::string>& args) {
    std::string port, portDir, traceFile, file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size())
            port = args[++i];
        else if (args[i] == "--port-dir" && i + 1 < args.size())
            portDir = args[++i];
        else if (args[i] == "--trace" && i + 1 < args.size())
            traceFile = args[++i];
        else if (file.empty() && !args[i].empty() && args[i][0] != '-')
            file = args[i];
        else
            return Usage(verb, "unexpected argument " + args[i]);
    }
    if (port.empty() || file.empty())
        return Usage(verb, "expected --port and a file");

    RadioSession session("codeplug " + verb);
    // The file a read goes to is looked at before the radio is: a device or a pipe there would
    // only be refused after the whole transfer.
    if (verb == "read" && !MayReplace(file)) {
        session.Say(ReplaceFailureText(ReplaceResult::kTargetNotRegular, 0, file));
        return ToInt(ExitStatus::kUsage);
    }
    std::vector<std::uint8_t> codeplug;
    std::string error;
    if (verb == "write") {
        bool tooLong = false;
        if (!readSmallFile(file, kTransferImageBytes, codeplug, tooLong, error)) {
            session.Say(error);
            return ToInt(ExitStatus::kFailed);
        }
        const std::string problem = CodeplugProblem(file, codeplug);
        if (!problem.empty()) {
            session.Say(problem);
            return ToInt(ExitStatus::kFailed);
        }
    }
    if (!session.ResolvePort(port, portDir))
        return ToInt(session.Failure());

    TerminalView::Options options;
    options.titledMessages = false;
    session.Start(options, CarriedPackage());
    if (!traceFile.empty() && !session.OpenTrace(traceFile))
        return ToInt(session.Failure());
    CodeUpdater& updater = session.Updater();

    // A write is journalled as a run of its own, its row in before the port opens.
    JournalRecorder journal(Journal::DefaultPath(),
                            [&session](const std::string& line) { session.Say(line); });
    journal.SetProgram(EmbeddedProgramName(), ReadProgramName(EmbeddedProgramName()).release);
    JournalRow row;
    if (verb == "write") {
        const int comNumber = session.View().SelectedPortIndex() + 1;
        row.kind = "codeplug-write";
        row.started = JournalTimeNow();
        row.phase = "codeplug-write";
        row.port = "COM" + std::to_string(comNumber);
        const serial::Resolution device = serial::SystemSerialOs().Resolver().ResolveCom(comNumber);
        row.device = device.linkTarget.empty() ? device.path : device.linkTarget;
        row.backupConverted = std::filesystem::absolute(file).string();
        row.backupConvertedSha256 = Sha256Hex(codeplug.data(), codeplug.size());
        row.images = "[]";
        journal.Record(row);
    }
    RadioCodeplugResult r;
    const bool opened = updater.OpenSelectedPort(true);
    if (!opened) {
        r.error = "the port could not be opened";
    } else {
        r = verb == "read" ? ReadRadioCodeplug(updater, session.View(), codeplug)
                           : WriteRadioCodeplug(updater, session.View(), codeplug);
    }
    updater.ClosePort();
    session.Finish();
    if (verb == "write") {
        row.ended = JournalTimeNow();
        row.state = r.ok ? "done" : "failed";
        row.serial = r.serial;
        row.formatAfter = std::to_string(r.radioFormat[0]) + "." + std::to_string(r.radioFormat[1]);
        row.formatBefore = r.codeplugIndex == 255 ? std::string() : versionText(r.codeplugIndex);
        row.codeplugVerified = r.verified;
        row.status = r.ok ? "Written and verified." : r.error;
        journal.Record(row);
    }
    if (!opened)
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
