// quenta codeplug restore and upgrade: the ways back for a radio whose codeplug write failed or
// whose codeplug stage never ran.
#include "CodeplugRecovery.h"

#include <iostream>
#include <set>

#include "app/cli/CarriedPackage.h"
#include "app/cli/ExitStatus.h"
#include "app/cli/FileIo.h"
#include "app/cli/RadioSession.h"
#include "app/cli/ReadCodeplugFile.h"
#include "app/core/CodeUpdater.h"
#include "app/core/CodeplugRestore.h"
#include "app/journal/Journal.h"
#include "app/package/ProgramName.h"
#include "convert/RadioCodeplugConversion.h"
#include "transfer/TransferMessages.h"

namespace {

constexpr std::size_t kMaxBackupsShown = 5;

// The radio's serial number and format, on a port opened only for as long as it takes: the
// question that follows may wait on the user for long.
bool IdentifyRadio(RadioSession& session, RadioIdentity& id) {
    CodeUpdater& updater = session.Updater();
    if (!updater.OpenSelectedPort(true))
        return false;
    id = ReadRadioIdentity(updater);
    updater.ClosePort();
    if (!id.ok)
        session.Say(id.error);
    return id.ok;
}

// The newest backup of the radio in its format, said and read; false having said why not.
bool PickBackup(RadioSession& session, const RadioIdentity& id, std::string& file,
                std::vector<std::uint8_t>& codeplug) {
    const std::filesystem::path folder = session.Platform().platform.backupDirectory;
    const std::vector<CodeplugBackupEntry> entries =
        ListCodeplugBackups(folder, id.serial, Journal::DefaultPath());
    const CodeplugBackupEntry* pick = NewestBackupInFormat(entries, id.FormatText());
    if (pick == nullptr) {
        std::set<std::string> others;
        for (const CodeplugBackupEntry& e : entries)
            others.insert(e.format);
        std::string line = "no backup of radio " + id.serial + " in format " + id.FormatText() +
                           " in " + folder.string();
        if (!others.empty()) {
            line += " (it has backups in format";
            for (const std::string& f : others)
                line += " " + f;
            line += "; convert one with quenta codeplug convert --to " + id.FormatText() +
                    " IN OUT and restore that file)";
        }
        session.Say(line);
        return false;
    }
    std::ostream& out = session.Out();
    out << "Backups of radio " << id.serial << ", newest first:\n";
    for (std::size_t i = 0; i < entries.size() && i < kMaxBackupsShown; ++i) {
        out << (&entries[i] == pick ? "* " : "  ") << entries[i].path.filename().string() << "  "
            << entries[i].Describe() << "\n";
    }
    out << "Picked the newest in format " << id.FormatText() << ": " << pick->path.string() << "\n";
    file = pick->path.string();
    std::string error;
    if (!ReadCodeplugFile(file, codeplug, error)) {
        session.Say(error);
        return false;
    }
    return true;
}

}  // namespace

bool StartCodeplugSession(RadioSession& session, const CodeplugRadioArgs& args) {
    if (!session.ResolvePort(args.port, args.portDir))
        return false;
    TerminalView::Options view = args.view;
    view.assumeYes = args.yes;
    session.Start(view, CarriedPackage());
    return args.traceFile.empty() || session.OpenTrace(args.traceFile);
}

void SetUpJournal(JournalRecorder& journal) {
    journal.SetProgram(EmbeddedProgramName(), ReadProgramName(EmbeddedProgramName()).release);
}

int runCodeplugRestore(const CodeplugRadioArgs& args) {
    RadioSession session("codeplug restore");
    std::string file = args.file;
    std::vector<std::uint8_t> codeplug;
    std::string error;
    // A named file is checked before the radio is looked at.
    if (!file.empty() && !ReadCodeplugFile(file, codeplug, error)) {
        session.Say(error);
        return ToInt(ExitStatus::kFailed);
    }
    if (!StartCodeplugSession(session, args))
        return ToInt(session.Failure());
    // Ctrl-C and a closed terminal stop the restore before the write; a write that has begun
    // is finished and read back, as a codeplug cut off halfway leaves the radio unusable.
    session.StopOnSignals({});
    auto stopped = [&session] {
        session.Finish();
        session.Say("stopped; nothing was written");
        return ToInt(ExitStatus::kStopped);
    };

    RadioIdentity id;
    const bool identified = IdentifyRadio(session, id);
    if (session.Stopped())
        return stopped();
    if (!identified) {
        session.Finish();
        return ToInt(ExitStatus::kFailed);
    }
    session.Out() << "The radio " << id.serial << " expects codeplug format " << id.FormatText()
                  << ".\n";
    if (file.empty()) {
        if (!PickBackup(session, id, file, codeplug)) {
            session.Finish();
            return ToInt(ExitStatus::kFailed);
        }
    } else {
        std::uint8_t index = 255;
        const std::string misfit = CodeplugMisfit(codeplug, id.format, index);
        if (!misfit.empty()) {
            session.Finish();
            session.Say(misfit);
            return ToInt(ExitStatus::kFailed);
        }
    }
    if (!args.yes &&
        !session.View().Confirm("Write " + file + " into the radio " + id.serial + "?")) {
        if (session.Stopped())
            return stopped();
        session.Finish();
        session.Say("nothing was written (--yes writes without asking)");
        return ToInt(ExitStatus::kNotRun);
    }
    if (session.Stopped())
        return stopped();

    JournalRecorder journal(Journal::DefaultPath(),
                            [&session](const std::string& line) { session.Say(line); });
    SetUpJournal(journal);
    CodeUpdater& updater = session.Updater();
    const RadioCodeplugResult r = JournalledCodeplugWrite(
        updater, session.View(), &journal, "restore", file, codeplug, true, id.serial);
    session.Finish();
    if (r.portNotOpened)
        return ToInt(ExitStatus::kFailed);
    if (!r.ok) {
        session.Say(r.error + "; the codeplug is in " + file);
        return ToInt(ExitStatus::kFailed);
    }
    session.Out() << "Restored " << file << " (" << codeplug.size() << " bytes, format "
                  << versionText(r.codeplugIndex) << ") into the radio " << id.serial
                  << "; read back and verified\n";
    return ToInt(ExitStatus::kDone);
}

int runCodeplugUpgrade(const CodeplugRadioArgs& args) {
    RadioSession session("codeplug upgrade");
    if (!StartCodeplugSession(session, args))
        return ToInt(session.Failure());
    CodeUpdater& updater = session.Updater();
    JournalRecorder journal(Journal::DefaultPath(),
                            [&session](const std::string& line) { session.Say(line); });
    SetUpJournal(journal);
    session.Platform().platform.recorder = &journal;
    session.StopOnSignals([&updater] {
        if (updater.UpdateInProgress())
            updater.m_StartButtonClick();  // Start is Stop while the stage runs
    });
    const CodeplugResult result = updater.UpgradeCodeplug();
    session.Finish();
    session.Platform().platform.recorder = nullptr;
    const UpdateOutcome outcome = updater.LastOutcome();
    if (session.Stopped() && outcome != UpdateOutcome::kSucceeded)
        return ToInt(ExitStatus::kStopped);
    if (outcome != UpdateOutcome::kSucceeded)
        return ToInt(outcome == UpdateOutcome::kStopped ? ExitStatus::kStopped
                                                        : ExitStatus::kFailed);
    if (result == CodeplugResult::kNotOffered)
        return ToInt(ExitStatus::kCodeplugNotConverted);
    if (result == CodeplugResult::kSameFormat) {
        session.Out() << "The radio's codeplug is in the format its firmware expects already; "
                         "nothing was written.\n";
    } else {
        session.Out() << "Converted and written back; read back and verified. The codeplug as "
                         "read is saved in "
                      << updater.LastBackup().string() << "\n";
    }
    return ToInt(ExitStatus::kDone);
}
