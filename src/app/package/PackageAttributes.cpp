#include "app/package/PackageAttributes.h"

#include <cstring>

namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteU32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Byte offsets of the record's fields.
constexpr std::size_t kCountsOffset = 0;  // ten u32, LoaderChunksApp .. BootTwoMinor
constexpr std::size_t kCordavoOffset = 40;
constexpr std::size_t kKesmetOffset = 50;
constexpr std::size_t kFamilyOffset = 60;
constexpr std::size_t kKindBySeriesOffset = 61;
constexpr std::size_t kSeriesOffset = 62;
constexpr std::size_t kUpgradeTypeOffset = 63;
constexpr std::size_t kProcessorVariantOffset = 64;
constexpr std::size_t kReservedOffset = 65;

// The ten u32 fields in record order.
template <typename Record, typename Visit>
void ForEachCount(Record& r, Visit visit) {
    visit(r.LoaderChunksApp);
    visit(r.CodeChunksApp);
    visit(r.LoaderChunksBoot);
    visit(r.CodeChunksBoot);
    visit(r.LoaderChunksBootTwo);
    visit(r.CodeChunksBootTwo);
    visit(r.BootMajor);
    visit(r.BootMinor);
    visit(r.BootTwoMajor);
    visit(r.BootTwoMinor);
}

}  // namespace

bool ParseAttributes(const std::uint8_t* bytes, std::size_t count, ResourceAttributes& out) {
    if (bytes == nullptr || count != ResourceAttributes::kBytes)
        return false;
    ResourceAttributes r;
    std::size_t offset = kCountsOffset;
    ForEachCount(r, [&](std::uint32_t& field) {
        field = ReadU32(bytes + offset);
        offset += 4;
    });
    std::memcpy(r.CordavoVersion, bytes + kCordavoOffset, ResourceAttributes::kTextBytes);
    std::memcpy(r.KesmetVersion, bytes + kKesmetOffset, ResourceAttributes::kTextBytes);
    r.RadioFamily = bytes[kFamilyOffset];
    r.KindBySeries = bytes[kKindBySeriesOffset];
    r.Series = static_cast<std::int8_t>(bytes[kSeriesOffset]);
    r.UpgradeType = bytes[kUpgradeTypeOffset];
    r.ProcessorVariant = bytes[kProcessorVariantOffset];
    std::memcpy(r.Reserved, bytes + kReservedOffset, sizeof r.Reserved);
    out = r;
    return true;
}

std::array<std::uint8_t, ResourceAttributes::kBytes> SerializeAttributes(
    const ResourceAttributes& attributes) {
    std::array<std::uint8_t, ResourceAttributes::kBytes> bytes{};
    std::size_t offset = kCountsOffset;
    ForEachCount(attributes, [&](const std::uint32_t& field) {
        WriteU32(bytes.data() + offset, field);
        offset += 4;
    });
    std::memcpy(bytes.data() + kCordavoOffset, attributes.CordavoVersion,
                ResourceAttributes::kTextBytes);
    std::memcpy(bytes.data() + kKesmetOffset, attributes.KesmetVersion,
                ResourceAttributes::kTextBytes);
    bytes[kFamilyOffset] = attributes.RadioFamily;
    bytes[kKindBySeriesOffset] = attributes.KindBySeries;
    bytes[kSeriesOffset] = static_cast<std::uint8_t>(attributes.Series);
    bytes[kUpgradeTypeOffset] = attributes.UpgradeType;
    bytes[kProcessorVariantOffset] = attributes.ProcessorVariant;
    std::memcpy(bytes.data() + kReservedOffset, attributes.Reserved, sizeof attributes.Reserved);
    return bytes;
}

std::string FieldText(const char (&field)[ResourceAttributes::kTextBytes]) {
    std::size_t length = 0;
    while (length < ResourceAttributes::kTextBytes && field[length] != '\0')
        ++length;
    return std::string(field, length);
}

TargetKind TargetKindFromPackage(std::uint8_t family, std::int8_t series, bool kindIsOne) {
    if (family == 0) {
        if (series == 4)
            return 6;
        if (series == 6)
            return 0;
        return 4;
    }
    if (family == 1) {
        if (kindIsOne)
            return 1;
        if (series == 4)
            return 7;
        if (series == 6)
            return 8;
        return 5;
    }
    return 0;
}

std::string RadioFamilyName(std::uint8_t family) {
    switch (family) {
        case 0:
            return "2600";
        case 1:
            return "2800";
        default:
            return {};
    }
}

std::string UpgradeTypeName(std::uint8_t upgradeType) {
    switch (upgradeType) {
        case kUpgradeApplication:
            return "Application";
        case kUpgradeBoot:
            return "Boot";
        case kUpgradeDsp:
            return "DSP";
        case kUpgradeApplicationBoot:
            return "Application/Boot";
        default:
            return {};
    }
}
