#pragma once

// The program's clock, scaled down: every tick delay and pause lasts a divisor-th as long,
// with the event loop running through the delays as in the program. The waits asked for are
// kept.
#include <cstdint>
#include <vector>

#include "download/DownloadClock.h"
#include "link/Platform.h"

class ScaledClock : public DownloadClock {
  public:
    ScaledClock(MessagePump& pump, int divisor) : pump_(pump), divisor_(divisor) {}
    void DelayTicks(int ticks) override {
        ticks_.push_back(ticks);
        const std::int64_t deadline =
            pump_.NowMilliseconds() + std::int64_t{ticks} * 1000 / kTicksPerSecond / divisor_;
        pump_.ProcessMessages();
        for (std::int64_t now = pump_.NowMilliseconds(); now < deadline;
             now = pump_.NowMilliseconds())
            pump_.WaitForEvent(-1, static_cast<int>(deadline - now));
    }
    void Pause(int ms) override {
        pauses_.push_back(ms);
        pump_.Pause(ms / divisor_);
    }
    std::vector<int> ticks_;
    std::vector<int> pauses_;

  private:
    MessagePump& pump_;
    int divisor_;
};
