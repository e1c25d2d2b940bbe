// Feeds arbitrary bytes to the DSP file check and, when the check accepts them, to the page
// split, in both section-header layouts. A file the check accepts must split without a read
// failure into page files of sound size whose bytes are those of a plain in-memory model:
// every copied section at twice its word address in its page, later sections over earlier
// ones, gaps zero.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempDir.h"
#include "download/DspFile.h"
#include "download/DspPageFiles.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

unsigned U16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t U32(const std::uint8_t* p) {
    return U16(p) | (static_cast<std::uint32_t>(U16(p + 2)) << 16);
}

// The pages the download must send, read straight from the bytes. The buffers are kept from
// one input to the next: fresh megabyte pages would cost more than the code under test.
void ModelPages(const std::uint8_t* data, bool kind3, std::array<Bytes, kDspPageCount>& pages,
                std::array<bool, kDspPageCount>& used) {
    for (Bytes& p : pages)
        p.clear();
    used.fill(false);
    const int count = static_cast<std::int16_t>(U16(data + 2));
    const std::size_t table = U16(data + 16) != 0 ? 50 : 22;
    const std::size_t header = kind3 ? 48 : 40;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* s = data + table + static_cast<std::size_t>(i) * header;
        const unsigned pageField = U16(s + (kind3 ? 46 : 38));
        if ((pageField & (kind3 ? 0x00FFu : 0xFF00u)) != 0)
            continue;
        const unsigned page = kind3 ? U16(s + 14) : pageField / 256;
        if (page >= (kind3 ? 8u : 1u))
            continue;
        // The 48-byte layout names the page in the upper address half; the lower half is the
        // word address inside the page.
        const std::uint32_t address = U32(s + 12);
        const std::size_t at = std::size_t{kind3 ? (address & 0xFFFFu) : address} * 2;
        const std::size_t n = std::size_t{U32(s + 16)} * 2;
        const std::size_t from = U32(s + 20);
        Bytes& p = pages[page];
        // An empty section marks its page used but writes nothing, not even the gap before it.
        if (n > 0) {
            if (p.size() < at + n)
                p.resize(at + n, 0);
            std::memcpy(p.data() + at, data + from, n);
        }
        used[page] = true;
    }
}

void ReadFile(const std::filesystem::path& path, Bytes& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    FUZZ_CHECK(in.is_open());
    bytes.resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(in.gcount() == static_cast<std::streamsize>(bytes.size()));
}

void CheckKind(const std::uint8_t* data, std::size_t size, TargetKind kind,
               const std::filesystem::path& dir) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes, std::ios::binary);
    std::string reason;
    bool readFailed = false;
    const bool ok = CheckDspFile(in, static_cast<std::int64_t>(size), kind, reason, readFailed);
    // The file is in memory: nothing can fail to be read, and a refusal says why.
    FUZZ_CHECK(!readFailed);
    FUZZ_CHECK(ok == reason.empty());
    if (!ok)
        return;

    static std::array<Bytes, kDspPageCount> model;
    static Bytes got;
    std::array<bool, kDspPageCount> used{};
    ModelPages(data, kind == 3, model, used);
    DspPageFiles pages(dir);
    FUZZ_CHECK(pages.Create());
    FUZZ_CHECK(SplitDspPages(in, kind, pages) == DspSplit::kDone);
    FUZZ_CHECK(pages.CloseAll());
    int usedCount = 0;
    for (int page = 0; page < kDspPageCount; ++page) {
        const std::size_t i = static_cast<std::size_t>(page);
        FUZZ_CHECK(pages.Used(page) == used[i]);
        usedCount += used[i];
        ReadFile(pages.PathOf(page), got);
        FUZZ_CHECK(static_cast<std::int64_t>(got.size()) <= kDspMaxPageBytes);
        FUZZ_CHECK(got == model[i]);
    }
    FUZZ_CHECK(pages.UsedCount() == usedCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzTempDir dir;
    CheckKind(data, size, 3, dir.Path());
    CheckKind(data, size, 6, dir.Path());
    return 0;
}
