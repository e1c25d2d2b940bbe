#include "app/core/CodeplugVerify.h"

#include <algorithm>
#include <cstdio>

#include "app/core/UpdaterView.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransferParms.h"

ZKWTransferParmsPassChecker::PasswordPrompt CodeplugPasswords::Prompt() {
    return [this](std::string& password) {
        const bool entered = view_.AskCodeplugPassword(password);
        if (entered)
            last_ = password;
        return entered;
    };
}

ZKWTransferParmsPassChecker::PasswordPrompt CodeplugPasswords::ReadBackPrompt() {
    return [this, remembered = !last_.empty()](std::string& password) mutable {
        if (remembered) {
            remembered = false;
            password = last_;
            return true;
        }
        const bool entered = view_.AskCodeplugPassword(password);
        if (entered)
            last_ = password;
        return entered;
    };
}

std::string CodeplugVerify::Describe() const {
    switch (outcome) {
        case Outcome::kHeld:
            return "the radio holds what was written";
        case Outcome::kReadFailed:
            return "the read-back failed";
        case Outcome::kStopped:
            return "the read-back was stopped";
        case Outcome::kDiffers:
            break;
    }
    char text[96];
    if (shortRead) {
        std::snprintf(text, sizeof text, "the radio gave back only %zu of the words written", word);
    } else {
        std::snprintf(text, sizeof text, "word %zu differs (written %04X, read %04X)", word,
                      unsigned{written}, unsigned{read});
    }
    return text;
}

CodeplugVerify CompareCodeplug(const std::vector<std::uint8_t>& written, const std::uint8_t* read,
                               std::size_t readLength) {
    CodeplugVerify v;
    v.outcome = CodeplugVerify::Outcome::kHeld;
    for (std::size_t at = 0; at < written.size(); at += 2) {
        const auto w = static_cast<std::uint16_t>((written[at] << 8) |
                                                  (at + 1 < written.size() ? written[at + 1] : 0));
        // The radio's upload ends with the block that holds its last record; zero words that
        // follow it in a converted image (fill up to its imageWords) are never sent back.
        if (at + 2 > readLength) {
            if (w == 0)
                continue;
            v.outcome = CodeplugVerify::Outcome::kDiffers;
            v.shortRead = true;
            v.word = at / 2;
            return v;
        }
        const auto r = static_cast<std::uint16_t>((read[at] << 8) | read[at + 1]);
        if (w != r) {
            v.outcome = CodeplugVerify::Outcome::kDiffers;
            v.word = at / 2;
            v.written = w;
            v.read = r;
            return v;
        }
    }
    return v;
}

CodeplugVerify ReadBackCodeplug(RadioLink& link,
                                const ZKWTransferParmsPassChecker::PasswordPrompt& prompt,
                                const std::vector<std::uint8_t>& written) {
    std::vector<std::uint8_t> buffer(kTransferImageBytes, 0);
    ZKWTransferParms transfer;
    transfer.SetImage(buffer.data(), 0);
    transfer.SetLink(&link);
    transfer.passChecker.askPassword = prompt;
    if (transfer.Upload() <= 0 || transfer.Size() <= 0)
        return {};
    const auto size =
        static_cast<std::size_t>(std::clamp<std::int32_t>(transfer.Size(), 0, kTransferImageBytes));
    return CompareCodeplug(written, buffer.data(), size);
}
