#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// A private folder for the files a harness makes, in memory where the machine has /dev/shm;
// removed when the fuzzer ends.
class FuzzTempDir {
  public:
    FuzzTempDir() {
        std::error_code ec;
        const bool shm = std::filesystem::is_directory("/dev/shm", ec);
        std::string pattern =
            (shm ? std::string("/dev/shm") : std::filesystem::temp_directory_path().string()) +
            "/quenta-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = pattern;
    }
    ~FuzzTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FuzzTempDir(const FuzzTempDir&) = delete;
    FuzzTempDir& operator=(const FuzzTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};
