#include "serial/ComPortResolver.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "common/HomeFolder.h"

namespace serial {

namespace {

struct TableRange {
    int firstCom;
    int lastCom;
    const char* prefix;
};

constexpr TableRange kDefaultTable[] = {
    {1, 4, "/dev/ttyS"},
    {5, 36, "/dev/ttyUSB"},
    {37, 64, "/dev/ttyACM"},
};

}  // namespace

ComPortResolver::ComPortResolver() : portDirectory(DefaultPortDirectory()) {}

ComPortResolver::ComPortResolver(std::string portDirectory)
    : portDirectory(std::move(portDirectory)) {}

std::string ComPortResolver::DefaultPortDirectory() {
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config/quenta/ports";
}

std::string ComPortResolver::DefaultDevice(int comNumber) {
    for (const TableRange& range : kDefaultTable) {
        if (comNumber >= range.firstCom && comNumber <= range.lastCom) {
            return range.prefix + std::to_string(comNumber - range.firstCom);
        }
    }
    return std::string();
}

int ComPortResolver::ParseComName(const std::string& name) {
    size_t i = 0;
    if (name.compare(0, 4, "\\\\.\\") == 0)
        i = 4;
    if (name.size() < i + 4)
        return 0;
    if (std::toupper(static_cast<unsigned char>(name[i])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[i + 1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[i + 2])) != 'M') {
        return 0;
    }
    long n = 0;
    for (i += 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        n = n * 10 + (name[i] - '0');
        if (n > 1000000)
            return 0;
    }
    return static_cast<int>(n);
}

Resolution ComPortResolver::ResolveCom(int comNumber) const {
    Resolution r;
    r.comNumber = comNumber;
    if (!portDirectory.empty()) {
        const std::string link = portDirectory + "/COM" + std::to_string(comNumber);
        struct stat st {};
        if (::lstat(link.c_str(), &st) == 0) {
            r.source = NameSource::kPortDirectory;
            r.path = link;
            if (S_ISLNK(st.st_mode)) {
                char target[PATH_MAX];
                const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
                if (n > 0)
                    r.linkTarget.assign(target, static_cast<size_t>(n));
            }
            return r;
        }
    }
    r.path = DefaultDevice(comNumber);
    r.source = r.path.empty() ? NameSource::kUnmapped : NameSource::kDefaultTable;
    return r;
}

Resolution ComPortResolver::Resolve(const std::string& name) const {
    if (const int n = ParseComName(name); n > 0)
        return ResolveCom(n);
    Resolution r;
    r.path = name;
    return r;
}

}  // namespace serial
