#pragma once

#include <ostream>
#include <string>

#include "CommandView.h"

// The update logic's view in a terminal: status lines as they change on stdout, a progress
// bar redrawn in place when stdout is a terminal (plain lines at every tenth otherwise),
// message boxes as lines on stderr that begin with their title, the passwords read without
// echo from the terminal (or from a file), the bootload-mode OK as Enter (or at once), a
// yes/no question answered on the terminal (Yes at once with --yes; No without a terminal).
class TerminalView : public CommandView {
  public:
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
    // On the bar's line (on a terminal) or after the share (plain lines).
    void ShowTimeLeft(int seconds) override;
    // Keeps the run's row for the summary; each image that has crossed since is said in a line
    // of its own ("Wrote N bytes in ...").
    void ShowRun(const JournalRow& row) override;
    void ShowVersionInfo(const VersionRecord& record, TargetKind kind) override;

    // A yes/no question of the command's own, answered on the terminal (y or yes); false when
    // there is none to ask on or it was interrupted.
    bool Confirm(const std::string& question) override;
    // A line of the command's own between status lines (the bar, if shown, is drawn again).
    void Note(const std::string& line) override;
    // What the last run did, from its row: a heading and one line per fact. Nothing when no
    // run was recorded.
    void PrintSummary() override;
    // Messages shown so far.
    int Messages() const { return messages_; }

  private:
    void PercentChanged(int before) override;
    void ClearBar();
    void DrawBar();
    // A line from the terminal without echo; false when there is no terminal or it was
    // interrupted.
    bool ReadSecret(const std::string& prompt, std::string& out);
    // A y/n line from the terminal while the event loop runs; false for anything but yes, when
    // there is no terminal, or when it was interrupted.
    bool ReadAnswer(const std::string& prompt);

    std::ostream& out_;
    std::ostream& err_;
    bool tty_ = false;
    bool barShown_ = false;
    std::string status_;
    int timeLeft_ = -1;
    JournalRow run_;
    std::size_t imagesSaid_ = 0;
    std::string detail_;
    int messages_ = 0;
};
