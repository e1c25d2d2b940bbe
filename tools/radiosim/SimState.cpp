#include "SimState.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "RadioSim.h"
#include "common/Hex.h"
#include "common/ReplacementFile.h"

namespace {

// A state holds a codeplug of at most 32 KiB as hexadecimal text and a short image list.
constexpr std::size_t kMaxStateBytes = 1 << 20;

std::string HexText(const std::vector<std::uint8_t>& bytes) {
    return ::HexText(bytes.data(), bytes.size());
}

bool FromHexText(const std::string& text, std::vector<std::uint8_t>& bytes) {
    if (text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int value = ParseHex(std::string_view(text).substr(i, 2));
        if (value < 0)
            return false;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

bool ByteList(const nlohmann::json& j, std::size_t count, std::vector<std::uint8_t>& out) {
    if (!j.is_array() || j.size() != count)
        return false;
    out.clear();
    for (const auto& v : j) {
        if (!v.is_number_integer() || v.get<int>() < 0 || v.get<int>() > 255)
            return false;
        out.push_back(static_cast<std::uint8_t>(v.get<int>()));
    }
    return true;
}

}  // namespace

bool LoadSimState(const std::string& path, SimState& state, bool& exists, std::string& error) {
    exists = ::access(path.c_str(), F_OK) == 0;
    if (!exists)
        return true;
    std::string text;
    if (!ReadSmallFile(path, kMaxStateBytes, text, error))
        return false;
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("codeplug") ||
        !j["codeplug"].is_string() ||
        !FromHexText(j["codeplug"].get<std::string>(), state.codeplug) ||
        state.codeplug.size() > 32768 ||
        !ByteList(j.value("format", nlohmann::json()), 2, state.format) ||
        !ByteList(j.value("boot", nlohmann::json()), 2, state.boot) ||
        !j.value("flashed", nlohmann::json()).is_array()) {
        error = path + " is no state file of the simulated radio";
        return false;
    }
    state.flashed = j["flashed"];
    return true;
}

void ApplySimState(const SimState& state, Scenario& scenario) {
    scenario.codeplug.image = state.codeplug;
    scenario.fileFormat = state.format;
    scenario.boot = state.boot;
}

SimState CaptureSimState(const RadioSim& sim, const SimState& before) {
    SimState now;
    now.codeplug = sim.Codeplug();
    now.format = sim.CodeplugFormat();
    now.boot = sim.BootVersion();
    now.flashed = before.flashed;
    for (const flashsim::FlashedImage& image : sim.FlashedImages()) {
        now.flashed.push_back({{"dspPages", image.dspPages},
                               {"bytes", image.data.size()},
                               {"pages", image.pages.size()},
                               {"ended", image.ended}});
    }
    return now;
}

bool SaveSimState(const std::string& path, const SimState& state, std::string& error) {
    const nlohmann::json j = {{"codeplug", HexText(state.codeplug)},
                              {"format", state.format},
                              {"boot", state.boot},
                              {"flashed", state.flashed}};
    const std::string text = j.dump(1) + "\n";
    // The state holds a codeplug: private to its owner, and replaced whole or not at all.
    ReplacementFile file;
    ReplaceResult result = file.Open(path, kPrivateFileMode);
    if (result == ReplaceResult::kOk) {
        file.Write(text.data(), text.size());
        result = file.Commit();
    }
    if (result == ReplaceResult::kOk)
        return true;
    error = "cannot write the state " + path + ": " + std::strerror(file.Error());
    return false;
}
