#include "PackageDescription.h"

#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

using nlohmann::json;

namespace {

struct Invalid {
    std::string text;
};

std::int64_t Integer(const json& object, const char* key, std::int64_t low, std::int64_t high) {
    const auto it = object.find(key);
    if (it == object.end())
        throw Invalid{std::string("attributes.") + key + " is missing"};
    if (!it->is_number_integer())
        throw Invalid{std::string("attributes.") + key + " must be a whole number"};
    const std::int64_t value = it->get<std::int64_t>();
    if (value < low || value > high) {
        throw Invalid{std::string("attributes.") + key + " must be " + std::to_string(low) +
                      " to " + std::to_string(high)};
    }
    return value;
}

// A text field: at most size - 1 characters, so that its NUL stands within the field.
void Text(const json& object, const char* key, char* field, std::size_t size, bool required) {
    const auto it = object.find(key);
    if (it == object.end()) {
        if (required)
            throw Invalid{std::string("attributes.") + key + " is missing"};
        return;
    }
    if (!it->is_string())
        throw Invalid{std::string("attributes.") + key + " must be a text"};
    const std::string text = it->get<std::string>();
    if (text.size() > size || (required && text.size() >= size) ||
        text.find('\0') != std::string::npos) {
        throw Invalid{std::string("attributes.") + key + " is longer than " +
                      std::to_string(required ? size - 1 : size) + " characters"};
    }
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size());
}

ResourceAttributes ReadAttributes(const json& a) {
    if (!a.is_object())
        throw Invalid{"attributes must be an object"};
    static const std::set<std::string> kKnown = {
        "BootMajor",      "BootMinor",     "BootTwoMajor",     "BootTwoMinor",
        "CordavoVersion", "KesmetVersion", "RadioFamily",      "KindBySeries",
        "Series",         "UpgradeType",   "ProcessorVariant", "Reserved"};
    for (const auto& item : a.items()) {
        if (kKnown.count(item.key()) == 0) {
            throw Invalid{"attributes." + item.key() +
                          " is not a field the builder takes (chunk counts follow from the "
                          "images)"};
        }
    }
    constexpr std::int64_t kU32 = 0xFFFFFFFFll;
    ResourceAttributes r;
    r.BootMajor = static_cast<std::uint32_t>(Integer(a, "BootMajor", 0, kU32));
    r.BootMinor = static_cast<std::uint32_t>(Integer(a, "BootMinor", 0, kU32));
    r.BootTwoMajor = static_cast<std::uint32_t>(Integer(a, "BootTwoMajor", 0, kU32));
    r.BootTwoMinor = static_cast<std::uint32_t>(Integer(a, "BootTwoMinor", 0, kU32));
    Text(a, "CordavoVersion", r.CordavoVersion, sizeof r.CordavoVersion, true);
    Text(a, "KesmetVersion", r.KesmetVersion, sizeof r.KesmetVersion, true);
    r.RadioFamily = static_cast<std::uint8_t>(Integer(a, "RadioFamily", 0, 1));
    r.KindBySeries = static_cast<std::uint8_t>(Integer(a, "KindBySeries", 0, 255));
    r.Series = static_cast<std::int8_t>(Integer(a, "Series", -128, 127));
    r.UpgradeType = static_cast<std::uint8_t>(Integer(a, "UpgradeType", 0, 3));
    r.ProcessorVariant = static_cast<std::uint8_t>(Integer(a, "ProcessorVariant", 0, 255));
    char reserved[sizeof r.Reserved] = {};
    Text(a, "Reserved", reserved, sizeof reserved, false);
    std::memcpy(r.Reserved, reserved, sizeof reserved);
    return r;
}

std::string ImagePath(const json& set, const std::string& setName, const char* role) {
    const auto it = set.find(role);
    if (it == set.end())
        throw Invalid{"sets." + setName + "." + role + " is missing"};
    if (!it->is_string() || it->get<std::string>().empty())
        throw Invalid{"sets." + setName + "." + role + " must name an image file"};
    return it->get<std::string>();
}

}  // namespace

bool ReadPackageDescription(const std::filesystem::path& file, PackageDescription& out,
                            std::string& error) {
    std::ifstream in(file);
    if (!in) {
        error = "cannot read " + file.string();
        return false;
    }
    const json j = json::parse(in, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        error = file.string() + " is not a JSON object";
        return false;
    }
    try {
        PackageDescription d;
        const auto program = j.find("program");
        if (program == j.end() || !program->is_string() || program->get<std::string>().empty())
            throw Invalid{"program must name the program file"};
        d.program = program->get<std::string>();
        if (d.program.find('/') != std::string::npos)
            throw Invalid{"program is a file name, without a folder"};
        const auto attributes = j.find("attributes");
        if (attributes == j.end())
            throw Invalid{"attributes is missing"};
        d.attributes = ReadAttributes(*attributes);
        const auto sets = j.find("sets");
        if (sets == j.end() || !sets->is_object())
            throw Invalid{"sets must be an object"};
        for (const auto& item : sets->items()) {
            ImageSet set = ImageSet::kApplication;
            bool known = false;
            for (ImageSet s : {ImageSet::kApplication, ImageSet::kBoot, ImageSet::kBootTwo}) {
                if (item.key() == ImageSetName(s)) {
                    set = s;
                    known = true;
                }
            }
            if (!known)
                throw Invalid{"sets." + item.key() + ": the sets are application, boot, bootTwo"};
            if (!item.value().is_object())
                throw Invalid{"sets." + item.key() + " must be an object"};
            d.sets[set] = SetImages{ImagePath(item.value(), item.key(), "loader"),
                                    ImagePath(item.value(), item.key(), "code")};
        }
        out = d;
        return true;
    } catch (const Invalid& invalid) {
        error = file.string() + ": " + invalid.text;
        return false;
    }
}
