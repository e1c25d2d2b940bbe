#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/LinkTypes.h"

// The 68-byte attributes record that every build carries beside its firmware images: which
// radio the release is for and how many chunks each image set has. Little-endian, packed.
// Plain C++ (no Qt): the package builder writes it and the program reads it.
struct ResourceAttributes {
    static constexpr std::size_t kBytes = 68;
    static constexpr std::size_t kTextBytes = 10;

    std::uint32_t LoaderChunksApp = 0;
    std::uint32_t CodeChunksApp = 0;
    std::uint32_t LoaderChunksBoot = 0;
    std::uint32_t CodeChunksBoot = 0;
    std::uint32_t LoaderChunksBootTwo = 0;
    std::uint32_t CodeChunksBootTwo = 0;
    std::uint32_t BootMajor = 0;
    std::uint32_t BootMinor = 0;
    std::uint32_t BootTwoMajor = 0;  // 0: there is no second boot set
    std::uint32_t BootTwoMinor = 0;
    char CordavoVersion[kTextBytes] = {};  // NUL-terminated within the field
    char KesmetVersion[kTextBytes] = {};
    std::uint8_t RadioFamily = 0;   // 0 "2600", 1 "2800"
    std::uint8_t KindBySeries = 0;  // family 1: nonzero = kind from the series, 0 = kind 1
    std::int8_t Series = 0;
    std::uint8_t UpgradeType = 0;  // 0 Application, 1 Boot, 2 DSP, 3 Application/Boot
    std::uint8_t ProcessorVariant = 0;
    std::uint8_t Reserved[3] = {};
};

// Upgrade types.
constexpr std::uint8_t kUpgradeApplication = 0;
constexpr std::uint8_t kUpgradeBoot = 1;
constexpr std::uint8_t kUpgradeDsp = 2;
constexpr std::uint8_t kUpgradeApplicationBoot = 3;

// Reads the record from exactly ResourceAttributes::kBytes bytes; false (out untouched) for any
// other count.
bool ParseAttributes(const std::uint8_t* bytes, std::size_t count, ResourceAttributes& out);
std::array<std::uint8_t, ResourceAttributes::kBytes> SerializeAttributes(
    const ResourceAttributes& attributes);

// A text field up to its first NUL (all ten bytes when it has none).
std::string FieldText(const char (&field)[ResourceAttributes::kTextBytes]);

// The target kind a package is for; kindIsOne is the truth of KindBySeries == 0.
TargetKind TargetKindFromPackage(std::uint8_t family, std::int8_t series, bool kindIsOne);
// "2600", "2800"; empty for any other code.
std::string RadioFamilyName(std::uint8_t family);
// "Application", "Boot", "DSP", "Application/Boot"; empty for any other code.
std::string UpgradeTypeName(std::uint8_t upgradeType);
