#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// A file this program creates and nobody else may have: the create fails when any entry of
// that name exists (O_EXCL), so two copies started at once cannot both take the same name.
// Every write is checked whole; the file is closed when the object goes.
class ExclusiveFile {
  public:
    ExclusiveFile() = default;
    ~ExclusiveFile();
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // 0 on success, else the errno of the create (EEXIST when the name is taken).
    int Create(const std::filesystem::path& path);
    // False when fewer than count bytes could be written; Error() says why.
    bool Write(const char* data, std::size_t count);
    // False when the close reported a failure (a write the system could not complete).
    bool Close();
    int Error() const { return error_; }

  private:
    int fd_ = -1;
    int error_ = 0;
};

// "No space left on device" and the like, for a technician's detail line.
std::string ErrorText(int error);
