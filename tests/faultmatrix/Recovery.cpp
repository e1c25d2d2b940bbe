#include "Recovery.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "RadioSim.h"
#include "convert/RadioCodeplugConversion.h"
#include "transfer/TransferMessages.h"

namespace faultmatrix {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A backup holding a read of the original codeplug: a beginning of it.
Bytes OriginalAsRead(const Bytes& original, const fs::path& backups) {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(backups, ec)) {
        if (!e.is_regular_file())
            continue;
        std::ifstream in(e.path(), std::ios::binary);
        const Bytes read(std::istreambuf_iterator<char>(in), {});
        if (!read.empty() && read.size() <= original.size() &&
            std::equal(read.begin(), read.end(), original.begin()))
            return read;
    }
    return {};
}

}  // namespace

std::string ShortOfUpdate(const RadioSim& sim, const Bytes& original, const fs::path& backups) {
    if (sim.CodeplugFormat() != Bytes{5, 10})
        return "the radio does not run the new firmware";
    Bytes converted = OriginalAsRead(original, backups);
    const std::size_t length = converted.size();
    if (length == 0 || length > static_cast<std::size_t>(kTransferImageBytes))
        return "no run read the radio's first codeplug";
    converted.resize(kTransferImageBytes);
    const CodeplugConversion c = convertRadioCodeplug(converted.data(), length, 5, 10);
    if (c.result != CodeplugConversionResult::Converted)
        return "the radio's first codeplug does not convert";
    converted.resize(c.newLength);
    Bytes held = sim.Codeplug();
    if (held.size() > converted.size())
        held.resize(converted.size());
    return held == converted ? std::string() : "the radio does not hold the converted codeplug";
}

}  // namespace faultmatrix
