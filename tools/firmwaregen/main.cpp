// quenta-firmware: writes synthetic firmware files for tests, benchmarks and demo packages.
//
//   quenta-firmware srec --kind loader|boot|application|dsploader
//                        [--bytes N | --text-size N] [--seed S] OUT
//   quenta-firmware dsp [--layout 40|48] [--pages N] [--sections N] [--max-words N]
//                       [--no-overlap] [--no-filtered] [--seed S] OUT
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <streambuf>
#include <string>

#include "FirmwareGen.h"
#include "common/ProgramVersion.h"
#include "common/ReplacementFile.h"

namespace {

// The image writers' stream, passed on block by block into the file that replaces OUT.
class ReplacementBuffer : public std::streambuf {
  public:
    explicit ReplacementBuffer(ReplacementFile& file) : file_(file) {
        setp(block_.data(), block_.data() + block_.size());
    }

  protected:
    int_type overflow(int_type c) override {
        if (sync() != 0)
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        const bool written = file_.Write(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(block_.data(), block_.data() + block_.size());
        return written ? 0 : -1;
    }

  private:
    static constexpr std::size_t kBlockBytes = 64 * 1024;
    ReplacementFile& file_;
    std::array<char, kBlockBytes> block_;
};

int Usage(FILE* to = stderr) {
    std::fprintf(to,
                 "usage: quenta-firmware srec --kind loader|boot|application|dsploader\n"
                 "                            [--bytes N | --text-size N] [--seed S] OUT\n"
                 "       quenta-firmware dsp [--layout 40|48] [--pages N] [--sections N]\n"
                 "                           [--max-words N] [--no-overlap] [--no-filtered]\n"
                 "                           [--seed S] OUT\n"
                 "       quenta-firmware --version | --help\n");
    return to == stdout ? 0 : 2;
}

// A non-negative number (decimal, or hexadecimal with 0x); strtoull alone would take "-1".
bool Number(const char* text, unsigned long long& out) {
    if (text[0] < '0' || text[0] > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text, &end, 0);
    return errno == 0 && *end == '\0';
}

// Bounds that keep a mistyped number from filling the disk or the memory: the example
// package's application is 12 MB of text; a DSP file has at most eight pages.
constexpr unsigned long long kMaxDataBytes = 64ull << 20;
constexpr unsigned long long kMaxTextBytes = 256ull << 20;
constexpr unsigned long long kMaxSections = 64;
constexpr unsigned long long kMaxSectionWords = 1u << 20;

bool InRange(const std::string& arg, unsigned long long n) {
    if (arg == "--bytes")
        return n <= kMaxDataBytes;
    if (arg == "--text-size")
        return n <= kMaxTextBytes;
    if (arg == "--layout")
        return n == 40 || n == 48;
    if (arg == "--pages")
        return n >= 1 && n <= 8;
    if (arg == "--sections")
        return n <= kMaxSections;
    if (arg == "--max-words")
        return n <= kMaxSectionWords;
    return n <= 0xFFFFFFFFull;  // --seed
}

bool KindOf(const std::string& name, firmwaregen::ImageKind& kind) {
    using firmwaregen::ImageKind;
    if (name == "loader")
        kind = ImageKind::kLoader;
    else if (name == "boot")
        kind = ImageKind::kBoot;
    else if (name == "application")
        kind = ImageKind::kApplication;
    else if (name == "dsploader")
        kind = ImageKind::kDspLoader;
    else
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0)
        return Usage(stdout);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quenta-firmware %s\n", quenta::kVersion);
        return 0;
    }
    if (argc < 3)
        return Usage();
    const std::string what = argv[1];
    firmwaregen::SRecordPlan srec;
    firmwaregen::DspPlan dsp;
    unsigned long long textSize = 0;
    std::string outPath;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        unsigned long long n = 0;
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--kind") {
            const char* v = value();
            if (!v || !KindOf(v, srec.kind))
                return Usage();
        } else if (arg == "--bytes" || arg == "--text-size" || arg == "--seed" ||
                   arg == "--layout" || arg == "--pages" || arg == "--sections" ||
                   arg == "--max-words") {
            const char* v = value();
            if (!v || !Number(v, n))
                return Usage();
            if (!InRange(arg, n)) {
                std::fprintf(stderr, "quenta-firmware: %s %s is out of range\n", arg.c_str(), v);
                return 2;
            }
            if (arg == "--bytes")
                srec.dataBytes = n;
            else if (arg == "--text-size")
                textSize = n;
            else if (arg == "--seed")
                srec.seed = dsp.seed = static_cast<std::uint32_t>(n);
            else if (arg == "--layout")
                dsp.layout48 = n == 48;
            else if (arg == "--pages")
                dsp.pages = static_cast<int>(n);
            else if (arg == "--sections")
                dsp.sectionsPerPage = static_cast<int>(n);
            else
                dsp.maxSectionWords = static_cast<int>(n);
        } else if (arg == "--no-overlap") {
            dsp.overlapping = false;
        } else if (arg == "--no-filtered") {
            dsp.filtered = false;
        } else if (!arg.empty() && arg[0] != '-' && outPath.empty()) {
            outPath = arg;
        } else {
            return Usage();
        }
    }
    if (outPath.empty() || (what != "srec" && what != "dsp"))
        return Usage();
    // Written beside OUT and renamed over it once complete, so that a failed write (a full
    // disk) leaves no partial image that a test or a package could pick up.
    ReplacementFile file;
    const ReplaceResult opened = file.Open(outPath, kSharedFileMode);
    if (opened != ReplaceResult::kOk) {
        std::fprintf(stderr, "quenta-firmware: %s\n",
                     ReplaceFailureText(opened, file.Error(), outPath).c_str());
        return 1;
    }
    ReplacementBuffer buffer(file);
    std::ostream out(&buffer);
    if (what == "srec") {
        if (textSize > 0)
            srec.dataBytes = firmwaregen::DataBytesForText(srec.kind, textSize);
        firmwaregen::WriteSRecordImage(out, srec);
    } else {
        firmwaregen::WriteCoff(out, firmwaregen::MakeDspImage(dsp));
    }
    out.flush();
    const ReplaceResult written = file.Commit();
    if (written != ReplaceResult::kOk) {
        std::fprintf(stderr, "quenta-firmware: %s\n",
                     ReplaceFailureText(written, file.Error(), outPath).c_str());
        return 1;
    }
    return 0;
}
