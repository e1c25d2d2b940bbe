#include "CodeplugScenario.h"

#include <nlohmann/json.hpp>
#include <set>

#include "common/FileBytes.h"

namespace {

constexpr std::size_t kCodeplugBytes = 32768;

}  // namespace

bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                   std::string& error) {
    int cause = 0;
    const ReadFileResult result = ReadRegularFile(path, maxBytes, bytes, cause);
    if (result == ReadFileResult::kOk)
        return true;
    error = ReadFileFailureText(result, cause, path, maxBytes);
    return false;
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
                                                "wrongWordAt",
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
        out.wrongWordAt = j.value("wrongWordAt", out.wrongWordAt);
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
