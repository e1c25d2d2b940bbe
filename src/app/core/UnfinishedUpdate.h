#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class UpdateRecorder;

// The converted codeplug an earlier update of a radio saved and never saw the radio hold.
struct UnfinishedBackup {
    std::filesystem::path path;
    std::vector<std::uint8_t> codeplug;  // as it travels, every word high byte first
    std::string started;                 // when that update began (the journal's UTC text)
    std::string sha256;
};

// Looks through the journal's rows of serial, newest first (the row thisRun aside), for the
// last update (or codeplug upgrade) that saved a converted codeplug. It is offered when that
// run did not finish (pending, failed or stopped), no later run left a verified codeplug in the
// radio, and the file still holds what was saved (the same SHA-256) in the format radioFormat.
bool FindUnfinishedBackup(UpdateRecorder& recorder, const std::string& serial, std::int64_t thisRun,
                          const std::uint8_t radioFormat[2], UnfinishedBackup& out);
