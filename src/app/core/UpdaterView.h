#pragma once

#include <string>

#include "app/journal/JournalRow.h"
#include "download/ProgressBar.h"
#include "link/LinkTypes.h"
#include "link/VersionRecord.h"

enum class MessageIcon { kError, kInformation, kQuestion };

// What the update logic needs of the main window. The Qt main window implements it with
// widgets, `quenta update` in a terminal, tests with a recorder. Every call is made on the one
// thread; the modal ones (messages, questions, the password) run the event loop while shown.
class UpdaterView {
  public:
    virtual ~UpdaterView() = default;

    // The status line.
    virtual void SetStatus(const std::string& text) = 0;
    // Why the status just set came about, when the status text alone does not say it (the
    // port went away); shown beside the status line. A view without room for it ignores it.
    virtual void ShowStatusDetail(const std::string& /*detail*/) {}
    // A modal message box with an OK button.
    virtual void ShowMessage(const std::string& title, MessageIcon icon,
                             const std::string& text) = 0;
    // A modal Yes/No question with a question icon; true for Yes.
    virtual bool AskYesNo(const std::string& title, const std::string& text) = 0;
    // The password dialog: false when it was closed with Cancel, else the text as typed.
    virtual bool AskPassword(std::string& entered) = 0;
    // The bootload-mode box is answered with no one there to put the radio back (--yes): the
    // update logic then asks the radio until it answers before going on.
    virtual bool AnswersBootloadBoxAlone() const { return false; }
    // The radio asks for its codeplug password while the codeplug is read or written: false
    // when the user declines, else the text entered. A view without a prompt declines.
    virtual bool AskCodeplugPassword(std::string& /*entered*/) { return false; }

    // The progress bar, driven by the downloads and by the progress timer.
    virtual ProgressBar& Progress() = 0;
    virtual int ProgressPosition() const = 0;
    // The seconds a download or transfer still needs at its pace so far, beside the progress
    // bar; -1 when none is known (or none runs).
    virtual void ShowTimeLeft(int /*seconds*/) {}

    // The run's journal row each time it changes (its start, each phase and image, its end):
    // the details of what the run did, as the journal keeps them.
    virtual void ShowRun(const JournalRow& /*row*/) {}

    // Busy: Start reads "Stop", the port list and Retrieve are disabled; idle: the reverse.
    virtual void ShowBusy(bool busy) = 0;
    virtual void SetRetrieveEnabled(bool enabled) = 0;
    virtual void FocusRetrieve() = 0;

    // The COM list position selected (0..63; position n-1 is COM n).
    virtual int SelectedPortIndex() const = 0;
    // The Boot radio button is checked (Application/Boot packages that choose by hand).
    virtual bool BootChecked() const = 0;

    // Retrieve read the radio: fill the version pane; the controller heading changes.
    virtual void ShowVersionInfo(const VersionRecord& record, TargetKind kind) = 0;
    // The port tables changed (a scan): redraw the list.
    virtual void PortsScanned() = 0;
};
