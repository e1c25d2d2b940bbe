// The time left beside the progress bar, measured on a virtual clock.
#include <gtest/gtest.h>

#include "UpdaterTestSupport.h"
#include "app/core/TimeLeft.h"

namespace {

// From the bar's own pace: nothing before the pace means something, then the rest at the pace
// so far; a new range or the bar going back starts again, and none is shown once measuring
// stops or outside a measured transfer.
TEST(TimeLeft, FromTheBarsPaceOnAVirtualClock) {
    updatertest::RecordingView view;
    std::int64_t now = 10'000;
    TimeLeftProgress bar(view, [&now] { return now; });
    bar.SetMaximum(1000);
    bar.SetPosition(300);  // not measured
    EXPECT_TRUE(view.timesLeft.empty());

    bar.Measure(true);  // the measure starts at 300
    bar.SetPosition(310);
    now += 1000;
    bar.SetPosition(400);  // one second: too soon
    now += 1000;
    bar.SetPosition(440);  // 140 of 700 in 2 s: 8 s left
    now += 2000;
    bar.SetPosition(650);  // 350 in 4 s: 4 s left
    EXPECT_EQ(view.bar.position, 650);
    bar.SetPosition(0);  // a new image
    now += 2500;
    bar.SetPosition(100);  // 100 of 1000 in 2.5 s
    bar.Measure(false);
    EXPECT_EQ(view.timesLeft, (std::vector<int>{8, 4, -1, 23, -1}));
    EXPECT_EQ(SecondsLeft(0, 100, 60'000), -1) << "nothing done yet";

    EXPECT_EQ(TimeLeftText(45), "about 45 s left");
    EXPECT_EQ(TimeLeftText(125), "about 2 min 05 s left");
}

}  // namespace
