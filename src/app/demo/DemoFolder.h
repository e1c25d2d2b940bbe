#pragma once

#include <string>

namespace demo {

// The private folder of one demo run: made 0700 under $XDG_RUNTIME_DIR (the user's own, emptied
// at logout) or else under the temporary folder, and removed with everything in it when the
// object goes. It holds the port folder, the radio description, the password file and the
// folder the update extracts its images into.
class DemoFolder {
  public:
    DemoFolder() = default;
    ~DemoFolder();
    DemoFolder(const DemoFolder&) = delete;
    DemoFolder& operator=(const DemoFolder&) = delete;

    // False when no folder could be made, having said why in error.
    bool Create(std::string& error);
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Where the folder is made: $XDG_RUNTIME_DIR when it names a folder, else $TMPDIR, else /tmp.
std::string DemoFolderBase();

// Writes text to a new file readable by its owner alone (0600). False, with the reason, when
// it cannot.
bool WritePrivateFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace demo
