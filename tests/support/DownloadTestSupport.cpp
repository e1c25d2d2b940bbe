#include "DownloadTestSupport.h"

#include <cstdio>

namespace dltest {

std::string HexByte(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

std::string Record(char type, int addressBytes, std::uint32_t address, const Bytes& data) {
    const unsigned count = static_cast<unsigned>(addressBytes + data.size() + 1);
    unsigned sum = count;
    std::string line = std::string("S") + type + HexByte(count);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned byte = (address >> (8 * i)) & 0xFFu;
        sum += byte;
        line += HexByte(byte);
    }
    for (std::uint8_t byte : data) {
        sum += byte;
        line += HexByte(byte);
    }
    return line + HexByte(~sum & 0xFFu);
}

std::string Image(const Bytes& data, char type, std::uint32_t address, int perRecord, bool header) {
    const int addressBytes = type == '1' ? 2 : (type == '2' ? 3 : 4);
    std::string text = header ? Record('0', 2, 0, {'t', 'e', 's', 't'}) + "\r\n" : std::string();
    for (std::size_t at = 0; at < data.size(); at += static_cast<std::size_t>(perRecord)) {
        const std::size_t n = std::min(data.size() - at, static_cast<std::size_t>(perRecord));
        Bytes chunk(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
        text +=
            Record(type, addressBytes, address + static_cast<std::uint32_t>(at), chunk) + "\r\n";
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

namespace {
void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
}  // namespace

Bytes Coff(int kind, const std::vector<CoffSection>& sections, bool optionalHeader) {
    const std::size_t headerSize = kind == 3 ? 48 : 40;
    const std::size_t pageField = kind == 3 ? 46 : 38;
    const std::size_t table = optionalHeader ? 50 : 22;
    Bytes file(table + headerSize * sections.size(), 0);
    Put16(file, 0, 0x0093);
    Put16(file, 2, static_cast<std::uint32_t>(sections.size()));
    Put16(file, 16, optionalHeader ? 28 : 0);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const CoffSection& s = sections[i];
        const std::size_t h = table + i * headerSize;
        std::int64_t raw = s.rawOffset;
        if (raw < 0) {
            raw = static_cast<std::int64_t>(file.size());
            file.insert(file.end(), s.data.begin(), s.data.end());
        }
        file[h] = '.';
        Put32(file, h + 12, s.address);
        Put32(file, h + 16, static_cast<std::uint32_t>(s.sizeWords));
        Put32(file, h + 20, static_cast<std::uint32_t>(raw));
        Put16(file, h + pageField, s.pageField);
    }
    return file;
}

}  // namespace dltest
