#include "DownloadTestSupport.h"

#include <sstream>

namespace dltest {

std::string Record(char type, int addressBytes, std::uint32_t address, const Bytes& data) {
    return firmwaregen::SRecordLine(type, addressBytes, address, data.data(),
                                    static_cast<int>(data.size()));
}

std::string Image(const Bytes& data, char type, std::uint32_t address, int perRecord, bool header) {
    const int addressBytes = type == '1' ? 2 : (type == '2' ? 3 : 4);
    std::string text = header ? Record('0', 2, 0, {'t', 'e', 's', 't'}) + "\r\n" : std::string();
    for (std::size_t at = 0; at < data.size(); at += static_cast<std::size_t>(perRecord)) {
        const std::size_t n = std::min(data.size() - at, static_cast<std::size_t>(perRecord));
        text +=
            firmwaregen::SRecordLine(type, addressBytes, address + static_cast<std::uint32_t>(at),
                                     data.data() + at, static_cast<int>(n)) +
            "\r\n";
    }
    return text + "S904000000FB\r\n";
}

Bytes Pattern(std::size_t count, std::uint32_t seed) {
    Bytes out(count);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

Bytes Coff(int kind, const std::vector<CoffSection>& sections, bool optionalHeader) {
    std::ostringstream out;
    firmwaregen::WriteCoff(out, {kind == 3, optionalHeader, sections});
    const std::string text = out.str();
    return Bytes(text.begin(), text.end());
}

}  // namespace dltest
