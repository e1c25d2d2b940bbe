#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "download/ProgressBar.h"

class UpdaterView;

// Seconds left when done of total was reached in elapsedMs, at the pace so far; -1 while too
// little is done or too little time has passed for the pace to mean anything.
int SecondsLeft(double done, double total, std::int64_t elapsedMs);

// "about 45 s left", "about 2 min 05 s left".
std::string TimeLeftText(int seconds);

// The view's progress bar as the update logic drives it, with the time left measured from the
// bar's own progress over the platform's clock while a download or transfer runs. A new range,
// or the bar going back, starts the measure again.
class TimeLeftProgress : public ProgressBar {
  public:
    TimeLeftProgress(UpdaterView& view, std::function<std::int64_t()> nowMs);

    void SetMinimum(int value) override;
    void SetMaximum(int value) override;
    void SetPosition(int value) override;
    // On: the time left is measured from here and shown; off: none is shown.
    void Measure(bool on);

  private:
    void Restart();
    void Show(int seconds);

    UpdaterView& view_;
    std::function<std::int64_t()> nowMs_;
    bool measuring_ = false;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int originPosition_ = 0;
    std::int64_t originMs_ = 0;
    int shown_ = -1;
};
