#include "app/core/PrivateFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>

PrivateFolder::PrivateFolder(const std::string& prefix) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    std::string pattern = ((ec ? std::filesystem::path("/tmp") : base) / (prefix + "-XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr) {
        error_ = pattern + ": " + std::strerror(errno);
        return;
    }
    path_ = pattern;
}

PrivateFolder::~PrivateFolder() {
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}
