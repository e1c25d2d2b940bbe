#include "CellChecks.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "RadioSim.h"
#include "app/core/UpdaterTexts.h"
#include "convert/RadioCodeplugConversion.h"
#include "serial/PortLock.h"
#include "transfer/TransferMessages.h"

namespace faultmatrix {

namespace fs = std::filesystem;

bool Begins(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool BeginsWith(const Bytes& whole, const Bytes& part) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

std::string ShortOfConverted(const RadioSim& sim, Bytes asRead) {
    const std::size_t length = asRead.size();
    if (length == 0 || length > static_cast<std::size_t>(kTransferImageBytes))
        return "no run read the radio's first codeplug";
    asRead.resize(kTransferImageBytes);
    const CodeplugConversion c = convertRadioCodeplug(asRead.data(), length, 5, 10);
    if (c.result != CodeplugConversionResult::Converted)
        return "the radio's first codeplug does not convert";
    asRead.resize(c.newLength);
    return BeginsWith(sim.Codeplug(), asRead) ? std::string()
                                              : "the radio does not hold the converted codeplug";
}

std::string ShortOfUpdate(const RadioSim& sim, const Bytes& original, const fs::path& backups) {
    if (sim.CodeplugFormat() != Bytes{5, 10})
        return "the radio does not run the new firmware";
    // A backup holding a read of the original codeplug: a beginning of it.
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(backups, ec)) {
        const Bytes read = e.is_regular_file() ? ReadBytes(e.path()) : Bytes();
        if (!read.empty() && BeginsWith(original, read))
            return ShortOfConverted(sim, read);
    }
    return ShortOfConverted(sim, {});
}

bool WriteFailed(const std::string& end) {
    return Begins(end, updater_text::kDownloadError) || Begins(end, updater_text::kNotHeld);
}

std::string Leftovers(const fs::path& folder) {
    std::string names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names += (names.empty() ? "" : ", ") + e.path().filename().string();
    return names;
}

std::vector<std::string> LockFilesLeft(const std::string& device, const std::string& link) {
    std::vector<std::string> left;
    for (const char* dir : {"/var/lock", "/run/lock"}) {
        for (const std::string& node : {device, link}) {
            const fs::path lock = fs::path(dir) / serial::LockFileName(node);
            std::error_code ec;
            if (fs::exists(lock, ec))
                left.push_back(lock.string());
        }
    }
    return left;
}

void TakeFrames(const nlohmann::json& frames, std::vector<LoggedFrame>& log) {
    for (const auto& f : frames)
        log.push_back({f["dest"].get<int>() == 0x4F, f["payload"].get<std::string>()});
}

}  // namespace faultmatrix
