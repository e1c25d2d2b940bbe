#pragma once

#include <cstddef>
#include <string>

#include "app/core/UpdaterView.h"

// An answer typed to a question longer than this is no answer.
inline constexpr std::size_t kMaxAnswerBytes = 64;

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
// logic's own calls.
class CommandView : public UpdaterView {
  public:
    // Ends a wait for an answer (Ctrl-C).
    virtual void Interrupt() = 0;
    // A line of the command's own between status lines.
    virtual void Note(const std::string& line) = 0;
    // The Start password was given (by file or on the terminal), whether right or wrong.
    virtual bool PasswordEntered() const = 0;
    virtual bool VersionShown() const = 0;
    // A question the user answers yes or no; a view that cannot ask declines.
    virtual bool Confirm(const std::string& /*question*/) { return false; }
    // What the run did, after its last status line, for a person; a view for a program has
    // the run's row in its result instead.
    virtual void PrintSummary() {}
};
