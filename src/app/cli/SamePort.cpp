#include "SamePort.h"

#include <sys/stat.h>

#include <filesystem>

#include "serial/ComPortResolver.h"

namespace {

// What identifies the device a path reaches: its device number, or the file's inode, or
// (nothing there yet) the path itself with its links followed as far as they go.
std::string DeviceKey(const std::string& path) {
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        if (S_ISCHR(st.st_mode))
            return "rdev:" + std::to_string(st.st_rdev);
        return "inode:" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    }
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
    return "path:" + (ec ? path : real.string());
}

}  // namespace

std::string RepeatedPort(const std::vector<std::string>& ports, const std::string& portDir) {
    const serial::ComPortResolver resolver =
        portDir.empty() ? serial::ComPortResolver() : serial::ComPortResolver(portDir);
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const serial::Resolution r = resolver.Resolve(ports[i]);
        const int com = serial::ComPortResolver::ParseComName(ports[i]);
        // A COM name nothing stands behind is still one name, whatever its spelling.
        const std::string key = r.path.empty() ? "com:" + std::to_string(com) : DeviceKey(r.path);
        for (std::size_t j = 0; j < keys.size(); ++j) {
            if (keys[j] != key)
                continue;
            const int other = serial::ComPortResolver::ParseComName(ports[j]);
            if (ports[i] == ports[j] || (com > 0 && com == other))
                return ports[i] + " is given twice";
            return ports[j] + " and " + ports[i] + " are one device" +
                   (r.path.empty() ? std::string() : " (" + r.path + ")");
        }
        keys.push_back(key);
    }
    return {};
}
