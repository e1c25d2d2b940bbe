#pragma once

#include <cstddef>

#include "link/LinkTypes.h"

// Everything that differs between the target kinds 0..8, one row per kind. Code that behaves
// differently for some kinds reads its row here rather than testing kind numbers.

// The wait for the flash erase between the loader and the code image, in ticks of 1/18 s.
inline constexpr int kEraseTicksShort = 18;      // kind 1 and every boot download: 1 s
inline constexpr int kEraseTicksKind4 = 720;     // 40 s
inline constexpr int kEraseTicksKind0And8 = 36;  // 2 s
inline constexpr int kEraseTicksOther = 1440;    // 80 s

// How a DSP file's section headers name the page a section goes to.
enum class DspSectionLayout {
    kPageField,      // 40-byte headers; a flag word says whether the section is loaded
    kPageInAddress,  // 48-byte headers; the upper half of the address is the page (kind 3)
};

struct TargetKindRow {
    // Erase wait after the loader of an application download (a boot download always waits
    // kEraseTicksShort).
    int eraseTicks;
    DspSectionLayout dspLayout;
    // A version record whose boot field cannot be read is still shown, as "no boot information".
    bool recordMayLackBoot;
    // A failed boot-version read means "no boot information" rather than a failed exchange.
    bool bootReadMayFail;
    // The radio may carry a SEM whose version is read (when the controller says it has one).
    bool hasSem;
    // The version pane shows the hardware revision; other kinds show "N/A".
    bool showsHardwareRevision;
    // The package carries no target or boot check: the radio's boot version is not compared.
    bool skipsTargetCheck;
    // After the loader the processor variant is probed; a mismatch ends the download.
    bool probesProcessor;
    // The series-1 connection: the port stays at the identify rate, a single-processor radio
    // goes through the port component without a probe, and the direct line is not closed first.
    bool series1Connection;
};

inline constexpr std::size_t kTargetKindCount = 9;

// clang-format off
inline constexpr TargetKindRow kTargetKinds[kTargetKindCount] = {
    // erase ticks         DSP layout                        noBoot bootFail sem   hwRev  skip   probe  series1
    {kEraseTicksKind0And8, DspSectionLayout::kPageField,     false, false, true,  false, false, false, false},  // 0
    {kEraseTicksShort,     DspSectionLayout::kPageField,     true,  true,  true,  true,  true,  true,  true },  // 1
    {kEraseTicksOther,     DspSectionLayout::kPageField,     false, false, false, false, false, false, false},  // 2
    {kEraseTicksOther,     DspSectionLayout::kPageInAddress, false, false, false, false, false, false, false},  // 3
    {kEraseTicksKind4,     DspSectionLayout::kPageField,     false, false, true,  false, true,  false, false},  // 4
    {kEraseTicksOther,     DspSectionLayout::kPageField,     true,  true,  true,  true,  true,  false, false},  // 5
    {kEraseTicksOther,     DspSectionLayout::kPageField,     false, false, true,  false, false, false, false},  // 6
    {kEraseTicksOther,     DspSectionLayout::kPageField,     true,  true,  true,  true,  false, false, false},  // 7
    {kEraseTicksKind0And8, DspSectionLayout::kPageField,     false, true,  true,  false, false, false, false},  // 8
};

// A code outside 0..8 gets the plainest behaviour: the long erase and no special case.
inline constexpr TargetKindRow kUnknownTargetKind =
    {kEraseTicksOther,     DspSectionLayout::kPageField,     false, false, false, false, false, false, false};
// clang-format on

constexpr const TargetKindRow& TargetKindInfo(TargetKind kind) {
    return kind < kTargetKindCount ? kTargetKinds[kind] : kUnknownTargetKind;
}
