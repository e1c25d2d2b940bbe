#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transfer/ZKWTransferParmsPassChecker.h"

class RadioLink;
class UpdaterView;

// The codeplug password the user gave in this run, so that the read-back after a write answers
// the radio's challenge with it instead of asking again.
class CodeplugPasswords {
  public:
    explicit CodeplugPasswords(UpdaterView& view) : view_(view) {}
    // Asks the view and remembers what was entered.
    ZKWTransferParmsPassChecker::PasswordPrompt Prompt();
    // Answers the first challenge with the remembered password (when there is one), then asks.
    ZKWTransferParmsPassChecker::PasswordPrompt ReadBackPrompt();

  private:
    UpdaterView& view_;
    std::string last_;
};

// What a read-back after a codeplug write found.
struct CodeplugVerify {
    enum class Outcome { kHeld, kDiffers, kReadFailed, kStopped };
    Outcome outcome = Outcome::kReadFailed;
    std::size_t word = 0;       // kDiffers: the first word (0 first) that differs
    std::uint16_t written = 0;  // ... what was written there
    std::uint16_t read = 0;     // ... and what the radio gave back
    bool shortRead = false;     // ... the radio gave fewer bytes than were written

    bool Held() const { return outcome == Outcome::kHeld; }
    // One clause for the user: "word 12 differs (written 1A2B, read 1A2A)", "the read-back
    // failed".
    std::string Describe() const;
};

// Compares what the radio gave back with what was written, over the written length; written
// zero words past the end of what the radio gave back are fill it does not send.
CodeplugVerify CompareCodeplug(const std::vector<std::uint8_t>& written, const std::uint8_t* read,
                               std::size_t readLength);

// Reads the radio's codeplug with an upload (the link is open and has its timeout prepared)
// and compares it with written.
CodeplugVerify ReadBackCodeplug(RadioLink& link,
                                const ZKWTransferParmsPassChecker::PasswordPrompt& prompt,
                                const std::vector<std::uint8_t>& written);
