#pragma once

#include <filesystem>
#include <string>

#include "common/ReplacementFile.h"

struct archive;

// A .tar.gz written whole or not at all: entries go into a private temporary file beside the
// target (0600), which replaces it only when every entry was written. Destroyed unfinished,
// the temporary file goes and the target is untouched.
class TarGzWriter {
  public:
    TarGzWriter() = default;
    ~TarGzWriter();
    TarGzWriter(const TarGzWriter&) = delete;
    TarGzWriter& operator=(const TarGzWriter&) = delete;

    // Each call false with a line for the user when it failed; the archive is then lost.
    bool Open(const std::filesystem::path& target, std::string& error);
    // A regular file named name (folders in it with '/') holding bytes, 0600.
    bool Add(const std::string& name, const std::string& bytes, std::string& error);
    // The same with the contents of file, streamed.
    bool AddFile(const std::string& name, const std::filesystem::path& file, std::string& error);
    bool Finish(std::string& error);

  private:
    bool Failed(const std::string& what, std::string& error);
    void Discard();

    ReplacementFile file_;
    archive* archive_ = nullptr;
};
