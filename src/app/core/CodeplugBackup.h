#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

// Codeplug files saved before anything is written to a radio, so that a technician can always
// put the radio's configuration back (`quenta codeplug write`). Each file holds the bytes as
// they travel (every word high byte first). Names: SERIAL_YYYYMMDDTHHMMSSZ_FORMAT.codeplug,
// e.g. 0001234567890ABCD_20261208T081500Z_5.9.codeplug; "-2", "-3", ... before the extension
// when that name is taken.
struct CodeplugBackupFile {
    std::filesystem::path path;
    std::string error;  // empty when saved
};

// Creates directory (and its parents) 0700 when missing, narrows it and older backups in it to
// the owner when they are open to others, and saves bytes under the first free name for
// serial, utc and format: never over an earlier backup, none is ever removed. The file (0600)
// is created exclusively, and it and the folder's entry are flushed to disk before it counts
// as saved; a partial file is removed.
CodeplugBackupFile SaveCodeplugBackup(const std::filesystem::path& directory,
                                      const std::string& serial, std::time_t utc,
                                      const std::string& format,
                                      const std::vector<std::uint8_t>& bytes);

// An existing backup folder an older run left open to others, and the backups in it, become
// the owner's alone; a missing folder stays missing.
void NarrowBackupFolder(const std::filesystem::path& directory);

// The default backup folder: $XDG_DATA_HOME/quenta/backups, else ~/.local/share/quenta/backups.
std::filesystem::path DefaultBackupDirectory();
