#include "InfoCommand.h"

#include <cstring>
#include <iostream>
#include <sstream>

#include "OutputWritten.h"
#include "app/package/EmbeddedPackage.h"
#include "app/package/LocalPackages.h"
#include "app/package/PackageNames.h"
#include "app/package/ProgramName.h"

namespace {

int Usage(std::ostream& err) {
    err << "usage: quenta info [--package DIR] [--json]\n"
           "  Prints the firmware package this program carries: attributes, target kind,\n"
           "  image sets and sizes, release.\n"
           "  --package  a package folder written by quenta-package instead\n"
           "  --json     one line {\"result\": {...}} with the same facts as JSON\n";
    return 2;
}

// Size of an open resource: where its end is, or, for a stream that cannot seek, what it holds.
std::uint64_t StreamBytes(std::istream& in) {
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end >= 0)
        return static_cast<std::uint64_t>(end);
    in.clear();
    std::uint64_t bytes = 0;
    char block[1024];
    while (in.read(block, sizeof block) || in.gcount() > 0)
        bytes += static_cast<std::uint64_t>(in.gcount());
    return bytes;
}

std::string Version(std::uint32_t major, std::uint32_t minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

std::string SetTitle(ImageSet set) {
    switch (set) {
        case ImageSet::kBoot:
            return "Boot Set";
        case ImageSet::kBootTwo:
            return "Second Boot Set";
        case ImageSet::kApplication:
            break;
    }
    return "Application Set";
}

// The bytes of one image's count chunks; false (and the first missing name) when a chunk is
// absent or the record names more chunks than a package holds.
bool ImageBytes(const PackageResources& package, ImageSet set, ImageRole role, std::uint32_t count,
                std::uint64_t& bytes, std::string& missing) {
    bytes = 0;
    if (count > kMaxImageChunks)
        return false;
    for (std::uint32_t n = 1; n <= count; ++n) {
        const std::string name = ChunkResourceName(set, role, n);
        const std::unique_ptr<std::istream> in = package.Open(name);
        if (!in) {
            missing = name;
            return false;
        }
        bytes += StreamBytes(*in);
    }
    return true;
}

// "3 chunks, 2500000 bytes" for one image; false when it is incomplete (the line says why).
bool DescribeImage(const PackageResources& package, ImageSet set, ImageRole role,
                   std::uint32_t count, std::string& line) {
    line = std::to_string(count) + (count == 1 ? " chunk" : " chunks");
    if (count > kMaxImageChunks) {
        line +=
            " (damaged record: a package holds at most " + std::to_string(kMaxImageChunks) + ")";
        return false;
    }
    std::uint64_t bytes = 0;
    std::string missing;
    const bool complete = ImageBytes(package, set, role, count, bytes, missing);
    line += ", " + std::to_string(bytes) + " bytes";
    if (!complete)
        line += " (missing: " + missing + ")";
    return complete;
}

const char* SetKey(ImageSet set) {
    switch (set) {
        case ImageSet::kBoot:
            return "boot";
        case ImageSet::kBootTwo:
            return "secondBoot";
        case ImageSet::kApplication:
            break;
    }
    return "application";
}

}  // namespace

bool FormatPackageInfo(const PackageResources& package, const std::string& programName,
                       std::string& text) {
    std::ostringstream out;
    if (!programName.empty()) {
        out << "Program: " << programName << "\n";
        out << "Release: " << ReadProgramName(programName).release << "\n";
    }
    ResourceAttributes a;
    if (!ReadPackageAttributes(package, a)) {
        out << "No package: the attributes record " << kAttributesResourceName
            << " is missing or short.\n";
        text = out.str();
        return false;
    }
    const auto named = [](const std::string& name, unsigned code) {
        return name.empty() ? "unknown (" + std::to_string(code) + ")" : name;
    };
    out << "Radio: " << named(RadioFamilyName(a.RadioFamily), a.RadioFamily) << "\n";
    out << "Series: " << int{a.Series} << "\n";
    out << "Upgrade Type: " << named(UpgradeTypeName(a.UpgradeType), a.UpgradeType) << "\n";
    out << "Target Kind: "
        << int{TargetKindFromPackage(a.RadioFamily, a.Series, a.KindBySeries == 0)} << "\n";
    out << "Kind By Series: " << int{a.KindBySeries} << "\n";
    out << "Processor Variant: " << int{a.ProcessorVariant} << "\n";
    out << "Corresponding Cordavo Version: " << FieldText(a.CordavoVersion) << "\n";
    out << "Corresponding Kesmet Version: " << FieldText(a.KesmetVersion) << "\n";
    out << "Boot Version: " << Version(a.BootMajor, a.BootMinor) << "\n";
    out << "Second Boot Version: "
        << (a.BootTwoMajor == 0 ? "none" : Version(a.BootTwoMajor, a.BootTwoMinor)) << "\n";
    bool complete = true;
    for (ImageSet set : {ImageSet::kApplication, ImageSet::kBoot, ImageSet::kBootTwo}) {
        const std::uint32_t loaders = ChunkCount(a, set, ImageRole::kLoader);
        const std::uint32_t codes = ChunkCount(a, set, ImageRole::kCode);
        if (loaders == 0 && codes == 0) {
            out << SetTitle(set) << ": none\n";
            continue;
        }
        std::string loader, code;
        complete = DescribeImage(package, set, ImageRole::kLoader, loaders, loader) && complete;
        complete = DescribeImage(package, set, ImageRole::kCode, codes, code) && complete;
        out << SetTitle(set) << ": loader " << loader << "; code " << code << "\n";
    }
    text = out.str();
    return complete;
}

bool PackageInfoJson(const PackageResources& package, const std::string& programName,
                     nlohmann::json& info) {
    info = nlohmann::json::object();
    if (!programName.empty()) {
        info["program"] = programName;
        info["release"] = ReadProgramName(programName).release;
    }
    ResourceAttributes a;
    if (!ReadPackageAttributes(package, a)) {
        info["complete"] = false;
        info["error"] = std::string("the attributes record ") + kAttributesResourceName +
                        " is missing or short";
        return false;
    }
    info["radio"] = RadioFamilyName(a.RadioFamily);
    info["radioFamily"] = a.RadioFamily;
    info["series"] = a.Series;
    info["upgradeType"] = UpgradeTypeName(a.UpgradeType);
    info["upgradeTypeCode"] = a.UpgradeType;
    info["targetKind"] = int{TargetKindFromPackage(a.RadioFamily, a.Series, a.KindBySeries == 0)};
    info["kindBySeries"] = a.KindBySeries;
    info["processorVariant"] = a.ProcessorVariant;
    info["cordavoVersion"] = FieldText(a.CordavoVersion);
    info["kesmetVersion"] = FieldText(a.KesmetVersion);
    info["bootVersion"] = Version(a.BootMajor, a.BootMinor);
    info["secondBootVersion"] = a.BootTwoMajor == 0
                                    ? nlohmann::json()
                                    : nlohmann::json(Version(a.BootTwoMajor, a.BootTwoMinor));
    bool complete = true;
    nlohmann::json sets = nlohmann::json::object();
    for (ImageSet set : {ImageSet::kApplication, ImageSet::kBoot, ImageSet::kBootTwo}) {
        nlohmann::json images = nlohmann::json::object();
        for (const auto& [role, key] :
             {std::pair{ImageRole::kLoader, "loader"}, std::pair{ImageRole::kCode, "code"}}) {
            const std::uint32_t count = ChunkCount(a, set, role);
            std::uint64_t bytes = 0;
            std::string missing;
            nlohmann::json image = {{"chunks", count}};
            if (!ImageBytes(package, set, role, count, bytes, missing)) {
                complete = false;
                image["missing"] = missing.empty() ? "a package holds at most " +
                                                         std::to_string(kMaxImageChunks) + " chunks"
                                                   : missing;
            }
            image["bytes"] = bytes;
            images[key] = image;
        }
        if (images["loader"]["chunks"] != 0 || images["code"]["chunks"] != 0)
            sets[SetKey(set)] = images;
    }
    info["imageSets"] = sets;
    info["complete"] = complete;
    return complete;
}

int runInfoCommand(int argc, char** argv) {
    std::string folder;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--package") == 0 && i + 1 < argc)
            folder = argv[++i];
        else if (std::strcmp(argv[i], "--json") == 0)
            json = true;
        else if (std::strcmp(argv[i], "--help") == 0)
            return Usage(std::cout), 0;
        else
            return Usage(std::cerr);
    }
    const std::unique_ptr<PackageResources> package =
        folder.empty() ? MakeEmbeddedPackage() : std::make_unique<DirectoryPackage>(folder);
    const std::string programName = folder.empty() ? EmbeddedProgramName() : std::string();
    if (json) {
        nlohmann::json info;
        const bool complete = PackageInfoJson(*package, programName, info);
        info["exitStatus"] = complete ? 0 : 1;
        std::cout << nlohmann::json{{"result", info}}.dump(-1, ' ', false,
                                                           nlohmann::json::error_handler_t::replace)
                  << "\n";
        if (!OutputWritten("info"))
            return 1;
        return complete ? 0 : 1;
    }
    std::string text;
    const bool complete = FormatPackageInfo(*package, programName, text);
    std::cout << text;
    if (!OutputWritten("info"))
        return 1;
    if (!complete) {
        std::cerr << "quenta info: the package is incomplete; rebuild the program (or the "
                     "package folder).\n";
        return 1;
    }
    return 0;
}
