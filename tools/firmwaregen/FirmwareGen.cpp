#include "FirmwareGen.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace firmwaregen {

namespace {

constexpr int kDspPages48 = 8;

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int AddressBytes(ImageKind kind) {
    return kind == ImageKind::kLoader ? 3 : 4;
}

char TypeDigit(ImageKind kind) {
    return kind == ImageKind::kLoader ? '2' : '3';
}

void PutHex(std::string& line, unsigned byte, unsigned& sum) {
    static const char kDigits[] = "0123456789ABCDEF";
    line += kDigits[(byte >> 4) & 0xF];
    line += kDigits[byte & 0xF];
    sum += byte;
}

void WriteRecord(std::ostream& out, char type, int addressBytes, std::uint32_t address,
                 const std::uint8_t* data, int count) {
    out << SRecordLine(type, addressBytes, address, data, count) << "\r\n";
}

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

}  // namespace

std::string SRecordLine(char type, int addressBytes, std::uint32_t address,
                        const std::uint8_t* data, int count) {
    std::string line = std::string("S") + type;
    unsigned sum = 0;
    PutHex(line, static_cast<unsigned>(addressBytes + count + 1), sum);
    for (int i = addressBytes - 1; i >= 0; --i)
        PutHex(line, (address >> (8 * i)) & 0xFF, sum);
    for (int i = 0; i < count; ++i)
        PutHex(line, data[i], sum);
    unsigned ignored = 0;
    PutHex(line, ~sum & 0xFF, ignored);
    return line;
}

std::uint8_t DataByte(std::uint32_t seed, std::uint64_t i) {
    return static_cast<std::uint8_t>(Mix((std::uint64_t{seed} << 40) ^ (i / 8)) >> (8 * (i % 8)));
}

Bytes Data(std::uint32_t seed, std::uint64_t count) {
    Bytes out(count);
    for (std::uint64_t i = 0; i < count; ++i)
        out[i] = DataByte(seed, i);
    return out;
}

std::uint32_t StartAddress(ImageKind kind) {
    switch (kind) {
        case ImageKind::kLoader:
            return 0x010100;
        case ImageKind::kBoot:
            return 0xFE000100;
        case ImageKind::kApplication:
            return 0xFE040100;
        case ImageKind::kDspLoader:
            return 0x00000100;
    }
    return 0;
}

std::uint64_t DataBytesForText(ImageKind kind, std::uint64_t textBytes, int bytesPerRecord) {
    // Per record: type, count, address, data, checksum, CR LF.
    const std::uint64_t line = 2 + 2 + 2 * AddressBytes(kind) + 2 * bytesPerRecord + 2 + 2;
    return textBytes / line * static_cast<std::uint64_t>(bytesPerRecord);
}

void WriteSRecordImage(std::ostream& out, const SRecordPlan& plan) {
    const int per = std::clamp(plan.bytesPerRecord, 1, 250);
    if (plan.kind != ImageKind::kDspLoader) {
        const std::uint8_t name[] = {'q', 'u', 'e', 'n', 't', 'a'};
        WriteRecord(out, '0', 2, 0, name, sizeof name);
    }
    const std::uint32_t base = StartAddress(plan.kind);
    std::uint8_t chunk[256];
    for (std::uint64_t at = 0; at < plan.dataBytes; at += static_cast<std::uint64_t>(per)) {
        const int n = static_cast<int>(std::min<std::uint64_t>(per, plan.dataBytes - at));
        for (int i = 0; i < n; ++i)
            chunk[i] = DataByte(plan.seed, at + static_cast<std::uint64_t>(i));
        WriteRecord(out, TypeDigit(plan.kind), AddressBytes(plan.kind),
                    base + static_cast<std::uint32_t>(at), chunk, n);
    }
    out << "S904000000FB\r\n";
}

DspImage MakeDspImage(const DspPlan& plan) {
    DspImage image;
    image.layout48 = plan.layout48;
    image.optionalHeader = plan.optionalHeader;
    std::uint64_t state = Mix(plan.seed);
    auto next = [&](std::uint32_t bound) {
        state = Mix(state);
        return static_cast<std::uint32_t>(state % std::max<std::uint32_t>(bound, 1));
    };
    std::uint32_t dataSeed = plan.seed * 101u;
    auto section = [&](std::uint32_t page, std::uint32_t word, std::int32_t size, bool copied,
                       std::uint16_t pageField) {
        DspSection s;
        s.address = plan.layout48 ? (page << 16) | word : word;
        s.sizeWords = size;
        s.pageField = pageField;
        s.copied = copied;
        s.data = Data(++dataSeed, static_cast<std::uint64_t>(size) * 2);
        image.sections.push_back(std::move(s));
    };
    const int pages = plan.layout48 ? std::clamp(plan.pages, 1, kDspPages48) : 1;
    const std::uint32_t maxWords = static_cast<std::uint32_t>(std::max(plan.maxSectionWords, 2));
    // Pages are listed out of order so that the download has to sort them.
    for (int k = pages - 1; k >= 0; --k) {
        const std::uint32_t page = static_cast<std::uint32_t>((k * 3) % kDspPages48);
        std::uint32_t word = next(64);
        for (int i = 0; i < plan.sectionsPerPage; ++i) {
            const auto size = static_cast<std::int32_t>(1 + next(maxWords));
            section(page, word, size, true, plan.layout48 ? 0xAB00 : 0x00CD);
            word += static_cast<std::uint32_t>(size) + next(32);  // a gap of zero words
        }
        if (plan.overlapping && plan.sectionsPerPage > 0) {
            const DspSection& last = image.sections.back();
            const std::uint32_t start = (last.address & 0xFFFF) + last.sizeWords / 2;
            section(page, start, static_cast<std::int32_t>(1 + next(maxWords)), true, 0);
        }
    }
    if (plan.filtered) {
        // Outside the mask: never sent.
        section(0, 0, 40, false, plan.layout48 ? 0x0001 : 0x0100);
        if (plan.layout48)
            section(8, 0, 40, false, 0);  // a page without a page file
    }
    return image;
}

void WriteCoff(std::ostream& out, const DspImage& image) {
    const std::size_t headerSize = image.layout48 ? 48 : 40;
    const std::size_t pageField = image.layout48 ? 46 : 38;
    const std::size_t table = image.optionalHeader ? 50 : 22;
    Bytes head(table + headerSize * image.sections.size(), 0);
    Put16(head, 0, image.layout48 ? 0x00C2 : 0x0093);  // identification, not examined
    Put16(head, 2, static_cast<std::uint32_t>(image.sections.size()));
    Put16(head, 16, image.optionalHeader ? 28 : 0);
    std::uint32_t raw = static_cast<std::uint32_t>(head.size());
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const DspSection& s = image.sections[i];
        const std::size_t h = table + i * headerSize;
        const std::string name = ".sect" + std::to_string(i);
        std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 8), head.begin() + h);
        Put32(head, h + 8, s.address);  // physical address, as tool chains write it
        Put32(head, h + 12, s.address);
        Put32(head, h + 16, static_cast<std::uint32_t>(s.sizeWords));
        Put16(head, h + pageField, s.pageField);
        if (s.rawOffset >= 0) {
            Put32(head, h + 20, static_cast<std::uint32_t>(s.rawOffset));
            continue;
        }
        Put32(head, h + 20, raw);
        raw += static_cast<std::uint32_t>(s.data.size());
    }
    out.write(reinterpret_cast<const char*>(head.data()),
              static_cast<std::streamsize>(head.size()));
    for (const DspSection& s : image.sections)
        if (s.rawOffset < 0)
            out.write(reinterpret_cast<const char*>(s.data.data()),
                      static_cast<std::streamsize>(s.data.size()));
}

std::vector<Bytes> ExpectedPages(const DspImage& image) {
    std::map<std::uint32_t, Bytes> pages;
    for (const DspSection& s : image.sections) {
        if (!s.copied)
            continue;
        const std::uint32_t page = image.layout48 ? s.address >> 16 : 0;
        const std::uint32_t inPage = image.layout48 ? s.address & 0xFFFF : s.address;
        const std::size_t offset = std::size_t{inPage} * 2;
        Bytes& p = pages[page];
        if (p.size() < offset + s.data.size())
            p.resize(offset + s.data.size(), 0);
        std::copy(s.data.begin(), s.data.end(), p.begin() + static_cast<long>(offset));
    }
    std::vector<Bytes> out;
    for (auto& [page, bytes] : pages)
        out.push_back(std::move(bytes));
    return out;
}

}  // namespace firmwaregen
