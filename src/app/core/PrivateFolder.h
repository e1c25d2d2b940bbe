#pragma once

#include <filesystem>
#include <string>

// A folder of this run's own under the system's temporary directory (mkdtemp: mode 0700, a
// name nobody else can take), removed with everything in it when the object goes.
class PrivateFolder {
  public:
    explicit PrivateFolder(const std::string& prefix);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::filesystem::path& Path() const { return path_; }
    // Why it could not be made (empty when it was).
    const std::string& Error() const { return error_; }

  private:
    std::filesystem::path path_;
    std::string error_;
};
