#include "app/demo/DemoRadio.h"

#include <unistd.h>

#include <sys/stat.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/core/TargetKindFromRadio.h"

namespace demo {

namespace {

// A major boot version of 7 stands for any series.
constexpr std::uint32_t kAnySeriesMajor = 7;

std::vector<std::string> SplitColons(const std::string& list) {
    std::vector<std::string> parts;
    std::stringstream in(list);
    std::string part;
    while (std::getline(in, part, ':')) {
        if (!part.empty())
            parts.push_back(part);
    }
    return parts;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<std::string> RadioDescriptionFolders(const std::string& programDir,
                                                 const std::string& xdgDataDirs) {
    std::vector<std::string> folders = {
        std::filesystem::path(programDir + "/../share/quenta/radios").lexically_normal().string(),
        programDir + "/radios"};
    const std::string dataDirs = xdgDataDirs.empty() ? "/usr/local/share:/usr/share" : xdgDataDirs;
    for (const std::string& dir : SplitColons(dataDirs))
        folders.push_back(dir + "/quenta/radios");
    return folders;
}

std::string FindInFolders(const std::vector<std::string>& folders, const std::string& name) {
    for (const std::string& folder : folders) {
        const std::string path = folder + "/" + name;
        if (IsRegularFile(path))
            return path;
    }
    return {};
}

std::string FindCompanionProgram(const std::string& name, const std::string& programDir,
                                 const std::string& pathList) {
    std::vector<std::string> folders = {programDir};
    for (const std::string& dir : SplitColons(pathList))
        folders.push_back(dir);
    for (const std::string& folder : folders) {
        const std::string path = folder + "/" + name;
        if (IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

bool BootVersionFor(const ResourceAttributes& attributes, BootVersion& boot) {
    const auto series = static_cast<std::uint32_t>(attributes.Series);
    boot.major = static_cast<std::uint8_t>(attributes.BootMajor == kAnySeriesMajor ? kAnySeriesMajor
                                                                                   : series);
    boot.minor = static_cast<std::uint8_t>(attributes.BootMinor);
    const TargetKind packageKind = TargetKindFromPackage(attributes.RadioFamily, attributes.Series,
                                                         attributes.KindBySeries == 0);
    return TargetKindFromRadio(attributes.RadioFamily, boot.major, boot.minor) == packageKind;
}

bool FitRadioDescription(const std::string& description, const ResourceAttributes& attributes,
                         std::string& fitted, std::string& error) {
    nlohmann::json radio = nlohmann::json::parse(description, nullptr, false);
    if (!radio.is_object()) {
        error = "it is not a JSON object";
        return false;
    }
    BootVersion boot;
    if (!BootVersionFor(attributes, boot)) {
        error = "no simulated radio fits the carried package (" +
                RadioFamilyName(attributes.RadioFamily) + " series " +
                std::to_string(attributes.Series) + ")";
        return false;
    }
    nlohmann::json& bootEntry = radio["boot"];
    if (!bootEntry.is_object())
        bootEntry = nlohmann::json::object();
    bootEntry["present"] = true;
    bootEntry["version"] = {boot.major, boot.minor};
    fitted = radio.dump(2) + "\n";
    return true;
}

}  // namespace demo
