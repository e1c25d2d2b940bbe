#include "CodeplugCommand.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CodeplugGenerator.h"
#include "CodeplugRadioCommand.h"
#include "app/cli/ExitStatus.h"
#include "app/cli/FileIo.h"
#include "convert/CodeplugCheck.h"
#include "convert/CodeplugVersion.h"
#include "convert/RadioCodeplugConversion.h"

namespace {

constexpr int kExitOk = ToInt(ExitStatus::kDone);
constexpr int kExitFailed = ToInt(ExitStatus::kFailed);
constexpr int kExitUsage = ToInt(ExitStatus::kUsage);

const char kUsage[] =
    "usage: quenta codeplug info FILE\n"
    "       quenta codeplug check FILE\n"
    "       quenta codeplug convert --to 5.8|5.9|5.10 IN OUT\n"
    "       quenta codeplug generate --format 5.8|5.9|5.10 [--seed N] OUT\n"
    "       quenta codeplug read --port COMn|DEVICE [RADIO OPTIONS] OUT\n"
    "       quenta codeplug write --port COMn|DEVICE [RADIO OPTIONS] IN\n"
    "       quenta codeplug restore --port COMn|DEVICE [RADIO OPTIONS] [--yes] [IN]\n"
    "       quenta codeplug upgrade --port COMn|DEVICE [RADIO OPTIONS] [--yes]\n"
    "RADIO OPTIONS: [--port-dir DIR] [--trace FILE] [--codeplug-password-file FILE]\n"
    "  restore   without IN: the newest backup of the radio (by its serial number) in the\n"
    "            format its firmware expects; asks before writing unless --yes\n"
    "  upgrade   the update's codeplug stage alone, for a radio that has its new firmware:\n"
    "            read, save, convert to the format the radio reports, write back\n"
    "  --codeplug-password-file FILE  answers the radio's codeplug password with the first\n"
    "            line of FILE (no terminal needed)\n"
    "  Every write is read back and compared; backups are under $XDG_DATA_HOME/quenta/backups\n"
    "  (default ~/.local/share/quenta/backups).\n"
    "exit status: 0 done, 1 failed or refused, 2 wrong usage, 3 stopped, 4 restore declined\n"
    "  (nothing written), 5 upgrade: the codeplug is older than 5.8 and was not converted\n";

int usage(const char* problem) {
    if (problem != nullptr)
        std::fprintf(stderr, "quenta codeplug: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
    return kExitFailed;
}

// "5.8", "5.9" or "5.10" as a version index; false for anything else.
bool parseFormat(const char* text, uint8_t& index) {
    for (uint8_t v : {kVersion58, kVersion59, kVersion510}) {
        if (versionText(v) == text) {
            index = v;
            return true;
        }
    }
    return false;
}

// Reads a codeplug file into a full-size buffer; the image is returned in host word order.
bool loadCodeplug(const std::string& path, std::vector<uint8_t>& bytes, std::size_t& length,
                  std::string& error) {
    bool tooLong = false;
    if (!readSmallFile(path, CodeplugImage::kBytes, bytes, tooLong, error))
        return false;
    length = bytes.size();
    if (length == 0) {
        error = path + " is empty";
        return false;
    }
    if (length % 2 != 0) {
        error = path + " has an odd length (" + std::to_string(length) +
                " bytes); a codeplug is a whole number of 16-bit words";
        return false;
    }
    bytes.resize(CodeplugImage::kBytes);
    return true;
}

// Reads a codeplug file into an image in host word order.
bool loadImage(const std::string& path, CodeplugImage& img, std::size_t& length,
               std::string& error) {
    std::vector<uint8_t> bytes;
    if (!loadCodeplug(path, bytes, length, error))
        return false;
    loadRadioBytes(img, bytes.data(), length);
    return true;
}

const char* className(int blockClass) {
    static const char* const kNames[] = {"header", "kind", "system", "ordinal"};
    return kNames[blockClass & 3];
}

std::string keyText(const CodeplugImage& img, int pos) {
    const uint16_t key = img.word(pos + 3);
    switch (blockClass(img, pos)) {
        case kHeaderClass:
            return "format " + versionText(codeplugVersionIndex(img));
        case kKindClass:
            return "kind " + std::to_string(key >> 12);
        case kSystemClass:
            return "kind " + std::to_string(key >> 12) + " number " + std::to_string(key & 0xFF);
        default:
            return "-";
    }
}

int info(const std::string& path) {
    auto img = std::make_unique<CodeplugImage>();
    std::size_t length = 0;
    std::string error;
    if (!loadImage(path, *img, length, error))
        return failure(error);
    // A file of another kind would show a table of noise.
    if (img->word(0) != kBlockMarker)
        return failure(path + ": not a codeplug: it does not start with the block marker 5F 5F");

    const uint8_t version = codeplugVersionIndex(*img);
    const uint16_t stamp = img->word(3);
    std::printf("file:        %s (%zu bytes)\n", path.c_str(), length);
    std::printf("format:      %d.%d%s\n", stamp >> 8, stamp & 0xFF,
                version == kUnknownVersion ? " (unknown)" : "");
    std::printf("imageWords:  %d\n", imageWords(*img));
    std::printf("systems:     %d\nordinals:    %d\n", systemCount(*img), ordinalCount(*img));
    std::printf("\n%-7s %-8s %-18s %-7s %-11s %s\n", "word", "class", "key", "length",
                "descriptors", "tables (entries x words per entry)");

    // The table count is read in the layout of the image's own format.
    const bool fiveBit = version == kVersion510;
    int ordinal = 0;
    const int end = std::min<int>(imageWords(*img), CodeplugImage::kWords);
    for (int pos = 0; pos < end && img->word(pos) == kBlockMarker;) {
        const int length = blockLength(*img, pos);
        std::string key = keyText(*img, pos);
        if (blockClass(*img, pos) == kOrdinalClass)
            key = "ordinal " + std::to_string(++ordinal);
        const TableLayout layout = tableLayoutIn(*img, pos, fiveBit);
        std::string tables;
        for (int t = 0; t < layout.tableCount; ++t) {
            const uint16_t d = img->word(pos + layout.descriptorOffset + t);
            if (!tables.empty())
                tables += ' ';
            tables += std::to_string(d >> 8) + "x" + std::to_string(d & 0xFF);
        }
        std::printf("%-7d %-8s %-18s %-7d %-11d %s\n", pos, className(blockClass(*img, pos)),
                    key.c_str(), length, layout.descriptorOffset, tables.c_str());
        if (length == 0)
            break;
        pos += length;
    }

    const CodeplugCheck check = checkCodeplug(*img);
    if (!check.ok) {
        std::fflush(stdout);
        return failure(path + ": not a well-formed codeplug: " + check.reason);
    }
    std::printf("\nstructure:   passes the check\n");
    return kExitOk;
}

int check(const std::string& path) {
    auto img = std::make_unique<CodeplugImage>();
    std::size_t length = 0;
    std::string error;
    if (!loadImage(path, *img, length, error))
        return failure(error);
    CodeplugCheck result = checkCodeplug(*img);
    if (result.ok && static_cast<std::size_t>(imageWords(*img) - kTrailerWords) * 2 > length) {
        result = {
            false, 2, 4,
            "image of " + std::to_string(imageWords(*img)) + " words is longer than the file"};
    }
    if (!result.ok) {
        std::printf("%s: invalid (rule %d, word %d): %s\n", path.c_str(), result.rule,
                    result.position, result.reason.c_str());
        return kExitFailed;
    }
    std::printf("%s: valid codeplug, format %s, %d words\n", path.c_str(),
                versionText(codeplugVersionIndex(*img)).c_str(), imageWords(*img));
    return kExitOk;
}

int convert(uint8_t target, const std::string& in, const std::string& out) {
    std::vector<uint8_t> bytes;
    std::size_t length = 0;
    std::string error;
    if (!loadCodeplug(in, bytes, length, error))
        return failure(error);
    int major = 0;
    int minor = 0;
    versionNumbersOf(target, major, minor);
    const CodeplugConversion c = convertRadioCodeplug(bytes.data(), length, major, minor);
    using R = CodeplugConversionResult;
    switch (c.result) {
        case R::Converted:
        case R::SameFormat:
            if (!writeFileAtomically(out, bytes.data(), c.newLength, error))
                return failure(error);
            if (c.result == R::SameFormat) {
                std::printf("%s is already in format %s; written unchanged to %s\n", in.c_str(),
                            versionText(target).c_str(), out.c_str());
            } else {
                std::printf("converted %s from %s to %s: %+d words, %zu bytes written to %s\n",
                            in.c_str(), versionText(c.codeplugIndex).c_str(),
                            versionText(target).c_str(), c.sizeChange, c.newLength, out.c_str());
            }
            return kExitOk;
        case R::NotOffered:
            return failure(in + ": format " + versionText(c.codeplugIndex) +
                           " is not converted; only 5.8, 5.9 and 5.10 are");
        case R::Invalid:
            return failure(in + ": not a well-formed codeplug: " + c.reason);
        default:
            return failure(in + ": " + c.reason);
    }
}

int generate(uint8_t format, uint32_t seed, const std::string& out) {
    auto img = std::make_unique<CodeplugImage>();
    CodeplugGeneratorOptions options;
    options.versionIndex = format;
    options.seed = seed;
    const int words = generateCodeplug(*img, options);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(words) * 2);
    storeRadioBytes(*img, bytes.data(), bytes.size());
    std::string error;
    if (!writeFileAtomically(out, bytes.data(), bytes.size(), error))
        return failure(error);
    std::printf("generated a %s codeplug of %d words (seed %u) in %s\n",
                versionText(format).c_str(), words, seed, out.c_str());
    return kExitOk;
}

}  // namespace

int runCodeplugCommand(int argc, char** argv) {
    if (argc < 1)
        return usage(nullptr);
    const std::string verb = argv[0];
    if (verb == "--help" || verb == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 1, argv + argc);

    if (verb == "info" || verb == "check") {
        if (args.size() != 1)
            return usage("expected one FILE");
        return verb == "info" ? info(args[0]) : check(args[0]);
    }
    if (verb == "convert") {
        if (args.size() != 4 || args[0] != "--to")
            return usage("expected --to FORMAT IN OUT");
        uint8_t target = 0;
        if (!parseFormat(args[1].c_str(), target))
            return usage("FORMAT is 5.8, 5.9 or 5.10");
        return convert(target, args[2], args[3]);
    }
    if (verb == "read" || verb == "write" || verb == "restore" || verb == "upgrade")
        return runCodeplugRadioCommand(verb, args);
    if (verb == "generate") {
        uint8_t format = 0;
        uint32_t seed = 1;
        std::string out;
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--format" && i + 1 < args.size()) {
                if (!parseFormat(args[++i].c_str(), format))
                    return usage("FORMAT is 5.8, 5.9 or 5.10");
            } else if (args[i] == "--seed" && i + 1 < args.size()) {
                char* end = nullptr;
                const unsigned long value = std::strtoul(args[++i].c_str(), &end, 10);
                if (*end != '\0')
                    return usage("--seed takes a number");
                seed = static_cast<uint32_t>(value);
            } else if (out.empty() && args[i][0] != '-') {
                out = args[i];
            } else {
                return usage(("unexpected argument " + args[i]).c_str());
            }
        }
        if (format == 0 || out.empty())
            return usage("expected --format FORMAT and OUT");
        return generate(format, seed, out);
    }
    return usage(("unknown command " + verb).c_str());
}
