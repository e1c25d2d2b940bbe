#pragma once

#include <functional>
#include <string>

#include "transfer/ZKWTransfer.h"

// Answers the radio's password challenge at the start of a codeplug transfer.
class ZKWTransferParmsPassChecker : public ZKWTransfer {
  public:
    // Asks the user for the radio's codeplug password: true with the text entered, false when
    // the user declined. The application provides it (a dialog, or a terminal prompt).
    using PasswordPrompt = std::function<bool(std::string& password)>;

    static constexpr int kMaxPrompts = 3;

    // Runs right after the upload or download request: positive to go on, 0 or negative on a
    // link failure. An exchange that ends without access sends the transfer's end.
    int Run();

    PasswordPrompt askPassword;

    // Whether the last Run ended with access granted, and how often it asked the user.
    bool Granted() const { return granted_; }
    int Prompts() const { return prompts_; }

  private:
    bool granted_ = false;
    int prompts_ = 0;
};
