#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CodeUpdater;
class RadioLink;
class UpdaterView;

// The codeplug format the radio's firmware expects (command 04 1C): true with major and minor.
// The link is open, framed and has a timeout prepared.
bool QueryRadioCodeplugFormat(RadioLink& link, std::uint8_t format[2]);

// Reading and restoring a radio's codeplug outside an update, on a port that updater has
// opened (OpenSelectedPort(true)). The radio's password challenge is answered through the
// view. Codeplugs are the bytes as they travel, every word high byte first.
struct RadioCodeplugResult {
    bool ok = false;
    std::string error;           // one line for the user when not ok
    bool verified = false;       // a write: the read-back matched what was written
    std::string serial;          // a write: the radio's serial number, once it gave it
    bool portNotOpened = false;  // the port could not be opened (its own message said why)
    std::uint8_t radioFormat[2] = {0, 0};
    std::uint8_t codeplugIndex = 255;  // format index of the codeplug read or written
};

RadioCodeplugResult ReadRadioCodeplug(CodeUpdater& updater, UpdaterView& view,
                                      std::vector<std::uint8_t>& codeplug);

// Why codeplug cannot go into a radio whose firmware expects radioFormat (not well formed, or
// another format, with the conversion to run); empty when it can. codeplugIndex is the file's
// format index (255 when it has none).
std::string CodeplugMisfit(const std::vector<std::uint8_t>& codeplug,
                           const std::uint8_t radioFormat[2], std::uint8_t& codeplugIndex);

// Writes codeplug back only when it passes the structure check and is in the very format the
// radio reports; otherwise refuses (saying how to convert) and sends nothing. A write counts
// only when reading the codeplug back gives what was written. showProgress: the write and the
// read-back set the status line and drive the progress bar, as the update's stage does.
// expectedSerial (when not empty): a radio that gives another serial number is refused, so that
// a codeplug picked for one radio never goes into another plugged in meanwhile.
RadioCodeplugResult WriteRadioCodeplug(CodeUpdater& updater, UpdaterView& view,
                                       const std::vector<std::uint8_t>& codeplug,
                                       bool showProgress = false,
                                       const std::string& expectedSerial = {});
