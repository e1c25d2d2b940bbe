// quenta-fuzz-seeds: writes the seed corpora of the fuzzing harnesses from the project's own
// generators, one folder per harness under OUT:
//
//   quenta-fuzz-seeds OUT
//
// The seeds are well-formed inputs of every kind the parsers meet (replies, images, codeplugs
// of every format) and a few of the awkward shapes the Parts name, so that the fuzzers start
// from the interesting paths instead of having to find the structure first.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "CodeplugGenerator.h"
#include "FirmwareGen.h"
#include "app/package/PackageAttributes.h"
#include "convert/RadioCodeplugConversion.h"
#include "link/Frame.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

bool ok = true;

void Write(const fs::path& dir, const std::string& name, const std::string& bytes) {
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "quenta-fuzz-seeds: cannot write %s\n", (dir / name).c_str());
        ok = false;
    }
}

void Write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    Write(dir, name, std::string(bytes.begin(), bytes.end()));
}

std::string Wire(const Bytes& payload, std::uint8_t addr2 = frame::kAddrToTool,
                 std::uint8_t addr1 = frame::kAddrRadio) {
    const frame::WireFrame w =
        frame::Encode(payload.data(), static_cast<int>(payload.size()), addr1, addr2);
    return std::string(w.bytes, w.bytes + w.length);
}

void Frames(const fs::path& dir) {
    Bytes version = {0x04, 0x07};
    for (int i = 0; i < 23; ++i)
        version.push_back(static_cast<std::uint8_t>(i * 37));
    Write(dir, "version-reply", Wire(version));
    Write(dir, "ready", Wire({0x02, 0x07}));
    Write(dir, "busy-then-ready", Wire({0x02, 0x0A}) + Wire({0x02, 0x07}));
    Write(dir, "escapes", Wire({0x02, 0x00, 0x10, 0x7E, 0xBA, 0x10}));
    Write(dir, "box-reply", Wire({0x09, 0x02, 1, 2, 3, 4}));
    Write(dir, "tool-request", Wire({0x04, 0x2D}, frame::kAddrRadio, frame::kAddrTool));
    Write(dir, "box-probe", Wire({0x09, 0x01}, frame::kAddrBox, frame::kAddrTool));
    Bytes block = {0x03, 0x02};
    for (int i = 0; i < 128; ++i)
        block.push_back(static_cast<std::uint8_t>(i));
    Write(dir, "codeplug-block", Wire(block));
    Bytes longest(MessageRecord::kCapacity, 0x10);
    Write(dir, "longest", Wire(longest));
    std::string restart = Wire({0x02, 0x07});
    restart.insert(5, "\xBA\x7F");
    Write(dir, "restart-inside", restart);
    std::string bad = Wire({0x02, 0x02, 0x12, 0x34});
    bad[bad.size() - 2] ^= 1;
    Write(dir, "bad-sum", bad + Wire({0x02, 0x02, 0x12, 0x34}));
}

std::string SRecords(firmwaregen::ImageKind kind, std::uint64_t bytes, std::uint32_t seed) {
    std::ostringstream out;
    firmwaregen::SRecordPlan plan;
    plan.kind = kind;
    plan.dataBytes = bytes;
    plan.seed = seed;
    firmwaregen::WriteSRecordImage(out, plan);
    return out.str();
}

void SRecordImages(const fs::path& dir) {
    using firmwaregen::ImageKind;
    Write(dir, "loader", SRecords(ImageKind::kLoader, 256, 1));
    Write(dir, "boot", SRecords(ImageKind::kBoot, 320, 2));
    Write(dir, "application", SRecords(ImageKind::kApplication, 512, 3));
    Write(dir, "dsploader", SRecords(ImageKind::kDspLoader, 256, 4));
    Write(dir, "odd-and-skipped",
          "S00600004844521B\r\nS5030001FB\r\nS8040000FAFB\r\n\r\nS1060000AABBCC\r\n"
          "S2080101000102030400\nS30A0000000001020304FF\r\nS7050000000FA\r\n");
    Write(dir, "long-line", "S3FF" + std::string(400, 'A') + "\r\nS3090000000001020304EE\r\n");
    Write(dir, "no-end", "S30900000000AABBCCDD00\r\nS30900000004\r\n");
}

void DspFiles(const fs::path& dir) {
    int n = 0;
    for (bool layout48 : {false, true}) {
        for (std::uint32_t seed : {1u, 2u}) {
            firmwaregen::DspPlan plan;
            plan.layout48 = layout48;
            plan.seed = seed;
            plan.pages = layout48 ? 3 : 1;
            plan.sectionsPerPage = 3;
            plan.maxSectionWords = 48;
            plan.optionalHeader = seed == 1;
            std::ostringstream out;
            firmwaregen::WriteCoff(out, firmwaregen::MakeDspImage(plan));
            Write(dir, "coff-" + std::to_string(++n), out.str());
        }
    }
}

Bytes Codeplug(std::uint8_t format, std::uint32_t seed, int systems, int ordinals) {
    auto img = std::make_unique<CodeplugImage>();
    CodeplugGeneratorOptions options;
    options.versionIndex = format;
    options.seed = seed;
    options.maxSystems = systems;
    options.maxOrdinals = ordinals;
    const int words = generateCodeplug(*img, options);
    Bytes bytes(static_cast<std::size_t>(words) * 2);
    storeRadioBytes(*img, bytes.data(), bytes.size());
    return bytes;
}

void Codeplugs(const fs::path& codeplugDir, const fs::path& uploadDir) {
    for (std::uint8_t format : {3, 4, 5}) {
        for (std::uint32_t seed : {1u, 2u}) {
            const Bytes cp = Codeplug(format, seed, seed == 1 ? 2 : 5, seed == 1 ? 1 : 4);
            const std::string name = "format" + std::to_string(format) + "-" + std::to_string(seed);
            Write(codeplugDir, name, cp);
            Write(uploadDir, name, cp);
        }
    }
    // An upload read in whole blocks runs past the image.
    Bytes padded = Codeplug(4, 3, 3, 2);
    padded.resize((padded.size() / 128 + 2) * 128, 0);
    Write(codeplugDir, "whole-blocks", padded);
    // A record chain that ends inside the third block, and one stuck on a zero-length record.
    Bytes chain = {0x5F, 0x5F, 0x00, 0x40};  // 64 words
    chain.resize(128, 0x11);
    for (std::uint8_t b : {0x5F, 0x5F, 0x00, 0x60})  // 96 words: the next record at 320
        chain.push_back(b);
    chain.resize(320, 0x22);
    Write(uploadDir, "chain", chain);
    for (std::uint8_t b : {0x5F, 0x5F, 0x00, 0x00})
        chain.push_back(b);
    Write(uploadDir, "zero-length", chain);
}

void Attributes(const fs::path& dir) {
    // The example package: Application/Boot for series 4 of family 0, twelve code chunks.
    ResourceAttributes a;
    a.LoaderChunksApp = 1;
    a.CodeChunksApp = 12;
    a.LoaderChunksBoot = a.CodeChunksBoot = a.LoaderChunksBootTwo = a.CodeChunksBootTwo = 1;
    a.BootMajor = 4;
    a.BootMinor = 3;
    a.BootTwoMajor = 7;
    a.BootTwoMinor = 3;
    std::memcpy(a.CordavoVersion, "2.8.2", 5);
    std::memcpy(a.KesmetVersion, "3.0.9", 5);
    a.KindBySeries = 1;
    a.Series = 4;
    a.UpgradeType = 3;
    std::memcpy(a.Reserved, "E01", 3);
    auto write = [&](const std::string& name, const ResourceAttributes& r) {
        const auto bytes = SerializeAttributes(r);
        Write(dir, name, Bytes(bytes.begin(), bytes.end()));
    };
    write("example", a);
    ResourceAttributes dsp = a;
    dsp.RadioFamily = 1;
    dsp.KindBySeries = 0;
    dsp.Series = 1;
    dsp.UpgradeType = 2;
    dsp.ProcessorVariant = 1;
    dsp.BootTwoMajor = 0;
    std::memcpy(dsp.CordavoVersion, "1234567890", 10);  // no NUL in the field
    write("dsp-series1", dsp);
    write("zero", ResourceAttributes{});
}

void ChunkSets(const fs::path& dir) {
    // count, taken joined names, then per chunk its length and bytes; then the extraction's
    // DSP flag, loader chunks and code chunks (each a length and bytes), and a stale chunk.
    Write(dir, "three-chunks",
          Bytes{3, 0, 4, 'S', '3', '0', '9', 2, '\r', '\n', 0, 0, 2, 2, 'S', '2', 1, 'X', 1});
    Write(dir, "names-taken", Bytes{2, 5, 1, 'A', 1, 'B', 1, 1, 1, 'L', 2, 2, 'C', 'C', 0});
    Write(dir, "chunk-missing", Bytes{5, 0, 3, 'a', 'b', 'c'});
    Write(dir, "stale-chunk", Bytes{0, 0, 0, 1, 1, 'L', 1, 1, 'C', 1});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quenta-fuzz-seeds OUT\n");
        return 2;
    }
    const fs::path out = argv[1];
    const char* names[] = {"frames", "srecord",    "dsp_file",  "codeplug",
                           "upload", "attributes", "chunk_join"};
    for (const char* name : names) {
        std::error_code ec;
        fs::create_directories(out / name, ec);
        if (ec) {
            std::fprintf(stderr, "quenta-fuzz-seeds: cannot create %s: %s\n", (out / name).c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    Frames(out / "frames");
    SRecordImages(out / "srecord");
    DspFiles(out / "dsp_file");
    Codeplugs(out / "codeplug", out / "upload");
    Attributes(out / "attributes");
    ChunkSets(out / "chunk_join");
    return ok ? 0 : 1;
}
