#pragma once

#include <string>
#include <utility>

#include "AnswerReader.h"
#include "app/core/UpdaterView.h"

// The word a command prints for a message box's icon: error, information or question.
inline const char* IconWord(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kError:
            return "error";
        case MessageIcon::kInformation:
            return "information";
        default:
            return "question";
    }
}

// The update logic's view as a command shows it: lines for a person (TerminalView) or JSON
// lines for a program (JsonLinesView). What the commands ask of their view beyond the update
// logic's own calls, and what both views keep alike: the options of the command line, the
// progress bar's range and the share last shown, the wait for an answer.
class CommandView : public UpdaterView, private ProgressBar {
  public:
    struct Options {
        int comNumber = 1;
        bool boot = false;
        bool assumeYes = false;  // the bootload-mode box needs no Enter, questions are Yes
        std::string password;    // the Start password, when given by file
        bool passwordGiven = false;
        // The codeplug password, when given by file: the radio's challenge is answered with it
        // instead of asking on the terminal.
        std::string codeplugPassword;
        bool codeplugPasswordGiven = false;
        bool printVersionInfo = true;  // Retrieve prints the record on out
        bool titledMessages = true;    // false: a message is its text alone
    };

    ProgressBar& Progress() override { return *this; }
    int ProgressPosition() const override { return position_; }
    void ShowBusy(bool) override {}
    void SetRetrieveEnabled(bool) override {}
    void FocusRetrieve() override {}
    int SelectedPortIndex() const override { return options_.comNumber - 1; }
    bool BootChecked() const override { return options_.boot; }
    bool AnswersBootloadBoxAlone() const override { return options_.assumeYes; }
    void PortsScanned() override {}

    // Ends a wait for an answer (Ctrl-C).
    void Interrupt() { answers_.Interrupt(); }
    // A line of the command's own between status lines.
    virtual void Note(const std::string& line) = 0;
    // The Start password was given (by file or on the terminal), whether right or wrong.
    bool PasswordEntered() const { return passwordEntered_; }
    bool VersionShown() const { return versionShown_; }
    // A question the user answers yes or no; a view that cannot ask declines.
    virtual bool Confirm(const std::string& /*question*/) { return false; }
    // What the run did, after its last status line, for a person; a view for a program has
    // the run's row in its result instead.
    virtual void PrintSummary() {}

  protected:
    explicit CommandView(Options options) : options_(std::move(options)) {}

    // The bar moved to a whole percent other than the one shown last (shownPercent_, now the
    // new one); before is the one shown last, -1 when none was.
    virtual void PercentChanged(int before) = 0;
    // The Start password from the command line; false when none was given.
    bool GivenPassword(std::string& entered);
    // The codeplug password from the command line; false when none was given.
    bool GivenCodeplugPassword(std::string& entered) const;

    Options options_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int shownPercent_ = -1;
    AnswerReader answers_;
    bool passwordEntered_ = false;
    bool versionShown_ = false;

  private:
    void SetMinimum(int value) override { minimum_ = value; }
    void SetMaximum(int value) override { maximum_ = value; }
    void SetPosition(int value) override;
};
