#include "CodeplugScenario.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

namespace {

constexpr std::size_t kCodeplugBytes = 32768;

// Closes the descriptor when the scope ends.
struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

}  // namespace

bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                   std::string& error) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error =
            path + (S_ISDIR(st.st_mode) ? " is a folder, not a file" : " is not a regular file");
        return false;
    }
    // One byte more than allowed tells a file that is too long from one that fits exactly.
    bytes.resize(maxBytes + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxBytes) {
        error = path + " is longer than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    bytes.resize(got);
    return true;
}

bool ParseCodeplugScenario(const nlohmann::json& j, CodeplugScenario& out, std::string& error) {
    static const std::set<std::string> kKeys = {"file",
                                                "generateFormat",
                                                "generateSeed",
                                                "password",
                                                "refusePassword",
                                                "reportEvery",
                                                "wrongSumAtReport",
                                                "silentAtBlock",
                                                "otherGroupAtBlock",
                                                "formatAfterUpdate"};
    if (!j.is_object()) {
        error = "codeplug: expected an object";
        return false;
    }
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (!kKeys.count(it.key())) {
            error = "codeplug: unknown key \"" + it.key() + "\"";
            return false;
        }
    }
    try {
        if (j.contains("file")) {
            const std::string path = j["file"].get<std::string>();
            std::string bytes;
            if (!ReadSmallFile(path, kCodeplugBytes, bytes, error)) {
                error = "codeplug.file: " + error;
                return false;
            }
            if (bytes.empty()) {
                error = "codeplug.file: " + path + " is empty";
                return false;
            }
            if (bytes.size() % 2 != 0) {
                error = "codeplug.file: " + path + " has an odd length (" +
                        std::to_string(bytes.size()) +
                        " bytes); a codeplug is a whole number of 16-bit words";
                return false;
            }
            // A damaged codeplug is a fair test of the updater, but a file of another kind
            // (an image, a scenario, noise) is a mistake: every codeplug starts with a block.
            if (bytes.size() < 2 || bytes[0] != 0x5F || bytes[1] != 0x5F) {
                error = "codeplug.file: " + path +
                        " is not a codeplug: it does not start with the block marker 5F 5F";
                return false;
            }
            out.image.assign(bytes.begin(), bytes.end());
        }
        out.generateFormat = j.value("generateFormat", out.generateFormat);
        if (out.generateFormat < 3 || out.generateFormat > 5) {
            error = "codeplug.generateFormat: 3 (5.8), 4 (5.9) or 5 (5.10)";
            return false;
        }
        out.generateSeed = j.value("generateSeed", out.generateSeed);
        out.password = j.value("password", out.password);
        out.refusePassword = j.value("refusePassword", out.refusePassword);
        out.reportEvery = j.value("reportEvery", out.reportEvery);
        out.wrongSumAtReport = j.value("wrongSumAtReport", out.wrongSumAtReport);
        out.silentAtBlock = j.value("silentAtBlock", out.silentAtBlock);
        out.otherGroupAtBlock = j.value("otherGroupAtBlock", out.otherGroupAtBlock);
        if (j.contains("formatAfterUpdate")) {
            out.formatAfterUpdate = j["formatAfterUpdate"].get<CodeplugScenario::Bytes>();
            if (out.formatAfterUpdate.size() != 2) {
                error = "codeplug.formatAfterUpdate: expected 2 bytes";
                return false;
            }
        }
    } catch (const nlohmann::json::exception& e) {
        error = std::string("codeplug: ") + e.what();
        return false;
    }
    return true;
}
