#include "serial/ComPortListing.h"

#include <limits.h>
#include <stdlib.h>

#include "serial/ComPortResolver.h"

namespace serial {

std::string RealNode(const std::string& path) {
    char real[PATH_MAX];
    if (path.empty() || ::realpath(path.c_str(), real) == nullptr)
        return path;
    return real;
}

std::optional<SerialDevice> DeviceOf(const OpenFailure& check,
                                     const std::vector<SerialDevice>& devices) {
    const std::string node = check.node.empty() ? RealNode(check.device) : check.node;
    if (node.empty())
        return std::nullopt;
    for (const SerialDevice& device : devices) {
        if (device.node == node || RealNode(device.node) == node)
            return device;
    }
    return std::nullopt;
}

std::vector<ComPortEntry> ListComPorts(const ComPortCheck& check,
                                       const std::vector<SerialDevice>& devices) {
    std::vector<ComPortEntry> entries;
    for (int n = 1; n <= ComPortResolver::kMaxComNumber; ++n) {
        ComPortEntry entry;
        entry.comNumber = n;
        entry.check = check(n);
        if (entry.check.kind == FailureKind::kAbsent &&
            entry.check.source != NameSource::kPortDirectory)
            continue;
        entry.device = DeviceOf(entry.check, devices);
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace serial
