#pragma once

#include "download/DownloadClock.h"

// A download clock whose tick waits are divided by a factor: the window's tests and screenshots
// run the erase and restart waits in a fraction of their time while the event loop keeps
// running. The plain pause is passed on unchanged.
class ScaledDownloadClock : public DownloadClock {
  public:
    ScaledDownloadClock(DownloadClock& inner, int divisor) : inner_(inner), divisor_(divisor) {}
    void DelayTicks(int ticks) override {
        inner_.DelayTicks(divisor_ > 1 ? (ticks + divisor_ - 1) / divisor_ : ticks);
    }
    void Pause(int milliseconds) override { inner_.Pause(milliseconds); }

  private:
    DownloadClock& inner_;
    int divisor_;
};
