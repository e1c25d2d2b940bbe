#pragma once

#include <filesystem>
#include <string>

// Folders that hold what is only the user's: codeplug backups, the journal, wire traces.
constexpr unsigned kPrivateFolderMode = 0700;

// Makes folder and every missing folder above it with mode 0700. A folder that already exists
// (an older run, or something else, made it wider) loses its group and other bits. False with
// a line naming the folder when it cannot be made or narrowed.
bool MakePrivateFolders(const std::filesystem::path& folder, std::string& error);

// Flushes folder's entries to disk, so that a file just created in it survives a power cut
// with its name. False with errno set.
bool SyncFolder(const std::filesystem::path& folder);
