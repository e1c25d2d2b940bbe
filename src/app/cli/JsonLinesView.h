#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "CommandView.h"
#include "app/journal/JournalRow.h"

// The update logic's view for a program that follows the run (--json, and the parent of a
// several-radio update): one JSON object per line on out, its one key naming the event:
//   {"status": TEXT}                       the status line changed
//   {"detail": TEXT}                       why the status came about (the port went away)
//   {"phase": NAME}                        the run reached a phase (the journal row's phase)
//   {"radio": {"serial": TEXT}}            the radio's serial, once read
//   {"progress": {"done": N, "total": N, "percent": P, "rate": B}}
//                                          the bar moved a percent: done and total in the
//                                          step's own units, rate the bytes a second the tool
//                                          sends on the line lately
//   {"message": {"title", "icon", "text"}} a message box
//   {"question": {"title", "text", "answer": "line" | "yes-no"}}
//                                          a box that waits for one line on the answer
//                                          descriptor (stdin): any line is the OK of a
//                                          "line" question; "y..." is the Yes of a "yes-no"
//                                          one (with --yes it is a message, answered Yes)
//   {"note": TEXT}                         a line of the command's own
//   {"result": {the journal row's fields, "exitStatus": N}}   the last line
// Passwords are never asked: the Start password comes by file or descriptor, the codeplug
// password by file (else it is declined).
class JsonLinesView : public CommandView {
  public:
    JsonLinesView(Options options, std::ostream& out, int answerFd);
    ~JsonLinesView() override;

    void SetStatus(const std::string& text) override;
    void ShowStatusDetail(const std::string& detail) override;
    void ShowMessage(const std::string& title, MessageIcon icon, const std::string& text) override;
    bool AskYesNo(const std::string& title, const std::string& text) override;
    bool AskPassword(std::string& entered) override;
    bool AskCodeplugPassword(std::string& entered) override;
    void ShowVersionInfo(const VersionRecord& record, TargetKind kind) override;

    void Note(const std::string& line) override;

    // Every frame the link traces; the bytes sent give the rate.
    void OnFrame(char direction, const std::uint8_t* bytes, int count, std::int64_t ms);
    // The run's journal row as recorded: phase and serial events when they change.
    void RowRecorded(const JournalRow& row);
    // The last line: the row of the run (none recorded: a run that did nothing) and the exit
    // status of the command.
    void Result(int exitStatus);
    // The last line of a read of the radio's version information: the fields read (null when
    // none were) and the exit status.
    void VersionResult(int exitStatus);

  private:
    void PercentChanged(int before) override;
    void Emit(const nlohmann::json& event);
    // One line on the answer descriptor; false when it ended or the wait was interrupted.
    bool WaitForAnswer(std::string& answer);

    std::ostream& out_;
    int answerFd_;
    std::string status_;
    std::string detail_;
    JournalRow row_;
    bool rowRecorded_ = false;
    std::uint64_t sent_ = 0;
    std::int64_t windowMs_ = -1;
    std::uint64_t windowBytes_ = 0;
    std::uint64_t rate_ = 0;
    nlohmann::json version_;
};

// Hands every row to next (when set) and shows it to watch.
class WatchedRecorder : public UpdateRecorder {
  public:
    WatchedRecorder(UpdateRecorder* next, std::function<void(const JournalRow&)> watch)
        : next_(next), watch_(std::move(watch)) {}
    void Record(JournalRow& row) override {
        if (next_ != nullptr)
            next_->Record(row);
        watch_(row);
    }

  private:
    UpdateRecorder* next_;
    std::function<void(const JournalRow&)> watch_;
};
