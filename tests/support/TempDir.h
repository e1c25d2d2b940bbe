#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

// A fresh directory of its own under the system's temporary folder, removed with everything in
// it when the object goes, whether the test passed or failed.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "quenta-test") {
        std::string pattern = std::filesystem::temp_directory_path() / (prefix + "-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path; }
    std::string operator/(const std::string& name) const { return path + "/" + name; }

  private:
    std::string path;
};
