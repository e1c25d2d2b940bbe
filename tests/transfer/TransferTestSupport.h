#pragma once

// Helpers of the codeplug transfer tests, on the fake line and over a pseudo-terminal.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "transfer/ZKWTransferParms.h"

namespace transfertest {

using Bytes = std::vector<std::uint8_t>;

// A chain of records: each 0x5F 0x5F, then its length in words (high byte first), then filler.
inline Bytes RecordChain(const std::vector<int>& wordsPerRecord) {
    Bytes bytes;
    for (int words : wordsPerRecord) {
        const std::size_t start = bytes.size();
        bytes.resize(start + 2 * static_cast<std::size_t>(words), 0x3C);
        bytes[start] = 0x5F;
        bytes[start + 1] = 0x5F;
        bytes[start + 2] = static_cast<std::uint8_t>(words >> 8);
        bytes[start + 3] = static_cast<std::uint8_t>(words & 0xFF);
    }
    return bytes;
}

// Answers the transfer's password prompts with these texts in turn and cancels any prompt
// after them; prompts counts every prompt shown.
inline void AnswerPrompts(ZKWTransferParms& transfer, std::vector<std::string> passwords,
                          int& prompts) {
    transfer.passChecker.askPassword = [&prompts, passwords](std::string& text) {
        if (prompts >= static_cast<int>(passwords.size())) {
            ++prompts;
            return false;
        }
        text = passwords[static_cast<std::size_t>(prompts++)];
        return true;
    };
}

// Downloads image from the start of buffer, the transfer's image buffer.
inline int DownloadImage(ZKWTransferParms& transfer, std::vector<std::uint8_t>& buffer,
                         const Bytes& image) {
    std::copy(image.begin(), image.end(), buffer.begin());
    transfer.SetSize(static_cast<std::int32_t>(image.size()));
    transfer.SetImage(buffer.data(), static_cast<std::int32_t>(image.size()));
    return transfer.Download();
}

}  // namespace transfertest
