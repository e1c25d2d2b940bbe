#pragma once

#include <filesystem>

// An exclusive flock on a folder itself, held for the object's life: copies of the program
// that share a working folder take turns with it. Nothing is made in the folder, so nothing is
// left behind, whatever way the program ends. A folder that cannot be locked (a file system
// without flock) is not waited for.
class FolderLock {
  public:
    explicit FolderLock(const std::filesystem::path& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_ = -1;
};
