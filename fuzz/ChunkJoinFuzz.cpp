// Feeds an arbitrary set of chunk files to the chunk join, and the same chunks as a package to
// the extraction. The input says how many chunks the image has, which joined names are taken
// already, and the chunks' bytes; the data may run out before every chunk exists. A join of
// whole chunks gives their bytes in order under the first free name; a join with a chunk
// missing leaves no joined file; taken names and the chunks themselves are never touched. The
// extraction gives whole images or fails naming the image that could not be had, and leaves
// no chunk file behind when it succeeds.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempDir.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageNames.h"

namespace {

namespace fs = std::filesystem;

// The input, read from the front; a byte past the end reads as zero.
struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    bool More() const { return at < size; }
    std::uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::string Bytes(std::size_t n) {
        const std::size_t take = n < size - at ? n : size - at;
        std::string s(reinterpret_cast<const char*>(data + at), take);
        at += take;
        return s;
    }
};

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

void Clear(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir)) {
        std::error_code ignored;
        fs::remove_all(e.path(), ignored);
    }
}

void Join(Reader& in, const fs::path& dir) {
    const std::uint32_t count = in.Byte() % 8;
    const std::uint8_t taken = in.Byte();
    // Loader.hex, Loader1.hex, Loader2.hex taken by earlier runs.
    const std::string joinedNames[] = {"Loader.hex", "Loader1.hex", "Loader2.hex"};
    for (int k = 0; k < 3; ++k)
        if (taken & (1 << k))
            Write(dir / joinedNames[k], "earlier " + std::to_string(k));
    std::string whole;
    bool complete = true;
    std::vector<std::string> chunks;
    for (std::uint32_t i = 1; i <= count; ++i) {
        if (!in.More()) {
            complete = false;
            break;
        }
        const std::string chunk = in.Bytes(in.Byte());
        chunks.push_back(chunk);
        Write(dir / ("Loader." + std::to_string(i)), chunk);
        whole += chunk;
    }
    const std::set<std::string> before = Names(dir);

    bool ok = false;
    const std::string name = JoinChunkFiles(dir, "Loader", count, "hex", ok);
    int free = 0;
    while (free < 3 && (taken & (1 << free)))
        ++free;
    FUZZ_CHECK(name ==
               (free == 0 ? std::string("Loader.hex") : "Loader" + std::to_string(free) + ".hex"));
    FUZZ_CHECK(ok == complete);
    std::set<std::string> after = Names(dir);
    if (ok) {
        FUZZ_CHECK(Contents(dir / name) == whole);
        FUZZ_CHECK(after.erase(name) == 1);
    }
    FUZZ_CHECK(after == before);
    for (int k = 0; k < 3; ++k)
        if (taken & (1 << k))
            FUZZ_CHECK(Contents(dir / joinedNames[k]) == "earlier " + std::to_string(k));
    for (std::size_t i = 0; i < chunks.size(); ++i)
        FUZZ_CHECK(Contents(dir / ("Loader." + std::to_string(i + 1))) == chunks[i]);
}

void Extract(Reader& in, const fs::path& dir) {
    ResourceAttributes attributes;
    MemoryPackage package;
    const bool dsp = in.Byte() & 1;
    attributes.UpgradeType = dsp ? kUpgradeDsp : kUpgradeApplication;
    std::string images[2];
    std::uint32_t held[2] = {0, 0};
    const ImageRole roles[2] = {ImageRole::kLoader, ImageRole::kCode};
    for (int r = 0; r < 2; ++r) {
        const std::uint32_t count = in.Byte() % 6;
        SetChunkCount(attributes, ImageSet::kApplication, roles[r], count);
        for (std::uint32_t n = 1; n <= count && in.More(); ++n) {
            const std::string chunk = in.Bytes(in.Byte());
            package.Put(ChunkResourceName(ImageSet::kApplication, roles[r], n), chunk);
            images[r] += chunk;
            held[r] = n;
        }
    }
    // A stale chunk of an earlier run.
    const bool stale = in.Byte() & 1;
    if (stale)
        Write(dir / "Code.1", "stale");

    const ExtractedImages got = ExtractEmbeddedFiles(package, attributes, false, false, dir);
    const std::uint32_t loaderCount = attributes.LoaderChunksApp;
    const std::uint32_t codeCount = attributes.CodeChunksApp;
    const bool loaderWhole = held[0] == loaderCount;
    const bool codeWhole = held[1] == codeCount && !(stale && codeCount > 0);
    if (!loaderWhole) {
        FUZZ_CHECK(got.failure == ExtractFailure::kLoader);
    } else if (!codeWhole) {
        FUZZ_CHECK(got.failure == ExtractFailure::kCode);
    } else {
        FUZZ_CHECK(got.failure == ExtractFailure::kNone);
        FUZZ_CHECK(got.loaderFileName == "Loader.hex");
        FUZZ_CHECK(got.codeFileName == (dsp ? "Code.OUT" : "Code.hex"));
        FUZZ_CHECK(Contents(dir / got.loaderFileName) == images[0]);
        FUZZ_CHECK(Contents(dir / got.codeFileName) == images[1]);
        std::set<std::string> expected = {got.loaderFileName, got.codeFileName};
        if (stale)
            expected.insert("Code.1");
        FUZZ_CHECK(Names(dir) == expected);
    }
    FUZZ_CHECK(got.failure == ExtractFailure::kNone || !got.detail.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzTempDir dir;
    Reader in{data, size};
    Join(in, dir.Path());
    Clear(dir.Path());
    Extract(in, dir.Path());
    Clear(dir.Path());
    return 0;
}
