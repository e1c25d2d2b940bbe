#pragma once

// A port directory of its own for a test: the process's serial layer resolves COMn through it
// while the object lives, so the program's serial device reaches a simulated radio's
// pseudo-terminal by COM number.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "serial/PosixSerialOs.h"

namespace simtest {

class SimPortDirectory {
  public:
    SimPortDirectory() {
        std::string pattern = std::filesystem::temp_directory_path() / "quenta-ports-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
        auto& resolver = serial::SystemSerialOs().Resolver();
        previous_ = resolver.PortDirectory();
        resolver.SetPortDirectory(path_);
    }
    ~SimPortDirectory() {
        serial::SystemSerialOs().Resolver().SetPortDirectory(previous_);
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    SimPortDirectory(const SimPortDirectory&) = delete;
    SimPortDirectory& operator=(const SimPortDirectory&) = delete;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string previous_;
};

}  // namespace simtest
