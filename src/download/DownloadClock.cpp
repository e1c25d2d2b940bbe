#include "download/DownloadClock.h"

#include <cstdint>

void ComponentDownloadClock::DelayTicks(int ticks) {
    component_.DelayTicks(ticks, true);
}

void ComponentDownloadClock::Pause(int milliseconds) {
    pump_.Pause(milliseconds);
}

void PumpDownloadClock::DelayTicks(int ticks) {
    if (ticks <= 0)
        return;
    const std::int64_t deadline =
        pump_.NowMilliseconds() + std::int64_t{ticks} * 1000 / kTicksPerSecond;
    pump_.ProcessMessages();
    for (std::int64_t now = pump_.NowMilliseconds(); now < deadline;
         now = pump_.NowMilliseconds()) {
        pump_.WaitForEvent(-1, static_cast<int>(deadline - now));
    }
}

void PumpDownloadClock::Pause(int milliseconds) {
    pump_.Pause(milliseconds);
}
