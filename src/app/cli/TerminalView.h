#pragma once

#include <ostream>
#include <string>

#include "CommandView.h"

class QEventLoop;

// The update logic's view in a terminal: status lines as they change on stdout, a progress
// bar redrawn in place when stdout is a terminal (plain lines at every tenth otherwise),
// message boxes as lines on stderr that begin with their title, the passwords read without
// echo from the terminal (or from a file), the bootload-mode OK as Enter (or at once), a
// yes/no question answered on the terminal (Yes at once with --yes; No without a terminal).
class TerminalView : public CommandView, private ProgressBar {
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

    // out is a terminal when it is std::cout and stdout is one.
    TerminalView(Options options, std::ostream& out, std::ostream& err);
    ~TerminalView() override;

    void SetStatus(const std::string& text) override;
    // Printed once on a line of its own, after the status it explains.
    void ShowStatusDetail(const std::string& detail) override;
    void ShowMessage(const std::string& title, MessageIcon icon, const std::string& text) override;
    bool AskYesNo(const std::string& title, const std::string& text) override;
    bool AskPassword(std::string& entered) override;
    bool AskCodeplugPassword(std::string& entered) override;
    ProgressBar& Progress() override { return *this; }
    int ProgressPosition() const override { return position_; }
    // On the bar's line (on a terminal) or after the share (plain lines).
    void ShowTimeLeft(int seconds) override;
    // Keeps the run's row for the summary; each image that has crossed since is said in a line
    // of its own ("Wrote N bytes in ...").
    void ShowRun(const JournalRow& row) override;
    void ShowBusy(bool) override {}
    void SetRetrieveEnabled(bool) override {}
    void FocusRetrieve() override {}
    int SelectedPortIndex() const override { return options_.comNumber - 1; }
    bool BootChecked() const override { return options_.boot; }
    bool AnswersBootloadBoxAlone() const override { return options_.assumeYes; }
    void ShowVersionInfo(const VersionRecord& record, TargetKind kind) override;
    void PortsScanned() override {}

    // A yes/no question of the command's own, answered on the terminal (y or yes); false when
    // there is none to ask on or it was interrupted.
    bool Confirm(const std::string& question) override;
    // Ends a wait for Enter (Ctrl-C).
    void Interrupt() override;
    // A line of the command's own between status lines (the bar, if shown, is drawn again).
    void Note(const std::string& line) override;
    // What the last run did, from its row: a heading and one line per fact. Nothing when no
    // run was recorded.
    void PrintSummary() override;
    bool VersionShown() const override { return versionShown_; }
    // Messages shown so far.
    int Messages() const { return messages_; }
    // The Start password was given (by file or on the terminal), whether right or wrong.
    bool PasswordEntered() const override { return passwordEntered_; }

  private:
    void SetMinimum(int value) override { minimum_ = value; }
    void SetMaximum(int value) override { maximum_ = value; }
    void SetPosition(int value) override;
    void ClearBar();
    void DrawBar();
    bool WaitForEnter();
    // A line from the terminal without echo; false when there is no terminal or it was
    // interrupted.
    bool ReadSecret(const std::string& prompt, std::string& out);
    // A y/n line from the terminal while the event loop runs; false for anything but yes, when
    // there is no terminal, or when it was interrupted.
    bool ReadAnswer(const std::string& prompt);

    Options options_;
    std::ostream& out_;
    std::ostream& err_;
    bool tty_ = false;
    bool barShown_ = false;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int shownPercent_ = -1;
    std::string status_;
    int timeLeft_ = -1;
    JournalRow run_;
    std::size_t imagesSaid_ = 0;
    std::string detail_;
    bool versionShown_ = false;
    int messages_ = 0;
    QEventLoop* enterLoop_ = nullptr;
    bool interrupted_ = false;
    bool passwordEntered_ = false;
};
