#pragma once

#include <cstdint>

#include "link/LinkTypes.h"

// One row of the radio command table.
struct CommandEntry {
    std::uint8_t code2[2];    // two-byte code: group, function
    std::uint8_t code1;       // one-byte code (0x00 where there is none); carried, never sent
    std::uint8_t dataLength;  // data bytes that follow the code
    std::int32_t id;          // CommandId
};

// Identifiers of the rows this program names; every id 0..59 is a row.
enum CommandId : std::int32_t {
    kCmdDspPageStart = 1,
    kCmdBlockPairChecksum = 3,
    kCmdDspPageAccepted = 4,
    kCmdEndOfDownload = 5,
    kCmdChecksumMatches = 6,
    kCmdChecksumDiffers = 7,
    kCmdReady = 8,
    kCmdEndOfDspPage = 11,
    kCmdReadSerialNumber = 24,
    kCmdSerialNumber = 25,
    kCmdReadHardwareRevision = 26,
    kCmdHardwareRevision = 27,
    kCmdReadControllerVersion = 28,
    kCmdControllerVersion = 29,
    kCmdReadDspVersion = 30,
    kCmdDspVersion = 31,
    kCmdReadFileFormatVersion = 35,
    kCmdFileFormatVersion = 36,
    kCmdChangeBaud = 42,
    kCmdDownloadStart = 47,
    kCmdDataBlock = 48,
    kCmdDownloadBusy = 49,
    kCmdInformationBusy = 51,
    kCmdReadBootVersion = 56,
    kCmdBootVersion = 57,
    kCmdReadSemVersion = 58,
    kCmdSemVersion = 59,
};

constexpr int kCommandCount = 60;
extern const CommandEntry kCommandTable[kCommandCount];

// Index of the row with this id, or -1.
int FindCommand(std::int32_t id);
// Fills record with the row's two-byte code (length 2) or one-byte code (length 1); false and
// record untouched for an id not in the table.
bool MakeCommand(MessageRecord& record, std::int32_t id, bool twoByte = true);
// dataLength + 2 (two-byte) or + 1; 0 for an id not in the table.
int ReplyLength(std::int32_t id, bool twoByte = true);
