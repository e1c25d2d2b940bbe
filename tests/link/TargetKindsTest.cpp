// Known answers for every target kind: a change to one row shows here as the kind and field
// that moved.
#include <gtest/gtest.h>

#include <string>

#include "link/TargetKinds.h"

namespace {

struct Expected {
    int eraseSeconds;
    bool pageInAddress;
    bool recordMayLackBoot, bootReadMayFail, hasSem, showsHardwareRevision, skipsTargetCheck,
        probesProcessor, series1Connection;
};

// clang-format off
constexpr Expected kExpected[] = {
    // erase  page@addr lack   bootFail sem    hwRev  skip   probe  series1
    {2,       false,    false, false,   true,  false, false, false, false},  // 0
    {1,       false,    true,  true,    true,  true,  true,  true,  true },  // 1
    {80,      false,    false, false,   false, false, false, false, false},  // 2
    {80,      true,     false, false,   false, false, false, false, false},  // 3
    {40,      false,    false, false,   true,  false, true,  false, false},  // 4
    {80,      false,    true,  true,    true,  true,  true,  false, false},  // 5
    {80,      false,    false, false,   true,  false, false, false, false},  // 6
    {80,      false,    true,  true,    true,  true,  false, false, false},  // 7
    {2,       false,    false, true,    true,  false, false, false, false},  // 8
    {80,      false,    false, false,   false, false, false, false, false},  // 9: unknown
    {80,      false,    false, false,   false, false, false, false, false},  // 255: unknown
};
// clang-format on

constexpr int kTicksPerSecond = 18;

TEST(TargetKinds, EveryKindKnownAnswer) {
    int index = 0;
    for (int kind : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 255}) {
        const Expected& e = kExpected[index++];
        const TargetKindRow& row = TargetKindInfo(static_cast<TargetKind>(kind));
        SCOPED_TRACE("kind " + std::to_string(kind));
        EXPECT_EQ(row.eraseTicks, e.eraseSeconds * kTicksPerSecond);
        EXPECT_EQ(row.dspLayout == DspSectionLayout::kPageInAddress, e.pageInAddress);
        EXPECT_EQ(row.recordMayLackBoot, e.recordMayLackBoot);
        EXPECT_EQ(row.bootReadMayFail, e.bootReadMayFail);
        EXPECT_EQ(row.hasSem, e.hasSem);
        EXPECT_EQ(row.showsHardwareRevision, e.showsHardwareRevision);
        EXPECT_EQ(row.skipsTargetCheck, e.skipsTargetCheck);
        EXPECT_EQ(row.probesProcessor, e.probesProcessor);
        EXPECT_EQ(row.series1Connection, e.series1Connection);
    }
}

}  // namespace
