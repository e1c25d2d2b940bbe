// The update logic through a recording view on the virtual clock: the password, port opening,
// the target and boot checks, the codeplug stage with its backups, Stop, and the automatic
// boot update.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "FileSizeLimit.h"
#include "FirmwareGen.h"
#include "UpdaterTestSupport.h"
#include "app/core/CodeplugBackup.h"
#include "app/core/TargetKindFromRadio.h"
#include "app/core/UpdaterTexts.h"
#include "app/journal/Sha256.h"
#include "convert/RadioCodeplugConversion.h"
#include "serial/ComPortResolver.h"
#include "transfer/TransferMessages.h"

namespace fs = std::filesystem;
namespace text = updater_text;
using namespace updatertest;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

CodeplugScenario Codeplug(int format) {
    CodeplugScenario s;
    s.generateFormat = format;
    s.generateSeed = 7;
    return s;
}

class Updater : public ::testing::Test, public UpdaterBench {
  protected:
    // Codeplug writes (03 00) the radio was asked for.
    int Writes() const { return radio->Count(0x03, 0x00); }
    // The text of the only message with this title (else how many there were).
    std::string OnlyMessage(const std::string& title) const {
        const std::vector<Message> titled = view.Titled(title);
        return titled.size() == 1 ? titled[0].text : std::to_string(titled.size()) + " messages";
    }
    // The backup of the converted codeplug (named _5.10), or none.
    fs::path ConvertedBackup() const {
        for (const fs::path& backup : Backups())
            if (backup.string().find("_5.10") != std::string::npos)
                return backup;
        return {};
    }
    // The first n bytes of the codeplug the radio holds (fewer if it holds less).
    Bytes Held(std::size_t n) const {
        Bytes held = radio->codeplug.Codeplug();
        held.resize(std::min(held.size(), n));
        return held;
    }
    // A DSP package whose code is the generator's image of this plan.
    firmwaregen::DspImage UseDspPackage(const firmwaregen::DspPlan& plan) {
        UsePackage(kUpgradeDsp);
        const firmwaregen::DspImage dsp = firmwaregen::MakeDspImage(plan);
        std::ostringstream coff;
        firmwaregen::WriteCoff(coff, dsp);
        package.PutImage(attributes, ImageSet::kApplication, ImageRole::kCode, coff.str(), 1000);
        return dsp;
    }
};

// The journal as the update logic sees it, in memory.
class MemoryJournal : public UpdateRecorder {
  public:
    std::vector<JournalRow> rows;  // oldest first; a row's id is its place + 1

    void Record(JournalRow& row) override {
        if (row.id == 0) {
            row.id = static_cast<std::int64_t>(rows.size()) + 1;
            rows.push_back(row);
        } else {
            rows[static_cast<std::size_t>(row.id - 1)] = row;
        }
    }
    bool RowsOf(const std::string& serial, std::vector<JournalRow>& out) override {
        out.clear();
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            if (row->serial == serial)
                out.push_back(*row);
        }
        return true;
    }
};

// The serial number of the test radio, as the journal keeps it.
constexpr const char kRadioSerial[] = "000123456789ABCD";

TEST_F(Updater, PasswordRules) {
    UsePackage(kUpgradeApplicationBoot, 0, 5);  // series 5: chosen by hand, not automatic
    Start();
    ASSERT_TRUE(updater->ShowsUpgradeChoice());
    view.passwords.push_back(std::nullopt);  // Cancel, whatever was typed
    updater->m_StartButtonClick();
    view.bootChecked = true;
    PressStart("pelican");  // a boot upgrade by hand wants the other word
    EXPECT_TRUE(view.busy.empty());
    EXPECT_TRUE(radio->requests.empty());
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kNotRun);

    view.bootChecked = false;
    PressStart(" \tpelican\r\n");  // blanks and control characters are cut
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.Status(), text::kDone);
    // Accepted once: a boot upgrade now runs without being asked.
    view.bootChecked = true;
    const int prompts = view.passwordPrompts;
    PressStart(std::nullopt);
    EXPECT_EQ(view.passwordPrompts, prompts);
    EXPECT_EQ(view.busy.size(), 4u);
    EXPECT_EQ(view.Status(), "Download finished.");
    EXPECT_EQ(radio->flash.Images().back().data.size(), 1024u);  // the boot set
}

TEST_F(Updater, PortOpeningRules) {
    absentPorts = {3};
    Start();
    EXPECT_FALSE(updater->PortPresent(2));
    EXPECT_EQ(updater->m_ComportComboBoxChange(2), 0);
    // The port went away between the list and Start.
    view.selected = 1;
    absentPorts = {2};
    PressStart();
    EXPECT_THAT(OnlyMessage(text::kTitleComPort), StartsWith(text::kPortNotAvailable));
    EXPECT_EQ(view.Status(), text::kIdle);
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kFailed);

    // Retrieve stays at 19200 baud and shows the record.
    absentPorts.clear();
    updater->m_RetrieveVersionInfoButtonClick();
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(radio->Count(0x09, 0x00), 0);
    EXPECT_FALSE(line.open);
    radio->versionBytes.clear();  // replies too short: nothing to show
    updater->m_RetrieveVersionInfoButtonClick();
    EXPECT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(OnlyMessage(text::kTitleCommunication), text::kRetrieveFailed);
}

TEST_F(Updater, MobileFamilyBoxAndMultiCoreRules) {
    UsePackage(kUpgradeApplication, 1, 4);  // kind 7
    processors = 4;
    Start();
    EXPECT_FALSE(updater->OpenSelectedPort(false));  // no box on a multi-core PC
    EXPECT_EQ(view.messages.back().text, text::kMultiCore);
    updater->ClosePort();

    processors = 1;  // single processor: the port component in RS-485 mode
    ASSERT_TRUE(updater->OpenSelectedPort(false));
    EXPECT_TRUE(updater->Link().UsesComponent());
    EXPECT_TRUE(component.RS485Mode());
    updater->ClosePort();

    processors = 4;
    radio->box = true;  // the box answers: the direct device at 115200
    ASSERT_TRUE(updater->OpenSelectedPort(false));
    EXPECT_FALSE(updater->Link().UsesComponent());
    EXPECT_EQ(radio->flash.RateChanges().back(), 115200);
    updater->ClosePort();
}

TEST_F(Updater, TargetCheckAndSeriesMismatch) {
    EXPECT_EQ(TargetKindFromRadio(0, 7, 0), 6);
    EXPECT_EQ(TargetKindFromRadio(1, 1, 8), 1);
    EXPECT_EQ(TargetKindFromRadio(1, 1, 9), 5);
    Start();
    ASSERT_TRUE(updater->OpenSelectedPort(false));
    radio->boot = {7, 0};
    EXPECT_TRUE(updater->CheckTargetRadio());
    radio->boot = {6, 0};
    EXPECT_FALSE(updater->CheckTargetRadio());
    EXPECT_EQ(view.messages.back().text,
              "This version of Quenta Code Updater does not match the radio series.\nRadio "
              "requires a 2600_Series_6 version of Quenta Code Updater.");
    EXPECT_EQ(view.Status(), text::kIdle);
    radio->bootPresent = false;
    EXPECT_FALSE(updater->CheckTargetRadio());  // the device transport ends silent reads
    EXPECT_EQ(view.Status(), text::kTargetReadError);
    updater->ClosePort();
}

// An application update: the codeplug read after the restart is converted 5.9 to 5.10, saved
// twice and written back; the radio then holds the converted image.
TEST_F(Updater, ApplicationUpdateConvertsSavesAndWritesTheCodeplug) {
    Start(Codeplug(4), flashsim::Settings{4, 1, 0, 15000});  // silent 15 s after the code
    const Bytes original = radio->codeplug.Codeplug();
    std::size_t backupsAtWrite = 0;
    radio->onRequest = [&](const Bytes& r) {
        if (r[0] == 0x03 && r[1] == 0x00)
            backupsAtWrite = Backups().size();
    };
    PressStart();
    EXPECT_EQ(view.Status(), text::kDone);
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kSucceeded);
    EXPECT_EQ(backupsAtWrite, 2u);
    EXPECT_TRUE(view.HasStatus(text::kResettingConverting));
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
    EXPECT_TRUE(WorkFiles().empty());  // joined images deleted
    EXPECT_FALSE(line.open);

    ASSERT_EQ(updater->LastBackup().parent_path(), BackupDirectory());
    // A codeplug is the owner's alone.
    EXPECT_EQ(fs::status(updater->LastBackup()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const Bytes asRead = ReadFile(updater->LastBackup());
    EXPECT_EQ(Bytes(original.begin(), original.begin() + std::min(original.size(), asRead.size())),
              asRead);
    EXPECT_THAT(updater->LastBackup().filename().string(),
                HasSubstr(kRadioSerial + std::string("_")));
    Bytes converted = asRead;
    converted.resize(kTransferImageBytes);
    const CodeplugConversion c = convertRadioCodeplug(converted.data(), asRead.size(), 5, 10);
    ASSERT_EQ(c.result, CodeplugConversionResult::Converted) << c.reason;
    converted.resize(c.newLength);
    EXPECT_EQ(Held(converted.size()), converted);
    EXPECT_EQ(Backups().size(), 2u);
    EXPECT_EQ(ReadFile(ConvertedBackup()), converted);
}

TEST_F(Updater, CodeplugStageEndsWithoutWriting) {
    struct Case {
        int codeplugFormat;
        Bytes radioFormat;
        bool infoBox;
    };
    for (const Case& c : {Case{5, {5, 10}, false},   // already in the format
                          Case{4, {5, 7}, true},     // 5.7: no conversion
                          Case{4, {9, 9}, true}}) {  // unknown counts as older
        view.Reset();
        Start(Codeplug(c.codeplugFormat));
        radio->formatAfterUpdate = c.radioFormat;
        PressStart();
        EXPECT_EQ(view.Status(), text::kDone);
        EXPECT_EQ(view.Titled(text::kTitleUpdater).size(), c.infoBox ? 1u : 0u);
        EXPECT_EQ(Writes(), 0);  // no codeplug write
        // A codeplug left unconverted is saved as read (the cases run in this order).
        EXPECT_EQ(!Backups().empty(), c.infoBox);
    }
}

TEST_F(Updater, NoSerialNumberMeansNoWriteAndTheBackupIsNamed) {
    Start(Codeplug(4));
    radio->unansweredSerialReads = 3;
    PressStart();
    EXPECT_EQ(radio->Count(0x04, 0x04), 3);
    EXPECT_EQ(Writes(), 0);
    ASSERT_FALSE(updater->LastBackup().empty());
    EXPECT_THAT(view.Status(), StartsWith(text::kDownloadError));
    EXPECT_THAT(view.Status(), HasSubstr("_5.10.codeplug"));
    EXPECT_THAT(view.messages.back().text, HasSubstr(updater->LastBackup().string()));
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kFailed);

    // Asked again, the radio answers at the second request.
    view.Reset();
    Start(Codeplug(4));
    radio->unansweredSerialReads = 1;
    PressStart();
    EXPECT_EQ(view.Status(), text::kDone);
}

// A write the radio does not hold (a word it stores wrongly, once) is offered again at once:
// Yes writes the saved codeplug again and the read-back finds it, each write in the journal;
// No ends with the failure and the backups. A radio that never holds it is asked three times;
// Stop during the question writes nothing more.
TEST_F(Updater, AWriteTheRadioDoesNotHoldIsOfferedAgain) {
    MemoryJournal journal;
    platform.recorder = &journal;
    CodeplugScenario wrongOnce = Codeplug(4);
    wrongOnce.wrongWordAt = 30;
    enum class Answer { kYes, kNo, kStop };
    struct Case {
        const char* name;
        bool neverHeld;  // every read-back after a write finds a word changed
        Answer answer;
        int questions;
        int writes;  // asked of the radio and journalled
        UpdateOutcome outcome;
        const char* state;
    };
    const Case cases[] = {
        {"yes", false, Answer::kYes, 1, 2, UpdateOutcome::kSucceeded, "done"},
        {"no", false, Answer::kNo, 1, 1, UpdateOutcome::kFailed, "failed"},
        {"never held", true, Answer::kYes, 3, 4, UpdateOutcome::kFailed, "failed"},
        {"stop during the question", false, Answer::kStop, 1, 1, UpdateOutcome::kStopped,
         "stopped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.Reset();
        Start(c.neverHeld ? Codeplug(4) : wrongOnce);
        view.answerYes = c.answer != Answer::kNo;
        if (c.answer == Answer::kStop)
            view.onQuestion = [&](const std::string&) { updater->m_StartButtonClick(); };
        bool written = false;
        if (c.neverHeld)
            radio->onRequest = [&](const Bytes& r) {
                if (r[0] == 0x03 && r[1] == transfer_msg::TransferEnd)
                    written = true;
                if (r[0] == 0x03 && r[1] == transfer_msg::UploadRequest && written) {
                    Bytes changed = radio->codeplug.Codeplug();
                    changed[41] ^= 0x01;
                    radio->codeplug.SetCodeplug(changed);
                    written = false;
                }
            };
        PressStart();
        EXPECT_EQ(view.questions, c.questions);
        EXPECT_EQ(Writes(), c.writes);
        EXPECT_EQ(updater->LastOutcome(), c.outcome);
        ASSERT_EQ(journal.rows.size(), static_cast<std::size_t>(&c - cases + 1));
        EXPECT_EQ(journal.rows.back().codeplugWrites, c.writes);
        EXPECT_EQ(journal.rows.back().codeplugVerified, c.outcome == UpdateOutcome::kSucceeded);
        EXPECT_EQ(journal.rows.back().state, c.state);
        if (c.outcome == UpdateOutcome::kFailed) {
            EXPECT_THAT(view.Status(), StartsWith(text::kNotHeld));
            ASSERT_FALSE(view.messages.empty());
            EXPECT_THAT(view.messages.back().text, HasSubstr("quenta codeplug write"));
        }
        if (c.outcome != UpdateOutcome::kSucceeded)
            continue;
        EXPECT_EQ(view.Status(), text::kDone);
        EXPECT_THAT(view.lastQuestion, HasSubstr("word 30 differs"));
        const fs::path converted = ConvertedBackup();
        EXPECT_THAT(view.lastQuestion, HasSubstr(text::kAskRewrite + ("\n" + converted.string())));
        const Bytes saved = ReadFile(converted);
        EXPECT_EQ(Held(saved.size()), saved);
    }
}

// A codeplug read that fails the structure check is met with the converted codeplug of this
// radio's last update when that update did not finish; Yes writes it and reads it back.
TEST_F(Updater, ADamagedCodeplugIsOfferedTheUnfinishedUpdatesBackup) {
    CodeplugScenario damaged;
    damaged.image = Bytes(512, 0x5A);
    Bytes check = damaged.image;
    check.resize(kTransferImageBytes);
    ASSERT_EQ(convertRadioCodeplug(check.data(), 512, 5, 10).result,
              CodeplugConversionResult::Invalid);
    const Bytes good = CodeplugPeer(Codeplug(5), Bytes(8, 0)).Codeplug();  // a 5.10 codeplug
    const fs::path saved = fs::path(backupRoot.Path()) / "earlier_5.10.codeplug";
    std::ofstream(saved, std::ios::binary) << std::string(good.begin(), good.end());
    auto update = [&](const std::string& state, bool sameFile = true) {
        JournalRow row;
        row.kind = "update";
        row.started = "2026-12-08T08:55:01Z";
        row.state = state;
        row.serial = kRadioSerial;
        row.backupConverted = saved.string();
        row.backupConvertedSha256 = sameFile ? Sha256Hex(good.data(), good.size()) : "00";
        return row;
    };
    JournalRow restored;
    restored.kind = "restore";
    restored.state = "done";
    restored.serial = kRadioSerial;
    restored.codeplugVerified = true;
    struct Case {
        std::vector<JournalRow> earlier;  // oldest first
        bool offered;
    };
    for (const Case& c :
         {Case{{}, false}, Case{{update("failed", false)}, false},  // the file changed since
          Case{{update("failed"), restored}, false},  // a later restore finished the job
          Case{{update("stopped")}, true}}) {
        for (const bool yes : {false, true}) {
            MemoryJournal journal;
            for (JournalRow row : c.earlier)
                journal.Record(row);
            platform.recorder = &journal;
            view.Reset();
            view.answerYes = yes;
            Start(damaged);
            PressStart();
            EXPECT_EQ(view.questions, c.offered ? 1 : 0);
            if (!c.offered || !yes) {
                EXPECT_EQ(view.Status(), text::kUploadError);
                EXPECT_EQ(Writes(), 0);
                continue;
            }
            EXPECT_THAT(view.lastQuestion, HasSubstr(saved.string()));
            EXPECT_EQ(view.Status(), text::kDone);
            EXPECT_EQ(Held(good.size()), good);
            EXPECT_TRUE(journal.rows.back().codeplugVerified);
            EXPECT_EQ(journal.rows.back().backupConverted, saved.string());
        }
    }
    platform.recorder = nullptr;
}

TEST_F(Updater, UnwritableBackupFolderMeansNoWrite) {
    fs::create_directories(BackupDirectory().parent_path());
    std::ofstream(BackupDirectory()) << "a file where the folder belongs";
    Start(Codeplug(4));
    PressStart();
    EXPECT_EQ(view.Status(), text::kBackupError);
    EXPECT_EQ(Writes(), 0);
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kFailed);
}

// Without HOME (a service, env -i) the backups still go under the user's home folder, the same
// one the port folder is in, never under the working folder.
TEST(BackupFolder, WithoutHomeItIsInTheUsersHomeLikeThePortFolder) {
    const char* home = std::getenv("HOME");
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::string savedHome = home ? home : "", savedData = data ? data : "";
    ::unsetenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
    const fs::path backups = DefaultBackupDirectory();
    const std::string ports = serial::ComPortResolver::DefaultPortDirectory();
    if (home)
        ::setenv("HOME", savedHome.c_str(), 1);
    if (data)
        ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    const std::string portTail = "/.config/quenta/ports";
    ASSERT_GT(ports.size(), portTail.size());
    const fs::path userHome = ports.substr(0, ports.size() - portTail.size());
    EXPECT_TRUE(userHome.is_absolute());
    EXPECT_EQ(backups, userHome / ".local" / "share" / "quenta" / "backups");
}

// Backups are the owner's alone whatever the umask, a folder an older run left open is
// narrowed with what is in it, and a second backup in the same second keeps the first.
TEST(CodeplugBackups, ArePrivateAndNeverOverwritten) {
    TempDir root;
    const fs::path fresh = fs::path(root.Path()) / "data" / "quenta" / "backups";
    const mode_t savedMask = ::umask(0);
    const CodeplugBackupFile first = SaveCodeplugBackup(fresh, "AB12", 1765180800, "5.9", {1, 2});
    const CodeplugBackupFile second = SaveCodeplugBackup(fresh, "AB12", 1765180800, "5.9", {3});
    ::umask(savedMask);
    ASSERT_TRUE(first.error.empty() && second.error.empty()) << first.error << second.error;
    EXPECT_EQ(first.path.filename(), "AB12_20251208T080000Z_5.9.codeplug");
    EXPECT_EQ(second.path.filename(), "AB12_20251208T080000Z_5.9-2.codeplug");
    EXPECT_EQ(ReadFile(first.path), (Bytes{1, 2}));
    for (const fs::path& p : {fresh, fresh.parent_path(), fresh.parent_path().parent_path()})
        EXPECT_EQ(fs::status(p).permissions(), fs::perms::owner_all) << p;
    const fs::perms owner = fs::perms::owner_read | fs::perms::owner_write;
    EXPECT_EQ(fs::status(second.path).permissions(), owner);

    const fs::path open = fs::path(root.Path()) / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_exec);
    std::ofstream(open / "older.codeplug") << "older";
    fs::permissions(open / "older.codeplug", owner | fs::perms::others_read);
    ASSERT_TRUE(SaveCodeplugBackup(open, "", 0, "5.10", {4}).error.empty());
    EXPECT_EQ(fs::status(open).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(open / "older.codeplug").permissions(), owner);
    EXPECT_EQ(std::distance(fs::directory_iterator(open), fs::directory_iterator()), 2);
}

// A full disk while the codeplug is saved: the backup cut short is removed, the one saved
// whole before it stays, the message says what to do, and nothing is written to the radio.
TEST_F(Updater, AFullDiskWhileSavingTheCodeplugWritesNothing) {
    // The sizes of the two backups of a sound run.
    Start(Codeplug(4));
    PressStart();
    ASSERT_EQ(view.Status(), text::kDone);
    const auto sound = Backups();
    ASSERT_EQ(sound.size(), 2u);
    const fs::path converted = ConvertedBackup();
    const auto readBytes = fs::file_size(sound[sound[0] == converted ? 1 : 0]);
    const auto convertedBytes = fs::file_size(converted);
    ASSERT_LT(readBytes, convertedBytes);
    fs::remove_all(BackupDirectory());

    struct Case {
        const char* what;
        std::uintmax_t limit;
        std::size_t kept;  // backups left, all whole
    };
    for (const Case& c : {Case{"the codeplug as read", readBytes - 1, 0},
                          Case{"the converted codeplug", convertedBytes - 1, 1}}) {
        SCOPED_TRACE(c.what);
        view.Reset();
        Start(Codeplug(4));
        std::optional<FileSizeLimit> full;
        view.onStatus = [&](const std::string& s) {
            if (s == text::kUploading)
                full.emplace(static_cast<rlim_t>(c.limit));
        };
        PressStart();
        full.reset();
        EXPECT_EQ(view.Status(), text::kBackupError);
        ASSERT_FALSE(view.messages.empty());
        EXPECT_THAT(view.messages.back().text, HasSubstr("File too large"));
        EXPECT_THAT(view.messages.back().text, HasSubstr("make room"));
        EXPECT_EQ(Writes(), 0);
        EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kFailed);
        const auto left = Backups();
        ASSERT_EQ(left.size(), c.kept);
        for (const auto& b : left)
            EXPECT_EQ(fs::file_size(b), readBytes) << b;
        EXPECT_TRUE(WorkFiles().empty());
        fs::remove_all(BackupDirectory());
    }
}

TEST_F(Updater, StopDuringTheCodeDownload) {
    Start(Codeplug(4));
    int blocks = 0;
    radio->onRequest = [&](const Bytes& r) {
        if (r[0] == 0x02 && r[1] == 0x09 && ++blocks == 5)  // a code block
            pump.AfterMs(0, [this] { updater->m_StartButtonClick(); });
    };
    PressStart();
    EXPECT_EQ(view.Status(), "Code download timed out or canceled by user.");
    EXPECT_EQ(view.busy.back(), false);
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kStopped);
    EXPECT_TRUE(WorkFiles().empty());
    EXPECT_FALSE(line.open);
    EXPECT_EQ(radio->Count(0x03, 0x07), 0);
    EXPECT_FALSE(updater->SequenceActive());
}

TEST_F(Updater, StopWhileTheRadioRestartsWritesNothing) {
    Start(Codeplug(4));
    std::int64_t stoppedUs = 0;
    view.onStatus = [&](const std::string& s) {
        if (s == text::kResetting)
            pump.AfterMs(1500, [&] {
                stoppedUs = pump.nowUs;
                updater->m_StartButtonClick();  // Stop
                updater->m_StartButtonClick();  // Start again while the sequence winds down
            });
    };
    PressStart();
    EXPECT_EQ(view.Status(), text::kCodeplugCancelled);
    EXPECT_EQ(radio->Count(0x03, 0x07), 0);
    // Stop's EndUpdate, then the sequence's own; no second sequence began.
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false, false}));
    EXPECT_GT(stoppedUs, 0);
    EXPECT_LT(pump.nowUs - stoppedUs, 1'500'000);  // the 19.8 s wait ended within a slice
}

// The codeplug is saved before the second wait: a Stop during it keeps both copies.
TEST_F(Updater, StopWhileTheCodeplugIsConvertedKeepsBothBackups) {
    Start(Codeplug(4));
    view.onStatus = [&](const std::string& s) {
        if (s == text::kResettingConverting)
            pump.AfterMs(500, [&] { updater->m_StartButtonClick(); });
    };
    PressStart();
    EXPECT_EQ(view.Status(), text::kCodeplugCancelled);
    EXPECT_EQ(Backups().size(), 2u);
    EXPECT_EQ(Writes(), 0);
}

TEST_F(Updater, CloseQuery) {
    Start(Codeplug(4));
    EXPECT_TRUE(updater->FormCloseQuery());
    EXPECT_EQ(view.questions, 0);
    view.answerYes = false;
    view.onStatus = [&](const std::string& s) {
        if (s == text::kUploading) {
            EXPECT_FALSE(updater->FormCloseQuery());
        }
    };
    PressStart();
    EXPECT_EQ(view.questions, 1);
    EXPECT_EQ(view.Status(), text::kDone);
}

TEST_F(Updater, StaleChunkFileStopsBeforeAnythingIsSent) {
    std::ofstream(work / "Loader.1") << "left by another copy";
    Start(Codeplug(4));
    PressStart();
    EXPECT_THAT(OnlyMessage(kEmbeddedFilesTitle), StartsWith(kEmbeddedLoaderFailed));
    EXPECT_EQ(view.Status(), text::kIdle);
    EXPECT_EQ(radio->Count(0x02, 0x01), 0);
    EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"Loader.1"}));
}

TEST_F(Updater, ProcessorMismatchMessageFollowsTheVariant) {
    UsePackage(kUpgradeApplication, 1, 1, 0);  // kind 1
    attributes.ProcessorVariant = 1;
    Start(Codeplug(4), flashsim::Settings{8});  // the radio has the other processor
    PressStart();
    EXPECT_EQ(OnlyMessage(text::kTitleUpdater), text::kProcessorFor316);
    EXPECT_EQ(view.Status(), text::kIdle);
    EXPECT_EQ(component.Baud(), 19200);
}

// A DSP package's pages go through one private folder under TMPDIR, gone at the end. A full
// disk while they are split: the page-file text, nothing sent after the page start, and neither
// page files nor joined images left.
TEST_F(Updater, DspPackagePagesGoThroughAPrivateFolder) {
    TempDir temp("quenta-dsp-test");
    const char* savedTmp = std::getenv("TMPDIR");
    const std::string restoreTmp = savedTmp != nullptr ? savedTmp : "";
    ::setenv("TMPDIR", temp.Path().c_str(), 1);
    for (const bool fullDisk : {false, true}) {
        SCOPED_TRACE(fullDisk ? "a full disk" : "room enough");
        firmwaregen::DspPlan plan;
        plan.pages = 1;  // the 40-byte layout holds page 0 only
        if (fullDisk)
            plan.maxSectionWords = 3000;
        const firmwaregen::DspImage dsp = UseDspPackage(plan);
        view.Reset();
        Start(Codeplug(4));
        std::optional<FileSizeLimit> full;
        std::ptrdiff_t folders = 0;  // private folders once the pages are written
        std::size_t requestsAtPageStart = 0;
        view.onStatus = [&](const std::string& s) {
            if (s != (fullDisk ? "Preparing to download ..." : "Downloading Loader code..."))
                return;
            folders = std::distance(fs::directory_iterator(temp.Path()), fs::directory_iterator());
            requestsAtPageStart = radio->requests.size() + 1;
            if (fullDisk)
                full.emplace(1024);
        };
        PressStart();
        full.reset();
        EXPECT_EQ(folders, 1);
        EXPECT_TRUE(fs::is_empty(temp.Path()));
        EXPECT_TRUE(WorkFiles().empty());
        if (fullDisk) {
            EXPECT_EQ(view.Status(), "Error writing the DSP page files during DSP download.");
            EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kFailed);
            EXPECT_EQ(radio->requests.size(), requestsAtPageStart);  // the page start, then nothing
            EXPECT_EQ(radio->requests.back(), (Bytes{0x02, 0x00}));
            continue;
        }
        EXPECT_EQ(view.Status(), "Download finished");
        EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kSucceeded);
        ASSERT_FALSE(radio->flash.Images().empty());
        EXPECT_EQ(radio->flash.Images().back().pages.size(),
                  firmwaregen::ExpectedPages(dsp).size());
        EXPECT_EQ(radio->Count(0x03, 0x07), 0);  // no codeplug stage
    }
    if (savedTmp != nullptr)
        ::setenv("TMPDIR", restoreTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

// The automatic sequence of an Application/Boot package for series 4.
TEST_F(Updater, AutomaticBootUpdateFromTheSecondSet) {
    UsePackage(kUpgradeApplicationBoot);
    Start(Codeplug(4));
    ASSERT_TRUE(updater->AutoBootUpdate());
    radio->boot = {7, 1};  // second set's major, older minor
    PressStart();
    EXPECT_EQ(OnlyMessage(text::kTitleUpdater), text::kBootUpdated);
    EXPECT_EQ(view.Status(), text::kDone);
    const auto& images = radio->flash.Images();
    ASSERT_EQ(images.size(), 4u);  // loader, boot, loader, application
    EXPECT_EQ(images[1].data.size(), 1024u);
    EXPECT_EQ(images[3].data.size(), 2048u);
    EXPECT_TRUE(WorkFiles().empty());
}

TEST_F(Updater, AutomaticSequenceStopsAfterAFailedBootDownload) {
    UsePackage(kUpgradeApplicationBoot);
    flashsim::Faults faults;
    faults.verifyFailAtPair = 0;
    Start(Codeplug(4), {}, faults);
    radio->boot = {4, 1};
    PressStart();
    EXPECT_THAT(view.Status(), StartsWith("Flash Verify failed"));
    EXPECT_TRUE(view.Titled(text::kTitleUpdater).empty());  // no bootload-mode box
    EXPECT_EQ(radio->flash.Images().size(), 2u);
    EXPECT_TRUE(WorkFiles().empty());
    EXPECT_EQ(updater->LastOutcome(), UpdateOutcome::kFailed);

    // A current boot goes straight to the application.
    view.Reset();
    Start(Codeplug(4));
    radio->boot = {4, 3};
    PressStart();
    EXPECT_EQ(view.Status(), text::kDone);
    EXPECT_EQ(radio->flash.Images().size(), 2u);
}

}  // namespace
