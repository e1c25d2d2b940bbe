#include "app/core/TimeLeft.h"

#include <cmath>

#include "app/core/UpdaterView.h"

namespace {

// Before this, the pace is mostly the first block's start-up.
constexpr std::int64_t kLeastElapsedMs = 2000;
constexpr double kLeastDoneShare = 0.01;

}  // namespace

int SecondsLeft(double done, double total, std::int64_t elapsedMs) {
    if (total <= 0 || elapsedMs < kLeastElapsedMs || done < total * kLeastDoneShare)
        return -1;
    const double left = std::max(0.0, total - done);
    return static_cast<int>(std::ceil(static_cast<double>(elapsedMs) * left / done / 1000));
}

std::string TimeLeftText(int seconds) {
    if (seconds < 60)
        return "about " + std::to_string(seconds) + " s left";
    const std::string rest = std::to_string(seconds % 60);
    return "about " + std::to_string(seconds / 60) + " min " + (rest.size() < 2 ? "0" : "") + rest +
           " s left";
}

TimeLeftProgress::TimeLeftProgress(UpdaterView& view, std::function<std::int64_t()> nowMs)
    : view_(view), nowMs_(std::move(nowMs)) {}

void TimeLeftProgress::SetMinimum(int value) {
    minimum_ = value;
    view_.Progress().SetMinimum(value);
    Restart();
}

void TimeLeftProgress::SetMaximum(int value) {
    maximum_ = value;
    view_.Progress().SetMaximum(value);
    Restart();
}

void TimeLeftProgress::SetPosition(int value) {
    const bool back = value < position_;
    position_ = value;
    view_.Progress().SetPosition(value);
    if (back) {
        Restart();
        return;
    }
    if (measuring_) {
        Show(SecondsLeft(position_ - originPosition_, maximum_ - originPosition_,
                         nowMs_() - originMs_));
    }
}

void TimeLeftProgress::Measure(bool on) {
    measuring_ = on;
    Restart();
}

void TimeLeftProgress::Restart() {
    originPosition_ = std::max(position_, minimum_);
    originMs_ = nowMs_();
    Show(-1);
}

void TimeLeftProgress::Show(int seconds) {
    if (!measuring_)
        seconds = -1;
    if (seconds == shown_)
        return;
    shown_ = seconds;
    view_.ShowTimeLeft(seconds);
}
