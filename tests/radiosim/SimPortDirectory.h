#pragma once

// A port directory of its own for a test: the process's serial layer resolves COMn through it
// while the object lives, so the program's serial device reaches a simulated radio's
// pseudo-terminal by COM number.
#include <string>

#include "TempDir.h"
#include "serial/PosixSerialOs.h"

namespace simtest {

class SimPortDirectory {
  public:
    SimPortDirectory() {
        auto& resolver = serial::SystemSerialOs().Resolver();
        previous_ = resolver.PortDirectory();
        resolver.SetPortDirectory(dir_.Path());
    }
    ~SimPortDirectory() { serial::SystemSerialOs().Resolver().SetPortDirectory(previous_); }
    SimPortDirectory(const SimPortDirectory&) = delete;
    SimPortDirectory& operator=(const SimPortDirectory&) = delete;

    const std::string& Path() const { return dir_.Path(); }

  private:
    TempDir dir_{"quenta-ports"};
    std::string previous_;
};

}  // namespace simtest
