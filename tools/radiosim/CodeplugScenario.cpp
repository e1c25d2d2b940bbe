#include "CodeplugScenario.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

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
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                error = "codeplug.file: cannot read " + path;
                return false;
            }
            out.image.assign(std::istreambuf_iterator<char>(in), {});
            if (out.image.size() > 32768 || out.image.size() % 2 != 0) {
                error = "codeplug.file: " + path + " is no codeplug (odd or over 32768 bytes)";
                return false;
            }
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
