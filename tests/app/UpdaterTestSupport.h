#pragma once

// The update logic on the virtual clock: a recording view, a radio on the fake line that
// answers the identification reads, takes flash downloads and serves its codeplug, and a bench
// that wires them to a CodeUpdater with a package held in memory.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CodeplugPeer.h"
#include "DownloadTestSupport.h"
#include "FlashTarget.h"
#include "LinkTestSupport.h"
#include "TempDir.h"
#include "app/core/CodeUpdater.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageNames.h"

namespace updatertest {

using linktest::Bytes;

struct Message {
    std::string title;
    MessageIcon icon;
    std::string text;
};

// What a RecordingView has recorded and how it answers; Reset starts both afresh.
struct ViewRecord {
    std::vector<std::string> statuses;
    std::vector<std::string> details;  // every ShowStatusDetail, in order
    std::vector<Message> messages;
    std::vector<bool> busy;  // every ShowBusy, in order
    // Answers of the password dialog in turn; nullopt is Cancel.
    std::deque<std::optional<std::string>> passwords;
    int passwordPrompts = 0;
    // The answer to the radio's codeplug password challenge (empty: declined).
    std::string codeplugPassword;
    int codeplugPasswordPrompts = 0;
    bool answerYes = true;
    int questions = 0;
    std::string lastQuestion;
    // Called with every question before it is answered.
    std::function<void(const std::string&)> onQuestion;
    bool answersAlone = false;  // the bootload-mode box is OK'd by no one (--yes)
    dltest::RecordingBar bar;
    int selected = 0;
    bool bootChecked = false;
    std::vector<VersionRecord> shown;
    std::function<void(const std::string&)> onStatus;
    std::function<void(const Message&)> onMessage;
    std::function<void(int position)> onPosition;
    JournalRow run;              // the last row ShowRun was given
    std::vector<int> timesLeft;  // every ShowTimeLeft, in order
};

class RecordingView : public UpdaterView, public ViewRecord {
  public:
    void SetStatus(const std::string& text) override {
        statuses.push_back(text);
        if (onStatus)
            onStatus(text);
    }
    void ShowStatusDetail(const std::string& detail) override { details.push_back(detail); }
    void ShowMessage(const std::string& title, MessageIcon icon, const std::string& text) override {
        messages.push_back({title, icon, text});
        if (onMessage)
            onMessage(messages.back());
    }
    bool AnswersBootloadBoxAlone() const override { return answersAlone; }
    bool AskYesNo(const std::string&, const std::string& text) override {
        ++questions;
        lastQuestion = text;
        if (onQuestion)
            onQuestion(text);
        return answerYes;
    }
    bool AskPassword(std::string& entered) override {
        ++passwordPrompts;
        if (passwords.empty())
            return false;
        std::optional<std::string> answer = passwords.front();
        passwords.pop_front();
        if (!answer)
            return false;
        entered = *answer;
        return true;
    }
    bool AskCodeplugPassword(std::string& entered) override {
        ++codeplugPasswordPrompts;
        entered = codeplugPassword;
        return !codeplugPassword.empty();
    }
    ProgressBar& Progress() override { return hooked_; }
    int ProgressPosition() const override { return bar.position < 0 ? 0 : bar.position; }
    void ShowBusy(bool on) override { busy.push_back(on); }
    void SetRetrieveEnabled(bool) override {}
    void FocusRetrieve() override {}
    int SelectedPortIndex() const override { return selected; }
    bool BootChecked() const override { return bootChecked; }
    void ShowVersionInfo(const VersionRecord& record, TargetKind) override {
        shown.push_back(record);
    }
    void PortsScanned() override {}
    void ShowRun(const JournalRow& row) override { run = row; }
    void ShowTimeLeft(int seconds) override { timesLeft.push_back(seconds); }

    std::string Status() const { return statuses.empty() ? std::string() : statuses.back(); }
    bool HasStatus(const std::string& text) const;
    // The messages with this title.
    std::vector<Message> Titled(const std::string& title) const;

  private:
    // The recording bar, and every position to onPosition.
    class HookedBar : public ProgressBar {
      public:
        explicit HookedBar(RecordingView& view) : view_(view) {}
        void SetMinimum(int v) override { view_.bar.SetMinimum(v); }
        void SetMaximum(int v) override { view_.bar.SetMaximum(v); }
        void SetPosition(int v) override {
            view_.bar.SetPosition(v);
            if (view_.onPosition)
                view_.onPosition(v);
        }

      private:
        RecordingView& view_;
    };
    HookedBar hooked_{*this};

  public:
    RecordingView() = default;
    RecordingView(const RecordingView&) = delete;
    RecordingView& operator=(const RecordingView&) = delete;
    // A fresh record (the hooks and answers too).
    void Reset() { static_cast<ViewRecord&>(*this) = ViewRecord{}; }
};

// The test radio's serial number (as the journal keeps it: 000123456789ABCD).
inline const Bytes kSerialNumber = {0, 1, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD};

// The radio on the fake line: identification reads (group 4), rate changes and the flash
// download (through the flash target), the codeplug transfer (through the codeplug peer) and
// the interface box.
class VirtualRadio {
  public:
    VirtualRadio(linktest::VirtualPump& pump, linktest::FakeLine& line,
                 const CodeplugScenario& codeplug, flashsim::Settings flash = {},
                 flashsim::Faults faults = {});

    Bytes boot = {4, 3};
    bool bootPresent = true;
    Bytes format = {5, 9};
    Bytes formatAfterUpdate = {5, 10};  // once code has been flashed
    Bytes serial = kSerialNumber;
    Bytes versionBytes = {1, 2, 3};  // DSP, controller and hardware versions
    bool box = false;
    int unansweredSerialReads = 0;  // serial-number requests that get no reply

    flashsim::FlashTarget flash;
    CodeplugPeer codeplug;
    std::vector<Bytes> requests;
    // Called for every request before it is answered.
    std::function<void(const Bytes&)> onRequest;

    // Requests of this two-byte code seen so far.
    int Count(std::uint8_t group, std::uint8_t code) const;

  private:
    void Answer(const Bytes& payload, std::uint8_t source);
    void Send(const Bytes& payload, std::uint8_t source, double delayMs) {
        radio_.Reply(payload, delayMs, source);
    }

    linktest::LineRadio radio_;
};

// S-record images for a package: a loader (S2) and code (S3) of this many data bytes.
std::string LoaderImage(std::size_t bytes = 256, std::uint32_t seed = 1);
std::string CodeImage(std::size_t bytes = 2048, std::uint32_t seed = 2);

// A CodeUpdater on the virtual clock with a package in memory.
class UpdaterBench {
  public:
    UpdaterBench();
    ~UpdaterBench();

    linktest::VirtualPump pump;
    linktest::FakeLine line;
    linktest::VirtualTimer commTimer{pump};
    linktest::VirtualTimer progressTimer{pump};
    linktest::FakeComponent component{pump, line};
    PumpDownloadClock clock{pump};
    TempDir work;
    TempDir backupRoot;
    int processors = 1;
    std::set<int> absentPorts;
    UpdaterPlatform platform;

    ResourceAttributes attributes;
    MemoryPackage package;
    RecordingView view;
    std::unique_ptr<VirtualRadio> radio;
    std::unique_ptr<CodeUpdater> updater;

    // Attributes of a family-0 series-4 package (kind 6) of this upgrade type, with one
    // chunked image per set in use.
    void UsePackage(std::uint8_t upgradeType, std::uint8_t family = 0, std::int8_t series = 4,
                    std::uint8_t kindBySeries = 1);
    // Puts the package and a radio on the line, then runs the window's construction.
    void Start(const CodeplugScenario& codeplug = {}, flashsim::Settings flash = {},
               flashsim::Faults faults = {});
    // Start pressed with this password in the dialog (none: already accepted).
    void PressStart(std::optional<std::string> password = std::string("pelican"));
    std::filesystem::path BackupDirectory() const;
    std::vector<std::filesystem::path> Backups() const;
    std::vector<std::string> WorkFiles() const;
};

}  // namespace updatertest
